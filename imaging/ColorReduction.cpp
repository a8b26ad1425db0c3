#include "imaging/ColorReduction.h"

#include <algorithm>
#include <bit>
#include <unordered_map>

#include "imaging/ByteReader.h"
#include "imaging/VCLUtils.h"

namespace {

struct TRgb {
  uint8_t R, G, B;
};

constexpr uint8_t kLevels4[] = {0, 85, 170, 255};
constexpr uint8_t kLevels6[] = {0, 51, 102, 153, 204, 255};
constexpr uint8_t kLevels7[] = {0, 43, 85, 128, 170, 213, 255};
constexpr uint8_t kLevels8[] = {0, 36, 73, 109, 146, 182, 219, 255};

template <size_t N>
std::array<uint8_t, 256> NearestLevelTable(const uint8_t (&levels)[N]) {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    size_t best = 0;
    for (size_t i = 1; i < N; ++i)
      if (std::abs(v - levels[i]) < std::abs(v - levels[best])) best = i;
    table[size_t(v)] = uint8_t(best);
  }
  return table;
}

const std::array<uint8_t, 256> q4 = NearestLevelTable(kLevels4);
const std::array<uint8_t, 256> q6 = NearestLevelTable(kLevels6);
const std::array<uint8_t, 256> q7 = NearestLevelTable(kLevels7);
const std::array<uint8_t, 256> q8 = NearestLevelTable(kLevels8);

TPaletteEntry Entry(int r, int g, int b) {
  return TPaletteEntry{uint8_t(b), uint8_t(g), uint8_t(r), 0};
}

// The picture's pixels, rows top to bottom.
std::vector<TRgb> ReadPixels(TBitmap& bitmap) {
  std::vector<TRgb> pixels;
  pixels.reserve(size_t(bitmap.Width()) * size_t(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* row = static_cast<const uint32_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x)
      pixels.push_back(TRgb{uint8_t(row[x] >> 16), uint8_t(row[x] >> 8), uint8_t(row[x])});
  }
  return pixels;
}

void MapFixed6x6x6(const std::vector<TRgb>& pixels, TReducedBitmap& out) {
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        out.Palette[size_t((r * 6 + g) * 6 + b)] = Entry(kLevels6[r], kLevels6[g], kLevels6[b]);
  out.ColorsUsed = 216;
  for (size_t i = 0; i < pixels.size(); ++i)
    out.Indexes[i] = uint8_t((q6[pixels[i].R] * 6 + q6[pixels[i].G]) * 6 + q6[pixels[i].B]);
}

void MapFixed7x8x4(const std::vector<TRgb>& pixels, TReducedBitmap& out) {
  for (int r = 0; r < 7; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b)
        out.Palette[size_t((r * 8 + g) * 4 + b)] = Entry(kLevels7[r], kLevels8[g], kLevels4[b]);
  out.ColorsUsed = 224;
  for (size_t i = 0; i < pixels.size(); ++i)
    out.Indexes[i] = uint8_t((q7[pixels[i].R] * 8 + q8[pixels[i].G]) * 4 + q4[pixels[i].B]);
}

void MapGrayscale(const std::vector<TRgb>& pixels, TReducedBitmap& out) {
  for (int i = 0; i < 256; ++i) out.Palette[size_t(i)] = Entry(i, i, i);
  out.ColorsUsed = 256;
  for (size_t i = 0; i < pixels.size(); ++i)
    out.Indexes[i] = uint8_t((77 * pixels[i].R + 150 * pixels[i].G + 29 * pixels[i].B) >> 8);
}

// Each pixel shows one channel, chosen by (row + column) mod 3 with rows
// counted from the bottom of the picture.
void MapChannelRamps(const std::vector<TRgb>& pixels, TReducedBitmap& out) {
  for (int i = 0; i < 64; ++i) {
    out.Palette[size_t(i)] = Entry(4 * i, 0, 0);
    out.Palette[size_t(i + 64)] = Entry(0, 4 * i, 0);
    out.Palette[size_t(i + 128)] = Entry(0, 0, 4 * i);
  }
  out.ColorsUsed = 256;
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x) {
      const size_t i = size_t(y) * size_t(out.Width) + size_t(x);
      const TRgb& p = pixels[i];
      switch ((out.Height - 1 - y + x) % 3) {
        case 0: out.Indexes[i] = uint8_t(p.R >> 2); break;
        case 1: out.Indexes[i] = uint8_t((p.G >> 2) + 64); break;
        default: out.Indexes[i] = uint8_t((p.B >> 2) + 128); break;
      }
    }
}

