// GIF files through the reader: every frame decoded, the image written
// again. Only the library's exceptions may leave it; the sanitizers watch
// for crashes and reads outside the data.
#include "imaging/GifImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TGIFImage image;
  TStringStream in(AnsiString(reinterpret_cast<const char*>(data), size));
  try {
    image.LoadFromStream(in);
    for (int i = 0; i < image.FrameCount(); ++i) image.Frames(i).Bitmap();
    TStringStream out;
    image.SaveToStream(out);
  } catch (const Exception&) {
  }
  return 0;
}
