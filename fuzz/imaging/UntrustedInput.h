// What the fuzz targets and the tolerant-load tests do with bytes from
// anywhere: each reader goes as far as it can and its result is used the way
// the program uses it. Only the library's exceptions (Exception) may end a
// reading; anything else, a crash or a read outside the data is a fault.
#pragma once

#include "imaging/AniFile.h"
#include "imaging/GifImage.h"
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"

// Loads a GIF file, decodes every frame and writes the image again.
inline void ReadGifFully(const AnsiString& bytes) {
  TGIFImage image;
  TStringStream in(bytes);
  try {
    image.LoadFromStream(in);
    for (int i = 0; i < image.FrameCount(); ++i) image.Frames(i).Bitmap();
    TStringStream out;
    image.SaveToStream(out);
  } catch (const Exception&) {
  }
}

// Loads an animated cursor and hands its steps to an icon list and to a GIF image.
inline void ReadCursorFully(const AnsiString& bytes) {
  TAnimatedCursorImage cursor;
  TStringStream in(bytes);
  try {
    cursor.LoadFromStream(in);
    TIconList list;
    cursor.AssignTo(list);
    TGIFImage gif;
    gif.Assign(cursor);
  } catch (const Exception&) {
  }
}

// Reads the bytes as an icon or cursor file and as the stream form of an icon list.
inline void ReadIconsFully(const AnsiString& bytes) {
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
}
