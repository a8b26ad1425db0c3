#include "platform/ole/OleStream.h"

#include <unistd.h>

#include <algorithm>

namespace {
constexpr int64_t kChunk = 1 << 30;
}  // namespace

int64_t TOleStream::Read(void* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    ULONG done = 0;
    const ULONG step = ULONG(std::min(count - total, kChunk));
    if (FAILED(stream_->Read(static_cast<char*>(buffer) + total, step, &done)) || done == 0) break;
    total += done;
  }
  return total;
}

int64_t TOleStream::Write(const void* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    ULONG done = 0;
    const ULONG step = ULONG(std::min(count - total, kChunk));
    if (FAILED(stream_->Write(static_cast<const char*>(buffer) + total, step, &done)) || done == 0) break;
    total += done;
  }
  return total;
}

int64_t TOleStream::Seek(int64_t offset, TSeekOrigin origin) {
  const DWORD how = origin == soFromCurrent ? STREAM_SEEK_CUR : origin == soFromEnd ? STREAM_SEEK_END : STREAM_SEEK_SET;
  uint64_t position = 0;
  if (FAILED(stream_->Seek(offset, how, &position))) throw EStreamError("Stream seek error");
  return int64_t(position);
}

int64_t TOleStream::Size() {
  STATSTG stat;
  if (FAILED(stream_->Stat(&stat, 0))) return TStream::Size();
  return int64_t(stat.cbSize);
}

void TOleStream::SetSize(int64_t size) {
  if (size < 0 || FAILED(stream_->SetSize(uint64_t(size)))) throw EStreamError("Stream size error");
}

DWORD GetCurrentProcessId() { return DWORD(::getpid()); }
