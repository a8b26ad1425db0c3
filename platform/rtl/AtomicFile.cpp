// Temporary file plus rename, for every file written as a whole.
#include "platform/rtl/AtomicFile.h"

#include "platform/rtl/FileUtils.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Long names are shortened so that the temporary name stays within the
// file system's limit of 255 bytes.
AnsiString TemporaryName(const AnsiString& target, unsigned serial) {
  return ExtractFilePath(target) + ".~" + ExtractFileName(target).substr(0, 120) + "." +
         std::to_string(::getpid()) + "." + std::to_string(serial) + ".tmp";
}

std::atomic<unsigned> nextSerial{0};

}  // namespace

AtomicFile::AtomicFile(const AnsiString& path) : target_(ResolvePath(path)) {
  if (ExtractFileName(target_).empty())
    Fail(EISDIR);
  struct stat old;
  bool replacing = ::stat(target_.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode))
    Fail(EISDIR);
  do {
    temp_ = TemporaryName(target_, nextSerial++);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EEXIST);
  if (fd_ < 0)
    Fail(errno);
  if (replacing)
    ::fchmod(fd_, old.st_mode & 07777);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0)
    ::close(fd_);
  if (!committed_ && !temp_.empty())
    ::unlink(temp_.c_str());
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

void AtomicFile::SetModificationTime(const struct timespec& mtime) {
  struct timespec times[2] = {{0, UTIME_OMIT}, mtime};
  if (::futimens(fd_, times) != 0)
    Fail(errno);
}

void AtomicFile::Commit() {
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0)
    Fail(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0)
    Fail(errno);
  committed_ = true;
}

void AtomicFile::Fail(int error) const {
  throw EFCreateError(Format("Cannot create file \"%s\". %s", target_, SysErrorMessage(error)));
}