// ---- median cut ---------------------------------------------------------

int CellOf(const TRgb& p) { return ((p.R >> 4) << 8) | ((p.G >> 4) << 4) | (p.B >> 4); }
int CellChannel(int cell, int channel) { return (cell >> (8 - 4 * channel)) & 15; }

struct TColorBox {
  std::vector<int> Cells;
  uint64_t Pixels = 0;
  int Min[3] = {0, 0, 0};
  int Extent[3] = {0, 0, 0};

  void Measure(const std::vector<uint64_t>& counts) {
    Pixels = 0;
    for (int ch = 0; ch < 3; ++ch) {
      int lo = 15, hi = 0;
      for (int cell : Cells) {
        lo = std::min(lo, CellChannel(cell, ch));
        hi = std::max(hi, CellChannel(cell, ch));
      }
      Min[ch] = lo * 16;
      Extent[ch] = (hi - lo) * 16;
    }
    for (int cell : Cells) Pixels += counts[size_t(cell)];
  }
};

// Splits the box with the widest channel (first on a tie) at the median of
// its pixels along that channel; false when no box has two cells.
bool SplitLargestBox(std::vector<TColorBox>& boxes, const std::vector<uint64_t>& counts) {
  int bestBox = -1, bestChannel = 0, bestExtent = -1;
  for (size_t b = 0; b < boxes.size(); ++b) {
    if (boxes[b].Cells.size() < 2) continue;
    for (int ch = 0; ch < 3; ++ch)
      if (boxes[b].Extent[ch] > bestExtent) {
        bestBox = int(b);
        bestChannel = ch;
        bestExtent = boxes[b].Extent[ch];
      }
  }
  if (bestBox < 0) return false;
  TColorBox& box = boxes[size_t(bestBox)];
  std::stable_sort(box.Cells.begin(), box.Cells.end(), [&](int a, int b) {
    return CellChannel(a, bestChannel) < CellChannel(b, bestChannel);
  });
  uint64_t running = 0;
  size_t keep = 0;
  while (keep < box.Cells.size() - 1 && running * 2 < box.Pixels)
    running += counts[size_t(box.Cells[keep++])];
  keep = std::max<size_t>(keep, 1);
  TColorBox upper;
  upper.Cells.assign(box.Cells.begin() + long(keep), box.Cells.end());
  box.Cells.resize(keep);
  box.Measure(counts);
  upper.Measure(counts);
  boxes.push_back(std::move(upper));
  return true;
}

void MapMedianCut(const std::vector<TRgb>& pixels, TReducedBitmap& out) {
  std::vector<uint64_t> counts(4096, 0);
  for (const TRgb& p : pixels) ++counts[size_t(CellOf(p))];
  std::vector<TColorBox> boxes(1);
  for (int cell = 0; cell < 4096; ++cell)
    if (counts[size_t(cell)]) boxes[0].Cells.push_back(cell);
  boxes[0].Measure(counts);
  while (boxes.size() < 256 && SplitLargestBox(boxes, counts)) {
  }
  std::vector<uint8_t> boxOfCell(4096, 0);
  for (size_t b = 0; b < boxes.size(); ++b) {
    uint64_t sum[3] = {0, 0, 0};
    for (int cell : boxes[b].Cells) {
      boxOfCell[size_t(cell)] = uint8_t(b);
      for (int ch = 0; ch < 3; ++ch) sum[ch] += uint64_t(CellChannel(cell, ch)) * counts[size_t(cell)];
    }
    const uint64_t total = std::max<uint64_t>(boxes[b].Pixels, 1);
    out.Palette[b] = Entry(int(sum[0] * 16 / total), int(sum[1] * 16 / total), int(sum[2] * 16 / total));
  }
  out.ColorsUsed = int(boxes.size());
  for (size_t i = 0; i < pixels.size(); ++i) out.Indexes[i] = boxOfCell[size_t(CellOf(pixels[i]))];
}

// ---- histogram ----------------------------------------------------------

// At most 2049 colours in a table of four times as many slots.
constexpr int kHistogramSlotBits = 13;
constexpr int kHistogramSlots = 1 << kHistogramSlotBits;
constexpr size_t kMaxHistogramColors = 2049;
constexpr uint16_t kEmptySlot = 0xFFFF;

// The picture's rows as 32-bit pixels (0xAARRGGBB), top to bottom.
using TPixelRows = std::vector<const uint32_t*>;

TPixelRows RowsOf(TBitmap& bitmap) {
  TPixelRows rows;
  for (int y = 0; y < bitmap.Height(); ++y) rows.push_back(static_cast<const uint32_t*>(bitmap.ScanLine(y)));
  return rows;
}

