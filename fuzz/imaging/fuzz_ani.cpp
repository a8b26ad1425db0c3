// Animated cursor files through the reader, the frames handed to an icon
// list and to a GIF image. Only the library's exceptions may leave it.
#include "imaging/AniFile.h"
#include "imaging/GifImage.h"
#include "imaging/IcoList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TAnimatedCursorImage cursor;
  TStringStream in(AnsiString(reinterpret_cast<const char*>(data), size));
  try {
    cursor.LoadFromStream(in);
    TIconList list;
    cursor.AssignTo(list);
    TGIFImage gif;
    gif.Assign(cursor);
  } catch (const Exception&) {
  }
  return 0;
}
