#include "imaging/IconFile.h"

#include <algorithm>
#include <array>

#include "imaging/ByteReader.h"
#include "platform/graphics/Bitmap.h"

namespace {

constexpr int kMaxIconSide = 1024;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct TDirEntry {
  int Width = 0, Height = 0, ColorByte = 0, Field1 = 0, Field2 = 0;
  uint32_t Size = 0, Offset = 0;
};

[[noreturn]] void RaiseInvalidIcon() { throw EInvalidGraphic("Icon image is not valid"); }

uint32_t Crc32(const AnsiString& bytes, size_t from) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i) c = table[(c ^ uint8_t(bytes[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutBigEndian(AnsiString& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((v >> shift) & 0xFF));
}

void PutPngChunk(AnsiString& out, const char* type, const AnsiString& data) {
  PutBigEndian(out, uint32_t(data.size()));
  size_t start = out.size();
  out.append(type, 4);
  out += data;
  PutBigEndian(out, Crc32(out, start));
}

// zlib data made of stored (uncompressed) deflate blocks.
AnsiString StoredZlib(const AnsiString& raw) {
  AnsiString z = "\x78\x01";
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    PutByte(z, pos + n == raw.size() ? 1 : 0);
    PutWord(z, unsigned(n));
    PutWord(z, unsigned(~n & 0xFFFF));
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (char c : raw) {
    a = (a + uint8_t(c)) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(z, (b << 16) | a);
  return z;
}

int EntryColorCount(const TDirEntry& e, bool isIcon) {
  if (e.ColorByte) return e.ColorByte;
  int bits = isIcon ? e.Field2 : 0;
  if (bits >= 1 && bits <= 8) return 1 << bits;
  return bits > 8 ? 65535 : 0;
}

uint32_t MaskBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

uint32_t PixelValue(const uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1: return MaskBit(row, x);
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
  }
}

// Decodes a DIB icon image (header, palette, colour rows, AND mask).
std::unique_ptr<TIcon> DecodeDibIcon(const AnsiString& data, int& colorCount) {
  TByteReader r(data);
  const uint32_t headerSize = r.DWord();
  const int32_t width = int32_t(r.DWord());
  const int32_t doubledHeight = int32_t(r.DWord());
  r.Word();
  const int bits = r.Word();
  const uint32_t compression = r.DWord();
  r.Skip(12);
  const uint32_t colorsUsed = r.DWord();
  r.Skip(4);
  if (headerSize < 40 || headerSize > data.size()) RaiseInvalidIcon();
  r.Skip(headerSize - 40);
  const int height = doubledHeight / 2;
  if (width < 1 || width > kMaxIconSide || height < 1 || height > kMaxIconSide || compression != 0)
    RaiseInvalidIcon();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) RaiseInvalidIcon();
  colorCount = bits <= 8 ? 1 << bits : 65535;
  std::vector<uint32_t> palette;
  if (bits <= 8) {
    uint32_t n = colorsUsed ? std::min<uint32_t>(colorsUsed, 1u << bits) : 1u << bits;
    for (uint32_t i = 0; i < n; ++i) palette.push_back(r.DWord() & 0xFFFFFF);
  }
  const size_t rowBytes = size_t((width * bits + 31) / 32) * 4;
  const size_t maskRowBytes = size_t((width + 31) / 32) * 4;
  const uint8_t* colors = r.Current();
  r.Skip(rowBytes * size_t(height));
  const bool hasMask = r.Remaining() >= maskRowBytes * size_t(height);
  if (!hasMask && bits != 32) RaiseStreamReadError();
  const uint8_t* mask = r.Current();
  std::vector<uint32_t> argb(size_t(width) * size_t(height));
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = colors + size_t(height - 1 - y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      uint32_t c;
      if (bits <= 8) {
        uint32_t index = PixelValue(row, x, bits);
        c = index < palette.size() ? palette[index] : 0;
      } else {
        const uint8_t* p = row + size_t(x) * (bits / 8);
        c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        if (bits == 32) {
          c |= uint32_t(p[3]) << 24;
          anyAlpha = anyAlpha || p[3] != 0;
        }
      }
      argb[size_t(y) * width + x] = c;
    }
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* maskRow = hasMask ? mask + size_t(height - 1 - y) * maskRowBytes : nullptr;
    for (int x = 0; x < width; ++x) {
      uint32_t& c = argb[size_t(y) * width + x];
      if (anyAlpha) continue;
      bool transparent = maskRow && MaskBit(maskRow, x);
      c = (c & 0xFFFFFF) | (transparent ? 0 : 0xFF000000u);
    }
  }
  return IconFromPixels(width, height, argb);
}

std::unique_ptr<TIcon> DecodePngIcon(const AnsiString& data) {
  auto icon = std::make_unique<TIcon>();
  TStringStream stream(data);
  icon->LoadFromStream(stream);
  return icon;
}

}  // namespace

