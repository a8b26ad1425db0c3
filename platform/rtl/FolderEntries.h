// FolderEntries: the changes of folder entries that this process makes
// while it keeps the names of those folders for ResolvePath's look-ups of
// case variants. Each does its one system call and keeps the folder's
// names current, so that filling a folder never makes ResolvePath scan it
// again; errno tells why a call failed. The look-up that resolves a path
// can tell whether it found an entry there, so that a new file's writer
// need not look again.
#pragma once

#include "platform/rtl/SysUtils.h"

// open() with O_CREAT added to flags; the descriptor, or -1.
int CreateEntryFile(const AnsiString& path, int flags, int mode);
// rename(), replacing an existing 'to'.
bool MoveEntry(const AnsiString& from, const AnsiString& to);
// rename() that fails with EEXIST when 'to' exists.
bool MoveEntryIfFree(const AnsiString& from, const AnsiString& to);
// unlink().
bool RemoveEntry(const AnsiString& path);
// Gives the unnamed file open at fd (made with O_TMPFILE) the name 'to';
// fails with EEXIST when 'to' exists.
bool NameUnnamedFileIfFree(int fd, const AnsiString& to);

// ResolvePath (FileUtils.h) telling also whether its look-ups found nothing
// at the resolved path (missing); false when they did not tell.
AnsiString ResolvePath(const AnsiString& path, bool& missing);
