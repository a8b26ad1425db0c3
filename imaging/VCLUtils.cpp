#include "imaging/VCLUtils.h"

#include <cstring>

#include "platform/controls/Forms.h"

void RaiseStreamReadError() { throw EReadError(ImagingText::StreamReadError); }

void RaiseOutOfMemory() { throw EOutOfMemory(ImagingText::OutOfMemory); }

bool MemoryEquals(const void* p1, const void* p2, size_t length) {
  return length == 0 || std::memcmp(p1, p2, length) == 0;
}

void ShowNotImplemented() {
  if (Screen) Screen->SetCursor(crDefault);
  ShowMessageBox(ImagingText::NotImplemented, "", MB_OK | MB_ICONINFORMATION);
  Abort();
}