TRgb RgbOf(uint32_t color) { return TRgb{uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)}; }

// The channel masks (red, green, blue) as one mask of 0xRRGGBB pixels.
uint32_t PixelMask(const int masks[3]) { return uint32_t(masks[0]) << 16 | uint32_t(masks[1]) << 8 | uint32_t(masks[2]); }

struct THistogramEntry {
  uint32_t Color;  // masked, 0xRRGGBB
  uint32_t Count;
  int Index;
};

// The masked colours of a picture with their pixel counts, in the order they
// first appear. A pixel of the colour of the pixel before it is counted
// without a look-up, so pictures of large areas take little time.
class THistogram {
 public:
  // Builds the histogram of the masked colours; false when there are too many.
  bool Build(const TPixelRows& rows, int width, uint32_t mask) {
    mask_ = mask;
    slots_.assign(kHistogramSlots, kEmptySlot);
    entries_.clear();
    uint32_t last = 0;
    int lastEntry = -1;
    for (const uint32_t* row : rows)
      for (int x = 0; x < width; ++x) {
        const uint32_t color = row[x] & mask_;
        if (color != last || lastEntry < 0) {
          const int slot = Find(color);
          if (slots_[size_t(slot)] == kEmptySlot) {
            if (entries_.size() == kMaxHistogramColors) return false;
            slots_[size_t(slot)] = uint16_t(entries_.size());
            entries_.push_back(THistogramEntry{color, 0, -1});
          }
          last = color;
          lastEntry = slots_[size_t(slot)];
        }
        ++entries_[size_t(lastEntry)].Count;
      }
    return true;
  }

  std::vector<THistogramEntry>& Entries() { return entries_; }

  // Writes each pixel's entry index into out (width indexes per row).
  void MapPixels(const TPixelRows& rows, int width, uint8_t* out) const {
    uint32_t last = 0;
    uint8_t lastIndex = 0;
    bool known = false;
    for (const uint32_t* row : rows)
      for (int x = 0; x < width; ++x, ++out) {
        const uint32_t color = row[x] & mask_;
        if (color != last || !known) {
          lastIndex = uint8_t(entries_[slots_[size_t(Find(color))]].Index);
          last = color;
          known = true;
        }
        *out = lastIndex;
      }
  }

 private:
  int Find(uint32_t color) const {
    int slot = int((color * 2654435761u) >> (32 - kHistogramSlotBits));
    while (slots_[size_t(slot)] != kEmptySlot && entries_[slots_[size_t(slot)]].Color != color)
      slot = (slot + 1) & (kHistogramSlots - 1);
    return slot;
  }

  uint32_t mask_ = 0xFFFFFF;
  std::vector<uint16_t> slots_;
  std::vector<THistogramEntry> entries_;
};

// Drops the lowest remaining bit of one channel: green when red's mask is
// below green's, else red when red's is above blue's, else blue.
void CoarsenMasks(int masks[3]) {
  int& r = masks[0];
  int& g = masks[1];
  int& b = masks[2];
  int& which = r < g ? g : (r > b ? r : b);
  which = (which << 1) & 0xFF;
}

// A set of 0xRRGGBB colours, one bit each.
class TColorSet {
 public:
  TColorSet() : words_(size_t(1) << 18, 0) {}
  // Adds the colour; true when it was not in the set.
  bool Add(uint32_t color) {
    uint64_t& word = words_[color >> 6];
    const uint64_t bit = uint64_t(1) << (color & 63);
    const bool added = !(word & bit);
    word |= bit;
    return added;
  }
  // This set's colours under the mask, in next; their number.
  size_t ProjectInto(uint32_t mask, TColorSet& next) const {
    std::fill(next.words_.begin(), next.words_.end(), 0);
    size_t count = 0;
    for (size_t w = 0; w < words_.size(); ++w)
      for (uint64_t bits = words_[w]; bits; bits &= bits - 1)
        count += next.Add((uint32_t(w) << 6 | uint32_t(std::countr_zero(bits))) & mask);
    return count;
  }

 private:
  std::vector<uint64_t> words_;
};

// Coarsens the masks, in the order of CoarsenMasks, until the picture has at
// most 2049 colours under them: the histogram that the first of those masks
// gives is the one that building it again for each mask would end with. The
// colours are gathered once and projected onto each mask in turn.
void CoarsenUntilFewColours(const TPixelRows& rows, int width, int masks[3]) {
  TColorSet seen, next;
  size_t count = 0;
  const uint32_t start = PixelMask(masks);
  for (const uint32_t* row : rows)
    for (int x = 0; x < width; ++x) count += seen.Add(row[x] & start);
  while (count > kMaxHistogramColors) {
    CoarsenMasks(masks);
    count = seen.ProjectInto(PixelMask(masks), next);
    std::swap(seen, next);
  }
}

