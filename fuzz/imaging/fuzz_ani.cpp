// Animated cursor files through the reader, the frames handed to an icon
// list and to a GIF image. Only the library's exceptions may leave it.
#include "fuzz/imaging/UntrustedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadCursorFully(AnsiString(reinterpret_cast<const char*>(data), size));
  return 0;
}
