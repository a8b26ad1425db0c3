// Whole-file writes: a temporary file renamed into place, or an unnamed file
// named at the commit.
#include "platform/rtl/AtomicFile.h"

#include "platform/rtl/DurableWrites.h"
#include "platform/rtl/FileUtils.h"
#include "platform/rtl/FolderEntries.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const AnsiString TemporaryPrefix = ".~";
const AnsiString TemporarySuffix = ".harvella-tmp";

std::atomic<pid_t> processId{0};

void ForgetProcessId() { processId.store(0); }

// The process id the temporary names carry, asked of the system once per
// process: a child made by fork asks again.
pid_t ProcessId() {
  pid_t pid = processId.load(std::memory_order_relaxed);
  if (pid != 0)
    return pid;
  static const bool forkHook = ::pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
  (void)forkHook;
  pid = ::getpid();
  processId.store(pid, std::memory_order_relaxed);
  return pid;
}

// Long names are shortened so that the temporary name stays within the
// file system's limit of 255 bytes.
AnsiString TemporaryName(const AnsiString& target, unsigned serial) {
  return ExtractFilePath(target) + TemporaryPrefix + ExtractFileName(target).substr(0, 120) + "~" +
         std::to_string(ProcessId()) + "~" + std::to_string(serial) + TemporarySuffix;
}

std::atomic<unsigned> nextSerial{0};

// The decimal number that ends text before position end and follows a '~';
// its start (the '~') in 'at'. False when there is none.
bool NumberBefore(std::string_view text, size_t end, size_t& at, unsigned long& number) {
  size_t start = end;
  while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
    --start;
  if (start == end || end - start > 10 || start == 0 || text[start - 1] != '~')
    return false;
  number = std::stoul(AnsiString(text.substr(start, end - start)));
  at = start - 1;
  return true;
}

// After a rename the folder's entry reaches the disk too; a folder that
// cannot be flushed does not undo the write.
void SyncFolder(const AnsiString& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

AtomicFile::AtomicFile(const AnsiString& path, TTargetPath known)
    : target_(known == TTargetPath::AsGiven ? ResolvePath(path) : path),
      targetMissing_(known == TTargetPath::ResolvedMissing) {
  if (target_.empty() || target_.ends_with(PathDelim))  // no file name
    Fail(EISDIR);
  if (targetMissing_ && OpenUnnamed())
    return;
  struct stat old;
  bool replacing = !targetMissing_ && ::stat(target_.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode))
    Fail(EISDIR);
  OpenNamed();
  if (replacing)
    ::fchmod(fd_, old.st_mode & 07777);
}

// A new file is written without a name in its folder, which it gets at the
// commit; a file system without such files (or a system without /proc, whose
// links name them) gets a temporary name.
bool AtomicFile::OpenUnnamed() {
  static const bool namesByLink = ::access("/proc/self/fd", F_OK) == 0;
  if (!namesByLink)
    return false;
  const AnsiString folder = ExtractFilePath(target_);
  fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ < 0)
    return false;
  unnamed_ = true;
  temp_ = "/proc/self/fd/" + std::to_string(fd_);
  return true;
}

void AtomicFile::OpenNamed() {
  do {
    temp_ = TemporaryName(target_, nextSerial++);
    fd_ = CreateEntryFile(temp_, O_WRONLY | O_EXCL | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EEXIST);
  if (fd_ < 0)
    Fail(errno);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0)
    ::close(fd_);
  if (!committed_ && !unnamed_ && !temp_.empty())
    RemoveEntry(temp_);
}

void AtomicFile::Write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      Fail(written < 0 ? errno : EIO);
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void AtomicFile::Restart() {
  if (::lseek(fd_, 0, SEEK_SET) != 0 || ::ftruncate(fd_, 0) != 0)
    Fail(errno);
}

void AtomicFile::SetModificationTime(const struct timespec& mtime) {
  struct timespec times[2] = {{0, UTIME_OMIT}, mtime};
  if (::futimens(fd_, times) != 0)
    Fail(errno);
}

void AtomicFile::Commit() { Finish(true); }

void AtomicFile::CommitUnflushed() { Finish(false); }

void AtomicFile::Finish(bool flush) {
  // Flushed, the bytes reach the disk before the new name does; unflushed,
  // the file's file system is noted for the next durability pass. That is
  // its folder's, which the naming of an unnamed file learns as a rule when
  // it brings the folder's kept names up to date; otherwise the file itself
  // is asked (a named one before it is closed).
  std::optional<uint64_t> device;
  int error = flush && ::fsync(fd_) != 0 ? errno : 0;
  // An unnamed file is named while it is open; a named one is closed first,
  // so that a failed close leaves the target as it was.
  const bool unnamed = unnamed_;
  if (error == 0 && unnamed && !NameUnnamed(flush ? nullptr : &device))
    error = errno;
  struct stat written;
  if (error == 0 && !flush && !device) {
    if (::fstat(fd_, &written) == 0)
      device = written.st_dev;
    else
      error = errno;
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && error == 0)
    error = errno;
  if (error == 0 && !unnamed && !(targetMissing_ ? MoveToMissingTarget() : MoveEntry(temp_, target_)))
    error = errno;
  if (error != 0)
    Fail(error);
  committed_ = true;
  if (flush)
    SyncFolder(ExtractFilePath(target_));
  else
    NoteUnflushedFile(*device, ExtractFilePath(target_));
}

// The unnamed file takes the target's name; when an entry has come there
// meanwhile (or at a name that differs from it only in case, which the
// target then becomes) it gets a temporary name and replaces that entry as
// any other commit does.
bool AtomicFile::NameUnnamed(std::optional<uint64_t>* device) {
  if (NameUnnamedFileIfFree(fd_, target_, device))
    return true;
  if (errno != EEXIST)
    return false;
  bool named;
  do {
    temp_ = TemporaryName(target_, nextSerial++);
    named = NameUnnamedFileIfFree(fd_, temp_, device);
  } while (!named && errno == EEXIST);
  if (!named)
    return false;
  unnamed_ = false;
  return ReplaceTarget(device);
}

// An entry that came at the target's name since the file was begun, or at
// a name that differs from it only in case (which the target then becomes),
// is replaced as at any other commit: a folder is refused, a file's
// permission bits are kept.
bool AtomicFile::MoveToMissingTarget() { return MoveEntryIfFree(temp_, target_) || (errno == EEXIST && ReplaceTarget()); }

bool AtomicFile::ReplaceTarget(std::optional<uint64_t>* device) {
  struct stat old;
  if (::stat(target_.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) {
      errno = EISDIR;
      return false;
    }
    ::chmod(temp_.c_str(), old.st_mode & 07777);
  }
  return MoveEntry(temp_, target_, device);
}

int AtomicFile::TemporaryFileOwner(const AnsiString& fileName) {
  // Asked of every component of every mirror name: the name is looked at in place.
  const std::string_view name = std::string_view(fileName).substr(fileName.rfind(PathDelim) + 1);
  if (!name.starts_with(TemporaryPrefix) || !name.ends_with(TemporarySuffix))
    return 0;
  size_t serialAt, pidAt;
  unsigned long serial, pid;
  if (!NumberBefore(name, name.size() - TemporarySuffix.size(), serialAt, serial) ||
      !NumberBefore(name, serialAt, pidAt, pid) || pidAt <= TemporaryPrefix.size() || pid == 0 || pid > 0x7FFFFFFF)
    return 0;
  return static_cast<int>(pid);
}

void AtomicFile::Fail(int error) const {
  throw EFWriteError(Format("Cannot create file \"%s\". %s", target_, SysErrorMessage(error)), error);
}
