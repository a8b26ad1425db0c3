#include "imaging/Imaging.h"

#include "imaging/GifImage.h"
#include "imaging/IcoList.h"

void RegisterImagingFormats() {
  RegisterIconFormats();
  RegisterGifImage();
}

void UnregisterImagingFormats() { UnregisterGifImage(); }
