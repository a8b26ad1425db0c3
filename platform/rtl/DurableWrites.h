// Durability of files written in batches: a file renamed into place without
// its own flush (AtomicFile::CommitUnflushed) is noted here by its file
// system, and MakeWrittenFilesDurable flushes every such file system once
// (syncfs), so that a record naming those files is written only after they
// are on disk whole. A file system is noted through a folder of it kept
// open from the first note on until it is flushed, so that a write-back
// failure of its files is reported by the flush; none is held open after
// a pass that found nothing more to flush.
//
// Thread-safe: files are noted from any thread; a pass runs on any thread,
// and a file noted while a pass runs waits for the next pass.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>

// Notes a file committed without a flush, on the file system Device (the
// st_dev of the file, or of its folder: the same for a file that is not
// itself a mount point), whose folder Folder is (its path, with or without
// the final "/").
void NoteUnflushedFile(uint64_t device, const AnsiString& folder);

// Flushes every file system that holds a file noted since the last pass.
// False, with the reason in error, when a file system could not be flushed
// or reported a failed write; its files then stay noted for the next pass.
bool MakeWrittenFilesDurable(AnsiString& error);

// The file systems with files noted and not yet flushed.
int FileSystemsAwaitingFlush();
