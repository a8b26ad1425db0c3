// TOleStream: a class-library stream over an OLE IStream, so code that
// reads and writes TStream can fill or read a stream medium. Reads,
// writes, seeks and size changes go straight to the IStream, which the
// object holds a reference to.
#pragma once

#include "platform/ole/ObjIdl.h"
#include "platform/rtl/Classes.h"

class TOleStream : public TStream {
 public:
  explicit TOleStream(IStream* stream) : stream_(stream) {}
  AnsiString ClassName() const override { return "TOleStream"; }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  IStream* Stream() const { return stream_.Get(); }

 private:
  TComPtr<IStream> stream_;
};

// The id of the running process (drag data names the process it comes from).
DWORD GetCurrentProcessId();