int ColorDistance(const TRgb& a, const TPaletteEntry& b) {
  const int dr = a.R - b.Red, dg = a.G - b.Green, db = a.B - b.Blue;
  return dr * dr + dg * dg + db * db;
}

// The nearest of the first count palette entries (the first one on a tie).
int NearestEntry(const TRgb& color, const TReducedBitmap& out, int count) {
  int best = 0;
  for (int i = 1; i < count; ++i)
    if (ColorDistance(color, out.Palette[size_t(i)]) < ColorDistance(color, out.Palette[size_t(best)])) best = i;
  return best;
}

void MapHistogram(TBitmap& bitmap, TReducedBitmap& out, int colors) {
  const TPixelRows rows = RowsOf(bitmap);
  THistogram histogram;
  int masks[3] = {255, 255, 255};
  if (!histogram.Build(rows, out.Width, PixelMask(masks))) {
    CoarsenUntilFewColours(rows, out.Width, masks);
    histogram.Build(rows, out.Width, PixelMask(masks));
  }
  std::vector<THistogramEntry>& entries = histogram.Entries();
  std::vector<uint32_t> counts;
  for (const auto& e : entries) counts.push_back(e.Count);
  int chosen = 0;
  while (chosen < colors && chosen < int(entries.size())) {
    size_t best = size_t(std::max_element(counts.begin(), counts.end()) - counts.begin());
    counts[best] = 0;
    entries[best].Index = chosen;
    const TRgb c = RgbOf(entries[best].Color);
    out.Palette[size_t(chosen++)] = Entry(c.R, c.G, c.B);
  }
  for (int i = chosen; i < 256; ++i) out.Palette[size_t(i)] = Entry(128, 128, 128);
  out.ColorsUsed = chosen;
  for (auto& e : entries)
    if (e.Index < 0) e.Index = NearestEntry(RgbOf(e.Color), out, chosen);
  histogram.MapPixels(rows, out.Width, out.Indexes.data());
}

// A bitmap that already has the format keeps its palette: each pixel takes
// the first entry of its colour (the nearest entry for a colour that is not
// in the palette, as painting on an indexed picture gives).
void MapOwnPalette(const std::vector<TRgb>& pixels, const TLogPalette& palette, TReducedBitmap& out) {
  out.ColorsUsed = std::min(int(palette.Entries.size()), 1 << out.BitCount);
  std::unordered_map<uint32_t, uint8_t> indexOf;
  for (int i = out.ColorsUsed - 1; i >= 0; --i) {
    const TColor c = palette.Entries[size_t(i)];
    out.Palette[size_t(i)] = Entry(GetRValue(c), GetGValue(c), GetBValue(c));
    indexOf[uint32_t(ColorToRGB(c))] = uint8_t(i);
  }
  uint32_t lastColor = 0xFFFFFFFFu;
  uint8_t lastIndex = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const TRgb& p = pixels[i];
    const uint32_t color = uint32_t(RGB(p.R, p.G, p.B));
    if (color != lastColor) {
      auto [it, added] = indexOf.try_emplace(color, uint8_t(0));
      if (added) it->second = uint8_t(NearestEntry(p, out, out.ColorsUsed));
      lastColor = color;
      lastIndex = it->second;
    }
    out.Indexes[i] = lastIndex;
  }
}

int ColorsOfFormat(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 2;
    case pf4bit: return 16;
    default: return 256;
  }
}

}  // namespace

void RaiseInvalidBitmap() { throw EInvalidGraphic(ImagingText::InvalidBitmap); }