AnsiString EncodePng(int width, int height, const std::vector<uint32_t>& argb) {
  AnsiString raw;
  raw.reserve(size_t(height) * (size_t(width) * 4 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      uint32_t c = argb[size_t(y) * width + x];
      raw.push_back(char((c >> 16) & 0xFF));
      raw.push_back(char((c >> 8) & 0xFF));
      raw.push_back(char(c & 0xFF));
      raw.push_back(char(c >> 24));
    }
  }
  AnsiString header;
  PutBigEndian(header, uint32_t(width));
  PutBigEndian(header, uint32_t(height));
  header += AnsiString("\x08\x06\x00\x00\x00", 5);
  AnsiString png(kPngSignature, 8);
  PutPngChunk(png, "IHDR", header);
  PutPngChunk(png, "IDAT", StoredZlib(raw));
  PutPngChunk(png, "IEND", "");
  return png;
}

std::unique_ptr<TIcon> IconFromPixels(int width, int height, const std::vector<uint32_t>& argb) {
  return DecodePngIcon(EncodePng(width, height, argb));
}

void AssignIcon(TIcon& dest, const TIcon& source) { dest.SetNative(source.Native()); }

std::unique_ptr<TIcon> CopyIcon(const TIcon& icon) {
  auto copy = std::make_unique<TIcon>();
  if (!icon.Empty()) AssignIcon(*copy, icon);
  return copy;
}

AnsiString IconToIconFile(const TIcon& icon) {
  if (icon.Empty()) return {};
  TMemoryStream pngStream;
  icon.SaveToStream(pngStream);
  pngStream.SetPosition(0);
  AnsiString png = ReadRestOfStream(pngStream);
  AnsiString file;
  PutWord(file, 0);
  PutWord(file, 1);
  PutWord(file, 1);
  PutByte(file, icon.Width() < 256 ? icon.Width() : 0);
  PutByte(file, icon.Height() < 256 ? icon.Height() : 0);
  PutByte(file, 0);
  PutByte(file, 0);
  PutWord(file, 1);
  PutWord(file, 32);
  PutDWord(file, uint32_t(png.size()));
  PutDWord(file, 22);
  return file + png;
}

TIconFileImage ReadIconFile(const AnsiString& bytes) {
  TByteReader r(bytes);
  const unsigned reserved = r.Word();
  const unsigned type = r.Word();
  const unsigned count = r.Word();
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) RaiseInvalidIcon();
  TIconFileImage result;
  result.IsIcon = type == 1;
  std::vector<TDirEntry> entries;
  for (unsigned i = 0; i < count; ++i) {
    TDirEntry e;
    e.Width = r.Byte();
    e.Height = r.Byte();
    e.ColorByte = r.Byte();
    r.Byte();
    e.Field1 = r.Word();
    e.Field2 = r.Word();
    e.Size = r.DWord();
    e.Offset = r.DWord();
    if (e.Width == 0) e.Width = 256;
    if (e.Height == 0) e.Height = 256;
    result.ColorCount = std::max(result.ColorCount, EntryColorCount(e, result.IsIcon));
    entries.push_back(e);
  }
  const TDirEntry& chosen = *std::max_element(
      entries.begin(), entries.end(),
      [](const TDirEntry& a, const TDirEntry& b) { return a.Width * a.Height < b.Width * b.Height; });
  if (uint64_t(chosen.Offset) + chosen.Size > bytes.size()) RaiseStreamReadError();
  result.ResourceSize = chosen.Size;
  result.ImageOffset = chosen.Offset;
  if (!result.IsIcon) result.HotSpot = Point(chosen.Field1, chosen.Field2);
  AnsiString image = bytes.substr(chosen.Offset, chosen.Size);
  int depthColors = 65535;
  if (image.compare(0, 8, kPngSignature, 8) == 0)
    result.Icon = DecodePngIcon(image);
  else
    result.Icon = DecodeDibIcon(image, depthColors);
  result.ColorCount = std::max(result.ColorCount, depthColors);
  return result;
}
