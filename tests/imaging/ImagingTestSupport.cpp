#include "ImagingTestSupport.h"

#include "bench/imaging/HostileGifs.h"
#include "imaging/ByteReader.h"

std::unique_ptr<TBitmap> MakeBitmap(int w, int h, const std::function<uint32_t(int, int)>& colour) {
  auto bitmap = std::make_unique<TBitmap>(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<uint32_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | colour(x, y);
  }
  return bitmap;
}

uint32_t PixelAt(TBitmap& bitmap, int x, int y) {
  return static_cast<uint32_t*>(bitmap.ScanLine(y))[x] & 0xFFFFFF;
}

AnsiString PackCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes) {
  return HostileGifs::PackCodes(minCodeSize, codes);
}

AnsiString Chunk(const AnsiString& id, const AnsiString& data) {
  AnsiString out = id;
  PutDWord(out, uint32_t(data.size()));
  out += data;
  if (data.size() % 2) out.push_back('\0');
  return out;
}

AnsiString DWords(const std::vector<uint32_t>& values) {
  AnsiString out;
  for (uint32_t v : values) PutDWord(out, v);
  return out;
}

AnsiString AniFile(const AnsiString& chunks) {
  AnsiString out = "RIFF";
  PutDWord(out, uint32_t(chunks.size() + 4));
  return out + "ACON" + chunks;
}

AnsiString SmallIconFile(int type, int size, uint8_t colourIndex, int hotX, int hotY) {
  const int rowBytes = ((size * 4 + 31) / 32) * 4, maskRow = ((size + 31) / 32) * 4;
  AnsiString dib;
  PutDWord(dib, 40);
  PutDWord(dib, uint32_t(size));
  PutDWord(dib, uint32_t(size * 2));
  PutWord(dib, 1);
  PutWord(dib, 4);
  dib += AnsiString(24, '\0');
  const uint32_t palette[16] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                                0xFF00FF, 0xFFFFFF, 0x808080, 0x800000, 0x008000, 0x000080,
                                0x808000, 0x008080, 0x800080, 0xC0C0C0};
  for (uint32_t c : palette) PutDWord(dib, c);
  dib += AnsiString(size_t(rowBytes * size), char(colourIndex << 4 | colourIndex));
  // Top-left pixel see-through (mask rows are bottom-up).
  for (int y = 0; y < size; ++y) {
    AnsiString row(size_t(maskRow), '\0');
    if (y == size - 1) row[0] = char(0x80);
    dib += row;
  }
  AnsiString file;
  PutWord(file, 0);
  PutWord(file, unsigned(type));
  PutWord(file, 1);
  PutByte(file, unsigned(size));
  PutByte(file, unsigned(size));
  PutByte(file, 16);
  PutByte(file, 0);
  PutWord(file, type == 1 ? 1 : unsigned(hotX));
  PutWord(file, type == 1 ? 4 : unsigned(hotY));
  PutDWord(file, uint32_t(dib.size()));
  PutDWord(file, 22);
  return file + dib;
}