TReducedBitmap ReduceBitmap(TBitmap& bitmap, TPixelFormat format, TColorMapping mapping) {
  if (bitmap.Empty()) RaiseInvalidBitmap();
  const bool indexed = format == pf1bit || format == pf4bit || format == pf8bit;
  const bool asItIs = indexed && bitmap.PixelFormat() == format && bitmap.Palette() && mapping != cmGrayscale;
  if (!asItIs && (!indexed || (format != pf8bit && mapping != cmHistogram))) ShowNotImplemented();
  TReducedBitmap out;
  out.Width = bitmap.Width();
  out.Height = bitmap.Height();
  out.BitCount = format == pf1bit ? 1 : format == pf4bit ? 4 : 8;
  out.Indexes.assign(size_t(out.Width) * size_t(out.Height), 0);
  if (!asItIs && mapping == cmHistogram) {
    MapHistogram(bitmap, out, ColorsOfFormat(format));
    return out;
  }
  const std::vector<TRgb> pixels = ReadPixels(bitmap);
  if (asItIs) {
    MapOwnPalette(pixels, *bitmap.Palette(), out);
    return out;
  }
  switch (mapping) {
    case cmMedianCut: MapMedianCut(pixels, out); break;
    case cmFixed7x8x4: MapFixed7x8x4(pixels, out); break;
    case cmFixed6x6x6: MapFixed6x6x6(pixels, out); break;
    case cmChannelRamps: MapChannelRamps(pixels, out); break;
    case cmGrayscale: MapGrayscale(pixels, out); break;
    case cmHistogram: break;  // mapped from the rows above
  }
  return out;
}

int BytesPerScanLine(int pixels, int bitsPerPixel, int alignBits) {
  const int64_t bits = int64_t(pixels) * bitsPerPixel;
  return int((bits + alignBits - 1) / alignBits * (alignBits / 8));
}

void SaveDibFile(const TReducedBitmap& reduced, TStream& stream) {
  const int rowBytes = BytesPerScanLine(reduced.Width, reduced.BitCount);
  const uint32_t paletteBytes = (1u << reduced.BitCount) * 4;
  const uint32_t imageBytes = uint32_t(rowBytes) * uint32_t(reduced.Height);
  AnsiString out;
  PutWord(out, 19778);
  PutDWord(out, 14 + 40 + paletteBytes + imageBytes);
  PutDWord(out, 0);
  PutDWord(out, 14 + 40 + paletteBytes);
  PutDWord(out, 40);
  PutDWord(out, uint32_t(reduced.Width));
  PutDWord(out, uint32_t(reduced.Height));
  PutWord(out, 1);
  PutWord(out, unsigned(reduced.BitCount));
  PutDWord(out, 0);
  PutDWord(out, imageBytes);
  PutDWord(out, 0);
  PutDWord(out, 0);
  PutDWord(out, uint32_t(std::min(reduced.ColorsUsed, 1 << reduced.BitCount)));
  PutDWord(out, 0);
  for (uint32_t i = 0; i < (1u << reduced.BitCount); ++i) {
    const TPaletteEntry& e = reduced.Palette[i];
    out += {char(e.Blue), char(e.Green), char(e.Red), 0};
  }
  for (int y = reduced.Height - 1; y >= 0; --y) {
    AnsiString row(size_t(rowBytes), '\0');
    for (int x = 0; x < reduced.Width; ++x) {
      const uint8_t v = reduced.At(x, y);
      if (reduced.BitCount == 8)
        row[size_t(x)] = char(v);
      else if (reduced.BitCount == 4)
        row[size_t(x / 2)] = char(uint8_t(row[size_t(x / 2)]) | (x % 2 ? v & 15 : v << 4));
      else
        row[size_t(x / 8)] = char(uint8_t(row[size_t(x / 8)]) | ((v & 1) << (7 - x % 8)));
    }
    out += row;
  }
  WriteBytes(stream, out);
}

std::unique_ptr<TMemoryStream> ReduceBitmapToStream(TBitmap& bitmap, TPixelFormat format,
                                                    TColorMapping mapping) {
  auto stream = std::make_unique<TMemoryStream>();
  if (format == pf24bit || format == pf32bit) {
    if (bitmap.Empty()) RaiseInvalidBitmap();
    bitmap.SaveToStream(*stream);
  } else {
    SaveDibFile(ReduceBitmap(bitmap, format, mapping), *stream);
  }
  stream->SetPosition(0);
  return stream;
}

std::unique_ptr<TMemoryStream> BitmapToReducedStream(TBitmap& bitmap, int colors) {
  const TPixelFormat format =
      colors <= 2 ? pf1bit : colors <= 16 ? pf4bit : colors <= 256 ? pf8bit : pf24bit;
  return ReduceBitmapToStream(bitmap, format, DefaultColorMapping);
}

void ReducedToBitmap(const TReducedBitmap& reduced, TBitmap& bitmap) {
  bitmap.SetSize(reduced.Width, reduced.Height);
  for (int y = 0; y < reduced.Height; ++y) {
    auto* row = static_cast<uint32_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < reduced.Width; ++x) {
      const TPaletteEntry& e = reduced.Palette[reduced.At(x, y)];
      row[x] = 0xFF000000u | uint32_t(e.Red) << 16 | uint32_t(e.Green) << 8 | e.Blue;
    }
  }
}
