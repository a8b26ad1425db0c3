// GIF files through the reader: every frame decoded, the image written
// again. Only the library's exceptions may leave it; the sanitizers watch
// for crashes and reads outside the data.
#include "fuzz/imaging/UntrustedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadGifFully(AnsiString(reinterpret_cast<const char*>(data), size));
  return 0;
}
