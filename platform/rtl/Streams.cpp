// TStream and its memory, string and file descendants.
#include "platform/rtl/Classes.h"

#include "platform/rtl/FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The position a seek asks for; EStreamError when it is before the start
// or does not fit in 64 bits.
int64_t SeekTarget(int64_t current, int64_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? current : size;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0)
    throw EStreamError("Invalid stream position");
  return target;
}

// Reading and writing a byte buffer (std::vector<char> or std::string) at a position.
template <class Buffer>
int64_t ReadBufferAt(const Buffer& data, int64_t& position, void* buffer, int64_t count) {
  int64_t size = static_cast<int64_t>(data.size());
  if (count <= 0 || position >= size)
    return 0;
  int64_t n = std::min(count, size - position);
  std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
  position += n;
  return n;
}

template <class Buffer>
int64_t WriteBufferAt(Buffer& data, int64_t& position, const void* buffer, int64_t count) {
  if (count <= 0)
    return 0;
  int64_t end = 0;
  if (__builtin_add_overflow(position, count, &end))
    throw EStreamError("Stream write error");
  if (end > static_cast<int64_t>(data.size()))
    data.resize(static_cast<size_t>(end));
  std::memcpy(data.data() + position, buffer, static_cast<size_t>(count));
  position = end;
  return count;
}

template <class Buffer>
void ResizeBuffer(Buffer& data, int64_t& position, int64_t size) {
  if (size < 0)
    throw EStreamError("Invalid stream size");
  data.resize(static_cast<size_t>(size));
  position = std::min(position, size);
}

}  // namespace

// ---------------------------------------------------------------------------

int64_t TStream::Size() {
  int64_t position = Seek(0, soFromCurrent);
  int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count < 0)
    throw EStreamError("Invalid stream size");
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, 65536)));
  for (int64_t left = count; left > 0;) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

// ---------------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  return ReadBufferAt(data_, position_, buffer, count);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  return WriteBufferAt(data_, position_, buffer, count);
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  return position_ = SeekTarget(position_, Size(), offset, origin);
}

int64_t TMemoryStream::Size() {
  return static_cast<int64_t>(data_.size());
}

void TMemoryStream::SetSize(int64_t size) {
  ResizeBuffer(data_, position_, size);
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
  AnsiString bytes;
  if (!ReadFileToString(fileName, bytes))
    throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, SysErrorMessage(errno)));
  data_.assign(bytes.begin(), bytes.end());
  position_ = 0;
}

void TMemoryStream::SaveToFile(const AnsiString& fileName) const {
  WriteFileAtomically(fileName, AnsiString(data_.begin(), data_.end()));
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t size = source.Size();
  SetSize(size);
  source.ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) const {
  dest.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

// ---------------------------------------------------------------------------

TStringStream::TStringStream(const AnsiString& data) : data_(data) {}

int64_t TStringStream::Read(void* buffer, int64_t count) {
  return ReadBufferAt(data_, position_, buffer, count);
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
  return WriteBufferAt(data_, position_, buffer, count);
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  return position_ = SeekTarget(position_, Size(), offset, origin);
}

int64_t TStringStream::Size() {
  return static_cast<int64_t>(data_.size());
}

void TStringStream::SetSize(int64_t size) {
  ResizeBuffer(data_, position_, size);
}

AnsiString TStringStream::ReadString(int64_t count) {
  AnsiString result(static_cast<size_t>(std::max<int64_t>(0, std::min(count, Size()))), '\0');
  result.resize(static_cast<size_t>(Read(result.data(), static_cast<int64_t>(result.size()))));
  return result;
}

void TStringStream::WriteString(const AnsiString& s) {
  WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode) : fileName_(fileName) {
  AnsiString path = ResolvePath(fileName);
  bool create = (mode & fmCreate) == fmCreate;
  int access = (mode & 3) == fmOpenWrite ? O_WRONLY : (mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  int flags = create ? (O_RDWR | O_CREAT | O_TRUNC) : access;
  fd_ = path.empty() ? -1 : ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  int error = fd_ < 0 ? (path.empty() ? ENOENT : errno) : 0;
  struct stat st;
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    error = EISDIR;
  }
  if (fd_ >= 0)
    return;
  AnsiString reason = SysErrorMessage(error);
  if (create)
    throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, reason));
  throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, reason));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0)
    ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t total = 0;
  char* out = static_cast<char*>(buffer);
  while (total < count) {
    ssize_t got = ::read(fd_, out + total, static_cast<size_t>(count - total));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    total += got;
  }
  return total;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t total = 0;
  const char* in = static_cast<const char*>(buffer);
  while (total < count) {
    ssize_t written = ::write(fd_, in + total, static_cast<size_t>(count - total));
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      break;
    total += written;
  }
  return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soFromBeginning ? SEEK_SET : origin == soFromCurrent ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0)
    throw EStreamError(Format("Cannot seek in \"%s\". %s", fileName_, SysErrorMessage(errno)));
  return static_cast<int64_t>(result);
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throw EStreamError(Format("Cannot set the size of \"%s\". %s", fileName_,
                              SysErrorMessage(size < 0 ? EINVAL : errno)));
  if (Position() > size)
    SetPosition(size);
}
