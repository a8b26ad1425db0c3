// The same bytes read as an icon or cursor file and as the stream form of an
// icon list. Only the library's exceptions may leave the readers.
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const AnsiString bytes(reinterpret_cast<const char*>(data), size);
  try {
    ReadIconFile(bytes);
  } catch (const Exception&) {
  }
  TIconList list;
  TStringStream in(bytes);
  try {
    list.LoadFromStream(in);
  } catch (const Exception&) {
  }
  return 0;
}
