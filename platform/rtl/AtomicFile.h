// AtomicFile: writes a whole file through a temporary file in the target's
// folder; Commit renames it over the target. Until then the old file stays
// as it was, and a failure (EFCreateError naming the file and the reason) or
// destruction without Commit removes the temporary file. An existing
// target's permission bits are kept.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstddef>
#include <cstdint>

class AtomicFile {
public:
  explicit AtomicFile(const AnsiString& path);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  void Write(const char* data, size_t size);
  // Gives the file this modification time when committed.
  void SetModificationTime(const struct timespec& mtime);
  void Commit();

private:
  [[noreturn]] void Fail(int error) const;

  AnsiString target_;
  AnsiString temp_;
  int fd_ = -1;
  bool committed_ = false;
};
