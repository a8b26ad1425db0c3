// GIF encoding and decoding of 1000 x 1000, 2000 x 2000 and 4000 x 4000
// pictures, flat (a few areas of one colour each) and photographic (smooth
// shading with noise, far more than 256 colours), beside ImageMagick in the
// same run. Encoding starts from the picture in memory and includes the
// colour reduction; decoding ends with the picture in memory. ImageMagick
// converts a raw RGB file to GIF and a GIF to raw RGB (process start
// included; told not to dither, as the library does not). Per size, best of
// three runs each: milliseconds, nanoseconds per pixel (flat across the sizes
// when the cost is linear) and ImageMagick's time over ours.
//
// Then files that claim far more than they hold, each handled in a process
// of its own whose time and peak memory are reported: GIFs that claim 65535
// x 65535 pixels and hold one, a billion or all of them, and 2000 frames of
// 4000 x 4000 holding about 1000 pixels each and 200,000 frames of one
// pixel (loaded, then every frame drawn), and a 22 KB animated cursor whose 4096 steps show one 1024 x 1024
// icon, made into an icon list and into a GIF image.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include <fstream>
#include <string>

#include "bench/imaging/HostileGifs.h"
#include "imaging/AniFile.h"
#include "imaging/ByteReader.h"
#include "imaging/GifImage.h"
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"
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
  const int magickRounds = 3;
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
    Shell("convert -size " + size + " -depth 8 rgb:" + rgbFile + " +dither " + theirs);
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

// ---- files that claim more than they hold -----------------------------

struct THostileGif {
  const char* kind;
  AnsiString (*make)();
};

// Each claims 65535 x 65535 pixels, or many frames.
const THostileGif kHostileGifs[] = {
    // About 395 KB of data: one pixel, then clear codes.
    {"gif_huge_claim", [] { return HostileGifs::ClaimingGif(65535, 65535, 1, 395 * 1024); }},
    // Data that really decode to a billion pixels.
    {"gif_billion_pixels", [] { return HostileGifs::ClaimingGif(65535, 65535, 1000000000, 395 * 1024); }},
    // Data that decode to every pixel claimed, 4.3G of them.
    {"gif_all_pixels", [] { return HostileGifs::ClaimingGif(65535, 65535, uint64_t(65535) * 65535, 0); }},
    // 2000 frames of 4000 x 4000, each holding about 1000 pixels; every frame is drawn.
    {"gif_sparse_frames", [] { return HostileGifs::ClaimingAnimation(2000, 4000, 4000, 1000, 1600); }},
    // 200,000 frames of one pixel each: memory alone bounds the frames.
    {"gif_many_frames", [] { return HostileGifs::ClaimingAnimation(200000, 1, 1, 1, 0); }},
};

AnsiString RiffChunk(const AnsiString& id, const AnsiString& data) {
  AnsiString out = id;
  PutDWord(out, uint32_t(data.size()));
  out += data;
  if (data.size() % 2) PutByte(out, 0);
  return out;
}

AnsiString ManyStepsCursor() {
  AnsiString header, sequence;
  for (uint32_t v : {36u, 1u, 4096u, 0u, 0u, 0u, 0u, 2u, 3u}) PutDWord(header, v);
  for (int i = 0; i < 4096; ++i) PutDWord(sequence, 0);
  const std::vector<uint32_t> green(size_t(1024) * 1024, 0xFF00FF00u);
  const AnsiString icons = AnsiString("fram") + RiffChunk("icon", IconToIconFile(*IconFromPixels(1024, 1024, green)));
  const AnsiString chunks = RiffChunk("anih", header) + RiffChunk("seq ", sequence) + RiffChunk("LIST", icons);
  AnsiString out = "RIFF";
  PutDWord(out, uint32_t(chunks.size() + 4));
  return out + "ACON" + chunks;
}

double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

// Loads the GIF and draws every frame it has; the frames drawn.
int LoadAndDrawGif(const AnsiString& bytes) {
  TGIFImage image;
  TStringStream in(bytes);
  image.LoadFromStream(in);
  TBitmap target(64, 64);
  int drawn = 0;
  for (int i = 0; i < image.FrameCount(); ++i) {
    try {
      image.SetFrameIndex(i);
      image.Draw(*target.Canvas(), Rect(0, 0, 64, 64));
      ++drawn;
    } catch (const Exception&) {
    }
  }
  return drawn;
}

// Runs in a process of its own: handles the file as kind says and reports.
int HandleClaimingFile(const AnsiString& kind, const AnsiString& file) {
  AnsiString bytes;
  ReadFileToString(file, bytes);
  int made = 0;
  int refused = 0;
  const bool gif = kind.starts_with("gif_");
  const double ms = Milliseconds([&] {
    try {
      TStringStream in(bytes);
      if (gif) {
        made = LoadAndDrawGif(bytes);
        return;
      }
      TAnimatedCursorImage cursor;
      cursor.LoadFromStream(in);
      if (kind == "ani_steps_icon_list") {
        TIconList list;
        cursor.AssignTo(list);
        made = list.Count();
      } else {
        TGIFImage image;
        image.Assign(cursor);
        made = image.FrameCount();
      }
    } catch (const Exception&) {
      refused = 1;
    }
  });
  const char* unit = kind == "ani_steps_icon_list" ? "icons" : gif ? "frames_drawn" : "frames";
  std::printf("%s_file: %.0f KB\n", kind.c_str(), double(bytes.size()) / 1024);
  std::printf("%s_made: %d %s\n", kind.c_str(), made, unit);
  std::printf("%s_refused: %d files\n", kind.c_str(), refused);
  std::printf("%s_time: %.1f ms\n", kind.c_str(), ms);
  std::printf("%s_peak_memory: %.1f MB\n", kind.c_str(), PeakMegabytes());
  return 0;
}

void MeasureClaimingFiles(const AnsiString& folder) {
  const AnsiString self = std::filesystem::read_symlink("/proc/self/exe").string();
  for (const THostileGif& gif : kHostileGifs) {
    WriteFileAtomically(folder + gif.kind + ".gif", gif.make());
    Shell("'" + self + "' " + gif.kind + " '" + folder + gif.kind + ".gif'");
  }
  WriteFileAtomically(folder + "steps.ani", ManyStepsCursor());
  for (const char* kind : {"ani_steps_icon_list", "ani_steps_gif"})
    Shell("'" + self + "' " + kind + " '" + folder + "steps.ani'");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) return HandleClaimingFile(argv[1], argv[2]);
  const AnsiString folder = MakeTempFolder("imaging-bench-");
  for (const char* kind : {"flat", "photo"})
    for (int side : {1000, 2000, 4000}) Measure(folder, kind, side);
  MeasureClaimingFiles(folder);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
