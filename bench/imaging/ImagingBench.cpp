// GIF encoding and decoding of 1000 x 1000, 2000 x 2000 and 4000 x 4000
// pictures, flat (a few areas of one colour each) and photographic (smooth
// shading with noise, far more than 256 colours), beside ImageMagick in the
// same run. Encoding starts from the picture in memory and includes the
// colour reduction; decoding ends with the picture in memory. ImageMagick
// converts a raw RGB file to GIF and a GIF to raw RGB (process start
// included). Per size: milliseconds, nanoseconds per pixel (flat across the
// sizes when the cost is linear) and ImageMagick's time over ours.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "imaging/GifImage.h"
#include "platform/rtl/FileUtils.h"

namespace {

double Milliseconds(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double BestMilliseconds(int rounds, const std::function<void()>& action) {
  double best = 1e300;
  for (int round = 0; round < rounds; ++round) best = std::min(best, Milliseconds(action));
  return best;
}

uint32_t FlatColour(int x, int y, int side) {
  if (x < side / 3) return 0x1F3A93;
  if (y < side / 2) return 0xF5D76E;
  return x < side * 2 / 3 ? 0xFFFFFF : 0xC0392B;
}

// Shading across the picture plus noise, like a photograph.
uint32_t PhotoColour(int x, int y, int side, std::mt19937& gen) {
  const double u = double(x) / side, v = double(y) / side;
  auto channel = [&](double base) {
    return uint32_t(std::clamp(base + int(gen() % 17) - 8, 0.0, 255.0));
  };
  const uint32_t r = channel(128 + 100 * std::sin(6.0 * u + 2.0 * v));
  const uint32_t g = channel(128 + 100 * std::sin(4.0 * v - 3.0 * u * v));
  const uint32_t b = channel(128 + 100 * std::cos(5.0 * (u + v)));
  return r << 16 | g << 8 | b;
}

void Shell(const AnsiString& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

void Measure(const AnsiString& folder, const char* kind, int side) {
  TBitmap picture(side, side);
  AnsiString raw(size_t(side) * size_t(side) * 3, '\0');
  std::mt19937 gen{uint32_t(side)};
  for (int y = 0; y < side; ++y) {
    auto* row = static_cast<uint32_t*>(picture.ScanLine(y));
    for (int x = 0; x < side; ++x) {
      const uint32_t c = kind[0] == 'f' ? FlatColour(x, y, side) : PhotoColour(x, y, side, gen);
      row[x] = 0xFF000000u | c;
      char* p = &raw[(size_t(y) * size_t(side) + size_t(x)) * 3];
      p[0] = char(c >> 16), p[1] = char(c >> 8), p[2] = char(c);
    }
  }
  const AnsiString rgbFile = folder + "picture.rgb", ours = folder + "ours.gif", theirs = folder + "magick.gif";
  WriteFileAtomically(rgbFile, raw);

  AnsiString gif;
  // Ours: best of three; ImageMagick, seconds per run at the largest size: once there.
  const int magickRounds = side >= 4000 ? 1 : 3;
  const double encode = BestMilliseconds(3, [&] {
    TGIFImage image;
    image.AddFrame(&picture);
    TStringStream out;
    image.SaveToStream(out);
    gif = out.DataString();
  });
  WriteFileAtomically(ours, gif);
  const double decode = BestMilliseconds(3, [&] {
    TGIFImage image;
    TStringStream in(gif);
    image.LoadFromStream(in);
  });
  const AnsiString size = IntToStr(side) + "x" + IntToStr(side);
  const double magickEncode = BestMilliseconds(magickRounds, [&] {
    Shell("convert -size " + size + " -depth 8 rgb:" + rgbFile + " " + theirs);
  });
  const double magickDecode = BestMilliseconds(magickRounds, [&] { Shell("convert " + ours + " rgb:/dev/null"); });

  const double pixels = double(side) * side;
  const AnsiString name = AnsiString(kind) + "_" + IntToStr(side);
  std::printf("gif_encode_%s: %.1f ms\n", name.c_str(), encode);
  std::printf("gif_encode_%s_per_pixel: %.1f ns\n", name.c_str(), encode * 1e6 / pixels);
  std::printf("magick_encode_%s: %.1f ms\n", name.c_str(), magickEncode);
  std::printf("magick_over_gif_encode_%s: %.2f x\n", name.c_str(), magickEncode / encode);
  std::printf("gif_decode_%s: %.1f ms\n", name.c_str(), decode);
  std::printf("gif_decode_%s_per_pixel: %.1f ns\n", name.c_str(), decode * 1e6 / pixels);
  std::printf("magick_decode_%s: %.1f ms\n", name.c_str(), magickDecode);
  std::printf("magick_over_gif_decode_%s: %.2f x\n", name.c_str(), magickDecode / decode);
  std::printf("gif_file_%s: %.0f KB\n", name.c_str(), double(gif.size()) / 1024);
  AnsiString magickGif;
  ReadFileToString(theirs, magickGif);
  std::printf("magick_file_%s: %.0f KB\n", name.c_str(), double(magickGif.size()) / 1024);
  std::fflush(stdout);
}

}  // namespace

int main() {
  const AnsiString folder = MakeTempFolder("imaging-bench-");
  for (const char* kind : {"flat", "photo"})
    for (int side : {1000, 2000, 4000}) Measure(folder, kind, side);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
