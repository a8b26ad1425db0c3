// FolderEntries: the changes of folder entries that this process makes
// while it keeps the names of those folders for ResolvePath's look-ups of
// case variants. Each does its one system call and keeps the folder's
// names current, so that filling a folder never makes ResolvePath scan it
// again; errno tells why a call failed. The look-up that resolves a path
// can tell whether it found an entry there, so that a new file's writer
// need not look again. A change that makes an entry can tell the file
// system of the entry's folder (*folderDevice, when given), which it learns
// when it brings the folder's kept names up to date: a file made or moved
// there is on it. It is left as it was when the names are not kept.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <optional>

// open() with O_CREAT added to flags; the descriptor, or -1.
int CreateEntryFile(const AnsiString& path, int flags, int mode);
// A folder never holds two names that differ only in case: when the kept
// names of the folder of 'to' hold an entry that differs from 'to' only in
// case (and not 'to' itself), 'to' becomes that entry, looked up in the
// same step as the rename with respect to the other threads.
// rename(), replacing an existing 'to'. Names that are not kept are not
// read for this: 'to' was seen as there, as a rule.
bool MoveEntry(const AnsiString& from, AnsiString& to, std::optional<uint64_t>* folderDevice = nullptr);
// rename() that fails with EEXIST when 'to' exists, 'to' being then the
// entry that is there. A folder whose names are not kept is read for them.
bool MoveEntryIfFree(const AnsiString& from, AnsiString& to, std::optional<uint64_t>* folderDevice = nullptr);
// unlink().
bool RemoveEntry(const AnsiString& path);
// Gives the unnamed file open at fd (made with O_TMPFILE) the name 'to',
// under MoveEntryIfFree's rule: it fails with EEXIST when 'to' exists, 'to'
// being then the entry that is there.
bool NameUnnamedFileIfFree(int fd, AnsiString& to, std::optional<uint64_t>* folderDevice = nullptr);

// ResolvePath (FileUtils.h) telling also whether its look-ups found nothing
// at the resolved path (missing); false when they did not tell.
AnsiString ResolvePath(const AnsiString& path, bool& missing);
// The same, telling also whether they found a folder of the path missing
// (folderMissing; missing is then true as well): nothing can be made at the
// path before that folder is.
AnsiString ResolvePath(const AnsiString& path, bool& missing, bool& folderMissing);
