// Speed of the GIF image on a 1024 x 1024 picture of 256 colours: writing
// (colour reduction and LZW encoding) and reading (LZW decoding into the
// frame's bitmap), plus the LZW codec alone. Figures are megabytes of 8-bit
// pixels per second.
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>

#include "imaging/GifImage.h"
#include "imaging/LzwCodec.h"

namespace {

constexpr int kSide = 1024;
constexpr int kRounds = 5;

// Bands of 256 colours with some noise, like a dithered photograph.
std::vector<uint8_t> PictureIndexes() {
  std::mt19937 gen(7);
  std::vector<uint8_t> indexes(size_t(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      indexes[size_t(y) * kSide + x] = uint8_t((x / 5 + y / 7 + (gen() % 3)) & 0xFF);
  return indexes;
}

uint32_t ColourOf(uint8_t index) { return 0xFF000000u | uint32_t(index) << 16 | uint32_t(255 - index) << 8 | uint32_t(index * 7 & 0xFF); }

// Best time of a few rounds, as megabytes of pixels per second.
double PixelRate(const std::function<void()>& action) {
  double best = 1e9;
  for (int i = 0; i < kRounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    action();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return double(kSide) * kSide / 1e6 / best;
}

}  // namespace

int main() {
  const std::vector<uint8_t> indexes = PictureIndexes();
  TBitmap picture(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    auto* row = static_cast<uint32_t*>(picture.ScanLine(y));
    for (int x = 0; x < kSide; ++x) row[x] = ColourOf(indexes[size_t(y) * kSide + x]);
  }

  AnsiString file;
  const double encode = PixelRate([&] {
    TGIFImage image;
    image.AddFrame(&picture);
    TStringStream out;
    image.SaveToStream(out);
    file = out.DataString();
  });
  const double decode = PixelRate([&] {
    TGIFImage image;
    TStringStream in(file);
    image.LoadFromStream(in);
  });
  AnsiString data;
  const double lzwEncode = PixelRate([&] { data = EncodeGifCodeStream(indexes.data(), kSide, kSide, 8, false); });
  const double lzwDecode = PixelRate([&] {
    bool corrupted = false;
    DecodeGifCodeStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), kSide, kSide,
                        false, 8, false, corrupted);
  });
  std::printf("gif_encode_1024x1024_256: %.1f MB/s\n", encode);
  std::printf("gif_decode_1024x1024_256: %.1f MB/s\n", decode);
  std::printf("lzw_encode_8bit: %.1f MB/s\n", lzwEncode);
  std::printf("lzw_decode_8bit: %.1f MB/s\n", lzwDecode);
  std::printf("gif_file_size: %.0f KB\n", double(file.size()) / 1024);
  return 0;
}
