// AtomicFile: writes a whole file through a temporary file in the target's
// folder. Commit flushes the temporary file to disk, renames it over the
// target and flushes the folder, so that a crash or a power cut leaves
// either the old file or the new one, never a partial or empty one. Until
// Commit the old file stays as it was; a failure (EFWriteError naming the
// file and the reason, with the reason's error number) or destruction
// without Commit removes the temporary file. An existing target's
// permission bits are kept. CommitUnflushed renames without the flushes,
// for files written in numbers: a reader still never sees half a file, and
// the file's file system is noted for MakeWrittenFilesDurable (DurableWrites),
// which a record naming the file must wait for.
//
// A file whose target is known to be missing (TTargetPath::ResolvedMissing)
// is written without a name in the target's folder where the file system
// allows it (O_TMPFILE), and takes the target's name at Commit by one link;
// it leaves nothing behind when the process dies. TemporaryPath then names
// it through /proc/self/fd.
//
// Temporary names are ".~<name>~<pid>~<serial>.harvella-tmp" beside the
// target (the name cut to 120 bytes): they carry the writing process's id,
// so that a later start can tell a file left by a process that has died
// from one still being written (TemporaryFileOwner).
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// A failed write; ErrorCode is the system's error number of the failed step.
class EFWriteError : public EFCreateError {
public:
  EFWriteError(const AnsiString& msg, int errorCode) : EFCreateError(msg), ErrorCode(errorCode) {}
  int ErrorCode;
};

// What the writer's caller knows of the target's path: nothing (it is
// resolved here), that it has just been through ResolvePath, or that it has
// and nothing stood there (then it is not looked at again: the file takes
// the name at Commit unless an entry has come meanwhile, at that name or at
// one that differs from it only in case, which it then replaces as any
// other).
enum class TTargetPath { AsGiven, Resolved, ResolvedMissing };

class AtomicFile {
public:
  explicit AtomicFile(const AnsiString& path, TTargetPath known = TTargetPath::AsGiven);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  void Write(const char* data, size_t size);
  // Empties the temporary file and writes from its start again: a body read
  // back from it is written anew under the same name, with no second file
  // made and removed beside it.
  void Restart();
  // Gives the file this modification time when committed.
  void SetModificationTime(const struct timespec& mtime);
  void Commit();
  void CommitUnflushed();
  // The temporary file the bytes go to until Commit; it can be read meanwhile.
  const AnsiString& TemporaryPath() const { return temp_; }
  // The file the bytes become at Commit. An entry that differs from it
  // only in case, made meanwhile by another writer of this process, takes
  // them instead, as a folder never holds both: after Commit, the file
  // they went to.
  const AnsiString& TargetPath() const { return target_; }

  // The process id a temporary name of this class carries; 0 for any other name.
  static int TemporaryFileOwner(const AnsiString& fileName);

private:
  bool OpenUnnamed();
  void OpenNamed();
  void Finish(bool flush);
  // *device (when given) takes the file system of the target's folder when
  // the naming learns it.
  bool NameUnnamed(std::optional<uint64_t>* device);
  bool MoveToMissingTarget();
  bool ReplaceTarget(std::optional<uint64_t>* device = nullptr);
  [[noreturn]] void Fail(int error) const;

  AnsiString target_;
  AnsiString temp_;
  int fd_ = -1;
  bool targetMissing_;
  bool unnamed_ = false;  // an O_TMPFILE file, named at the commit
  bool committed_ = false;
};
