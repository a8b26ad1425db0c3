// The same bytes read as an icon or cursor file and as the stream form of an
// icon list. Only the library's exceptions may leave the readers.
#include "fuzz/imaging/UntrustedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadIconsFully(AnsiString(reinterpret_cast<const char*>(data), size));
  return 0;
}
