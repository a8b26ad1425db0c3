#include "imaging/GifImage.h"

#include <algorithm>

#include "imaging/AniFile.h"
#include "imaging/ByteReader.h"
#include "imaging/ColorReduction.h"
#include "imaging/GraphUtils.h"
#include "imaging/LzwCodec.h"
#include "platform/controls/Clipbrd.h"
#include "platform/graphics/Icon.h"
#include "platform/ole/GlobalMemory.h"

bool GifLoadCorrupted = true;
unsigned GifClipboardFormat = 0;

namespace {

constexpr int kMaxRepeatCount = 30000;
constexpr int kMaxGifSide = 65535;
constexpr uint32_t kMaxDelay = 65535;  // hundredths of a second
// The most pixels the frames of an image may claim beyond those their data
// decode to, in all.
constexpr uint64_t kMaxMissingPixels = uint64_t(1) << 24;
const AnsiString kCommentSeparator = "\r\n\r\n";

int NextBlock(TByteReader& r) { return r.AtEnd() ? ';' : r.Byte(); }

int BitsCovering(int count) {
  int bits = 1;
  while ((1 << bits) < count) ++bits;
  return bits;
}

// Data sub-blocks up to a 0 length or the end of the data.
std::vector<AnsiString> ReadGifSubBlocks(TByteReader& r) {
  std::vector<AnsiString> blocks;
  while (!r.AtEnd()) {
    const uint8_t length = r.Byte();
    if (length == 0) break;
    blocks.push_back(r.Bytes(length));
  }
  return blocks;
}

// Each string as sub-blocks of at most 255 bytes, then the terminator.
void WriteGifSubBlocks(AnsiString& out, const std::vector<AnsiString>& blocks) {
  for (const AnsiString& s : blocks)
    for (size_t pos = 0; pos < s.size(); pos += 255) {
      const size_t n = std::min<size_t>(255, s.size() - pos);
      PutByte(out, unsigned(n));
      out.append(s, pos, n);
    }
  PutByte(out, 0);
}

std::unique_ptr<TExtension> ReadGifExtension(TByteReader& r) {
  auto ext = std::make_unique<TExtension>();
  const uint8_t label = r.Byte();
  switch (label) {
    case 0xF9:
      ext->Kind = ekGraphicControl;
      ext->Fixed = r.Bytes(6);
      break;
    case 0xFE:
      ext->Kind = ekComment;
      ext->Data = ReadGifSubBlocks(r);
      break;
    case 0x01:
      ext->Kind = ekPlainText;
      ext->Fixed = r.Bytes(13);
      ext->Data = ReadGifSubBlocks(r);
      break;
    case 0xFF:
      ext->Kind = ekApplication;
      ext->Fixed = r.Bytes(12);
      ext->Data = ReadGifSubBlocks(r);
      break;
    default:
      throw EInvalidGraphicOperation(Format(ImagingText::GifUnknownExtension, int(label)));
  }
  return ext;
}

void WriteGifExtension(AnsiString& out, const TExtension& ext) {
  PutByte(out, '!');
  PutByte(out, ext.Label());
  if (ext.Kind != ekComment) out += ext.Fixed;
  if (ext.Kind != ekGraphicControl) WriteGifSubBlocks(out, ext.Data);
}

bool IsLoopExtension(const TExtension& ext) {
  if (ext.Kind != ekApplication || ext.Data.empty() || ext.Fixed.size() < 12) return false;
  const AnsiString id = ext.Fixed.substr(1, 11);
  return (id == "NETSCAPE2.0" || id == "ANIMEXTS1.0") && ext.Data[0].size() >= 3 &&
         ext.Data[0][0] == 1;
}

void ReadColorTable(TByteReader& r, TGIFColorTable& table, int bits) {
  table.Count = 1 << bits;
  r.Read(table.Colors.data(), size_t(table.Count) * 3);
}

void WriteColorTable(AnsiString& out, const TGIFColorTable& table) {
  out.append(reinterpret_cast<const char*>(table.Colors.data()), size_t(table.Count) * 3);
}

// Copies the minimum code size byte and the sub-blocks up to the
// terminator. When the data end first, the sub-block they cut is shortened
// to what remains and a terminator is added (data that end before the
// minimum code size byte get minimumCodeSize), so that the frame is written
// back whole. Returns false when the data ended before the terminator.
bool CopyImageData(TByteReader& r, AnsiString& data, int minimumCodeSize) {
  PutByte(data, r.AtEnd() ? unsigned(minimumCodeSize) : r.Byte());
  while (!r.AtEnd()) {
    const uint8_t length = r.Byte();
    if (length == 0) {
      PutByte(data, 0);
      return true;
    }
    const size_t n = std::min<size_t>(length, r.Remaining());
    if (n == 0) break;
    PutByte(data, unsigned(n));
    data += r.Bytes(n);
    if (n < length) break;
  }
  PutByte(data, 0);
  return false;
}

}  // namespace

// ---- colour tables ------------------------------------------------------

TColor TGIFColorTable::ColorAt(int index) const {
  const size_t i = size_t(index) * 3;
  return RGB(Colors[i], Colors[i + 1], Colors[i + 2]);
}

int GifColorCountToBits(int count) {
  for (int bits = 1; bits <= 8; ++bits)
    if (count == 1 << bits) return bits;
  throw EInvalidGraphicOperation(ImagingText::GifBadColorCount);
}

int FindGifColorIndex(const TGIFColorTable& table, TColor color) {
  if (color == clNone) return -1;
  const TColor rgb = ColorToRGB(color);
  for (int i = 0; i < table.Count; ++i)
    if (table.ColorAt(i) == rgb) return i;
  return -1;
}

uint8_t TExtension::Label() const {
  static constexpr uint8_t kLabels[] = {0xF9, 0x01, 0xFF, 0xFE};
  return kLabels[Kind];
}

// ---- frames -------------------------------------------------------------

TGIFFrame::TGIFFrame(TGIFImage* owner) : owner_(owner), item_(std::make_shared<TGIFItem>()) {}
TGIFFrame::~TGIFFrame() = default;

int TGIFFrame::Width() const {
  return HasCompressedData() ? item_->Size.cx : bitmap_ ? bitmap_->Width() : 0;
}
int TGIFFrame::Height() const {
  return HasCompressedData() ? item_->Size.cy : bitmap_ ? bitmap_->Height() : 0;
}

TBitmap* TGIFFrame::Bitmap() {
  if (!bitmap_) {
    bitmap_ = std::make_unique<TBitmap>();
    if (HasCompressedData()) {
      try {
        WithMemoryGuard([&] { Decode(); });
      } catch (...) {
        bitmap_.reset();
        throw;
      }
    }
  }
  return bitmap_.get();
}

void TGIFFrame::Decode() {
  const TGIFItem& item = *item_;
  const int width = item.Size.cx, height = item.Size.cy;
  const uint64_t area = uint64_t(width) * uint64_t(height);
  if (area > kMaxGifPicturePixels) RaiseOutOfMemory();
  const int bits = item.BitsPerPixel ? item.BitsPerPixel : 8;
  bool damaged = false;
  const TIndexBuffer indexes =
      DecodeGifIndexes(reinterpret_cast<const uint8_t*>(item.ImageData.data()), item.ImageData.size(), area,
                       bits, Corrupted, damaged, owner_ ? owner_->ProgressReporter(true) : nullptr);
  if (damaged) Corrupted = true;
  // Pixels the data leave out show index 0, but the pictures' memory follows
  // what the data decode to, not the sizes the frames claim.
  SpendMissingPixels(area - indexes.Size());
  const int depth = bits == 1 ? 1 : bits <= 4 ? 4 : 8;
  auto colors = std::make_shared<TLogPalette>();
  uint32_t palette[256];
  for (int i = 0; i < 256; ++i) {
    const TColor c = i < item.Colors.Count ? item.Colors.ColorAt(i) : RGB(128, 128, 128);
    palette[i] = 0xFF000000u | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 |
                 uint32_t(GetBValue(c));
    if (i < 1 << depth) colors->Entries.push_back(c);
  }
  bitmap_->SetPixelFormat(depth == 1 ? pf1bit : depth == 4 ? pf4bit : pf8bit);
  bitmap_->SetPalette(std::move(colors));
  if (area == 0) return;  // a frame of no pixels is an empty picture
  bitmap_->SetSize(width, height);
  if (bitmap_->Width() != width || bitmap_->Height() != height) RaiseOutOfMemory();
  PlaceDecodedRows(indexes, width, height, Interlaced, [&](int y, const uint8_t* src, size_t count) {
    auto* row = static_cast<uint32_t*>(bitmap_->ScanLine(y));
    for (size_t x = 0; x < count; ++x) row[x] = palette[src[x]];
    std::fill(row + count, row + width, palette[0]);
  });
}

void TGIFFrame::SpendMissingPixels(uint64_t missing) {
  uint64_t ownAllowance = kMaxMissingPixels;
  uint64_t& left = owner_ ? owner_->missingPixelsLeft_ : ownAllowance;
  if (missing > left) throw EInvalidGraphicOperation(ImagingText::GifBadData);
  left -= missing;
}

void TGIFFrame::Reset() {
  item_ = std::make_shared<TGIFItem>();
  bitmap_.reset();
  TransparentColor = clNone;
}

void TGIFFrame::Assign(const TGIFFrame& source) {
  if (&source == this) return;
  item_ = source.item_;
  LocalColors = source.LocalColors;
  TopLeft = source.TopLeft;
  Interlaced = source.Interlaced;
  bitmap_.reset();
  if (source.bitmap_) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(*source.bitmap_);
  }
  TransparentColor = source.TransparentColor;
  AnimateInterval = source.AnimateInterval;
  DisposalMethod = source.DisposalMethod;
  Grayscale = source.Grayscale;
  Corrupted = source.Corrupted;
  extensions_.clear();
  for (const auto& ext : source.extensions_) extensions_.push_back(std::make_unique<TExtension>(*ext));
  if (owner_) owner_->RecalcScreenSize();
}

void TGIFFrame::Assign(const TGraphic* source) {
  if (auto* gif = dynamic_cast<const TGIFImage*>(source)) {
    if (gif->FrameCount() > 0) {
      Assign(gif->Frames(std::max(gif->FrameIndex(), 0)));
      return;
    }
    source = nullptr;
  }
  // The source may be the frame's own bitmap: it is kept until it is copied.
  const std::unique_ptr<TBitmap> previous = std::move(bitmap_);
  Reset();
  if (source && !source->Empty()) {
    bitmap_ = std::make_unique<TBitmap>();
    if (auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
      bitmap_->Assign(*bitmap);
      if (bitmap->Transparent()) TransparentColor = ColorToRGB(bitmap->TransparentColor());
    } else {
      bitmap_->SetSize(source->Width(), source->Height());
      TCanvas* canvas = bitmap_->Canvas();
      canvas->FillRect(Rect(0, 0, source->Width(), source->Height()));
      source->Draw(*canvas, Rect(0, 0, source->Width(), source->Height()));
      if (source->Transparent()) TransparentColor = ColorToRGB(canvas->Brush().Color());
    }
  }
  if (owner_) owner_->RecalcScreenSize();
}

void TGIFFrame::AssignTo(TGraphic& dest) {
  TBitmap picture;
  picture.Assign(*Bitmap());
  if (TransparentColor != clNone) {
    picture.SetTransparent(true);
    picture.SetTransparentColor(TransparentColor);
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(&dest))
    bitmap->Assign(picture);
  else if (auto* icon = dynamic_cast<TIcon*>(&dest))
    icon->AssignBitmap(picture);
  else if (auto* gif = dynamic_cast<TGIFImage*>(&dest))
    gif->Assign(*this);
  else
    throw EConvertError(Format("Cannot assign a %s to a %s", ClassName(), dest.ClassName()));
}

void TGIFFrame::Draw(TCanvas& canvas, const TRect& r, bool transparent) {
  TBitmap* bitmap = Bitmap();
  DrawTransparentBitmapRect(canvas, *bitmap, r.Left, r.Top, r.Width(), r.Height(), 0, 0, 0, 0,
                            transparent ? TransparentColor : clNone);
}

// Takes delay, transparency and disposal from the graphic control extensions.
void TGIFFrame::ApplyGraphicControl() {
  for (const auto& ext : extensions_) {
    if (ext->Kind != ekGraphicControl || ext->Fixed.size() < 6) continue;
    const auto* b = reinterpret_cast<const uint8_t*>(ext->Fixed.data());
    if (b[1] & 1) TransparentColor = b[4] < item_->Colors.Count ? item_->Colors.ColorAt(b[4]) : clNone;
    AnimateInterval = std::max<uint32_t>(uint32_t(b[2] | b[3] << 8) * 10, AnimateInterval);
    DisposalMethod = uint8_t((b[1] & 0x1C) >> 2);
  }
}

// Encodes the bitmap when there are no compressed data, then settles which
// colour table the frame is written with, brings the graphic control
// extension up to date and drops empty comments.
void TGIFFrame::PrepareForWriting() {
  if (!HasCompressedData()) {
    if (!bitmap_ || bitmap_->Empty()) throw EInvalidGraphicOperation(ImagingText::GifNoData);
    if (bitmap_->Width() > kMaxGifSide || bitmap_->Height() > kMaxGifSide)
      throw EInvalidGraphicOperation(ImagingText::GifEncodeError);
    const TReducedBitmap reduced =
        ReduceBitmap(*bitmap_, pf8bit, Grayscale ? cmGrayscale : DefaultColorMapping);
    auto item = std::make_shared<TGIFItem>();
    item->Colors.Count = 1 << reduced.BitCount;
    for (int i = 0; i < item->Colors.Count; ++i) {
      item->Colors.Colors[size_t(i) * 3] = reduced.Palette[size_t(i)].Red;
      item->Colors.Colors[size_t(i) * 3 + 1] = reduced.Palette[size_t(i)].Green;
      item->Colors.Colors[size_t(i) * 3 + 2] = reduced.Palette[size_t(i)].Blue;
    }
    item->ImageData = EncodeGifCodeStream(reduced.Indexes.data(), reduced.Width, reduced.Height,
                                          reduced.BitCount, Interlaced, owner_->ProgressReporter(false));
    item->BitsPerPixel = uint8_t(BitsCovering(item->Colors.Count));
    item->Size = TSize{reduced.Width, reduced.Height};
    item_ = item;
    LocalColors = false;
    owner_->GrowScreenSize(*this);
  }
  MatchColorTable();
  UpdateGraphicControl();
  std::erase_if(extensions_, [](const auto& ext) { return ext->Kind == ekComment && ext->Data.empty(); });
}

// A frame that uses the global table is written with the colours it was
// decoded or encoded with: an image without a global table takes the frame's
// table as its own, and a frame whose table differs from the image's (one
// taken from another image) is given a table of its own.
void TGIFFrame::MatchColorTable() {
  const TGIFColorTable& colors = item_->Colors;
  if (LocalColors || colors.Count == 0) return;
  TGIFData& data = owner_->Data();
  if (data.Colors.Count == 0) {
    data.Colors = colors;
    data.BitsPerPixel = item_->BitsPerPixel;
  } else {
    LocalColors = colors.Count != data.Colors.Count ||
                  !MemoryEquals(colors.Colors.data(), data.Colors.Colors.data(), size_t(colors.Count) * 3);
  }
}

void TGIFFrame::UpdateGraphicControl() {
  auto isControl = [](const auto& ext) { return ext->Kind == ekGraphicControl && ext->Fixed.size() >= 6; };
  const bool needed = AnimateInterval || TransparentColor != clNone || DisposalMethod;
  if (needed && std::none_of(extensions_.begin(), extensions_.end(), isControl)) {
    auto ext = std::make_unique<TExtension>();
    ext->Fixed = AnsiString("\x04\0\0\0\0\0", 6);
    extensions_.insert(extensions_.begin(), std::move(ext));
  }
  const uint32_t delay = std::min(AnimateInterval / 10, kMaxDelay);
  for (auto& ext : extensions_) {
    if (!isControl(ext)) continue;
    AnsiString& b = ext->Fixed;
    uint8_t packed = uint8_t(b[1]);
    b[2] = char(delay & 0xFF);
    b[3] = char(delay >> 8);
    // A table may hold the transparent colour more than once: the index the
    // frame was read with stays while it still has that colour.
    const int own = uint8_t(b[4]);
    const bool keepOwn = (packed & 1) && own < item_->Colors.Count && TransparentColor != clNone &&
                         item_->Colors.ColorAt(own) == ColorToRGB(TransparentColor);
    const int index = keepOwn ? own : FindGifColorIndex(item_->Colors, TransparentColor);
    if (index >= 0) {
      packed |= 1;
      b[4] = char(index);
    } else {
      packed &= 0xFE;
    }
    b[1] = char((packed & 0xE3) | ((DisposalMethod & 7) << 2));
  }
}

// ---- image --------------------------------------------------------------

TGIFImage::TGIFImage() : data_(std::make_shared<TGIFData>()), missingPixelsLeft_(kMaxMissingPixels) {
  transparent_ = true;
}
TGIFImage::~TGIFImage() = default;

void TGIFImage::Clear() {
  data_ = std::make_shared<TGIFData>();
  frames_.clear();
  frameIndex_ = -1;
  missingPixelsLeft_ = kMaxMissingPixels;
  BackgroundColor = clNone;
  Looping = false;
  RepeatCount = 1;
  Version = 0;
  ScreenWidth = ScreenHeight = 0;
}

TGIFFrame& TGIFImage::Frames(int index) const {
  if (index < 0 || index >= FrameCount())
    throw EListError(Format("List index out of bounds (%d)", index));
  return *frames_[size_t(index)];
}

void TGIFImage::SetFrameIndex(int index) {
  Frames(index);
  frameIndex_ = index;
  Changed();
}

int TGIFImage::Width() const {
  return frameIndex_ >= 0 ? frames_[size_t(frameIndex_)]->Bitmap()->Width() : 0;
}

int TGIFImage::Height() const {
  return frameIndex_ >= 0 ? frames_[size_t(frameIndex_)]->Bitmap()->Height() : 0;
}

bool TGIFImage::Empty() const { return frameIndex_ < 0 || !frames_[size_t(frameIndex_)]->HasCompressedData(); }

HPALETTE TGIFImage::Palette() const {
  return frameIndex_ >= 0 ? frames_[size_t(frameIndex_)]->Bitmap()->Palette() : nullptr;
}

TCodecProgress TGIFImage::ProgressReporter(bool withStartAndEnd) const {
  if (!OnProgress) return nullptr;
  return [this, withStartAndEnd](TProgressStage stage, int percentDone, const AnsiString& message) {
    if (withStartAndEnd || stage == psRunning) Progress(stage, percentDone, message);
  };
}

bool TGIFImage::Transparent() const {
  return std::any_of(frames_.begin(), frames_.end(),
                     [](const auto& f) { return f->TransparentColor != clNone; });
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& r) const {
  // The image is transparent when some frame is; the current frame then
  // draws with its own transparent colour, which only it can tell. Asking
  // every frame at each draw would make showing all frames quadratic.
  if (frameIndex_ >= 0) frames_[size_t(frameIndex_)]->Draw(canvas, r, true);
}

void TGIFImage::SetWidth(int) { throw EInvalidGraphicOperation(ImagingText::GifCannotResize); }
void TGIFImage::SetHeight(int) { throw EInvalidGraphicOperation(ImagingText::GifCannotResize); }

void TGIFImage::LoadFromStream(TStream& stream) { ReadGifStream(ReadRestOfStream(stream), true); }

void TGIFImage::SaveToStream(TStream& stream) const {
  // Writing encodes frames that have only a bitmap, which updates them.
  const_cast<TGIFImage*>(this)->WriteGifStream(stream, false);
}

void TGIFImage::ReadData(TStream& stream) {
  AnsiString bytes = ReadRestOfStream(stream);
  TByteReader r(bytes);
  const uint32_t size = r.DWord();
  ReadGifStream(r.Bytes(size), true);
  ReturnUnread(stream, r);
}

void TGIFImage::WriteData(TStream& stream) const {
  const_cast<TGIFImage*>(this)->WriteGifStream(stream, true);
}

std::unique_ptr<TGraphic> TGIFImage::Clone() const {
  auto copy = std::make_unique<TGIFImage>();
  copy->Assign(this);
  return copy;
}

TBitmap* TGIFImage::Bitmap() {
  if (frames_.empty()) {
    TBitmap empty;
    AddFrame(&empty);
  }
  return frames_[size_t(std::max(frameIndex_, 0))]->Bitmap();
}

int TGIFImage::AddFrame(const TGraphic* graphic) {
  frames_.push_back(std::make_unique<TGIFFrame>(this));
  frameIndex_ = FrameCount() - 1;
  frames_.back()->Assign(graphic);
  if (Version == 0) Version = 1;
  if (FrameCount() > 1) Version = 2;
  Changed();
  return frameIndex_;
}

void TGIFImage::RecalcScreenSize() {
  ScreenWidth = ScreenHeight = 0;
  for (const auto& f : frames_) GrowScreenSize(*f);
}

void TGIFImage::GrowScreenSize(const TGIFFrame& frame) {
  ScreenWidth = std::min(kMaxGifSide, std::max(ScreenWidth, frame.TopLeft.X + frame.Width()));
  ScreenHeight = std::min(kMaxGifSide, std::max(ScreenHeight, frame.TopLeft.Y + frame.Height()));
}

void TGIFImage::Assign(const TGraphic* source) {
  if (source == this) return;
  if (auto* gif = dynamic_cast<const TGIFImage*>(source)) {
    Clear();
    data_ = gif->data_;
    Version = gif->Version;
    BackgroundColor = gif->BackgroundColor;
    RepeatCount = gif->RepeatCount;
    Looping = gif->Looping;
    for (const auto& f : gif->frames_) {
      frames_.push_back(std::make_unique<TGIFFrame>(this));
      frames_.back()->Assign(*f);
    }
    ScreenWidth = gif->ScreenWidth;
    ScreenHeight = gif->ScreenHeight;
    frameIndex_ = gif->frameIndex_;
    Changed();
    return;
  }
  // The source may be a frame's bitmap: the frames live until it is copied.
  const auto previous = std::move(frames_);
  Clear();
  if (source) AddFrame(source);
  Changed();
}

void TGIFImage::Assign(const TGIFFrame& frame) {
  // The frame may be one of this image's own, which clearing frees.
  auto copy = std::make_unique<TGIFFrame>(nullptr);
  copy->Assign(frame);
  const std::shared_ptr<TGIFData> ownerData = frame.Owner() ? frame.Owner()->data_ : nullptr;
  Clear();
  if (ownerData) {
    data_->AspectRatio = ownerData->AspectRatio;
    data_->BitsPerPixel = ownerData->BitsPerPixel;
    data_->ColorResolution = ownerData->ColorResolution;
  }
  Version = 1;
  copy->owner_ = this;
  frames_.push_back(std::move(copy));
  frameIndex_ = 0;
  RecalcScreenSize();
  Changed();
}

void TGIFImage::Assign(const TAnimatedCursorImage& cursor) {
  if (cursor.PixelsOfAllSteps() > kMaxCursorPixels) RaiseInvalidBitmap();
  Clear();
  for (int i = 0; i < cursor.FrameCount(); ++i) {
    const TIconFrame& source = cursor.Frames(i);
    AddFrame(source.Icon.get());
    frames_.back()->AnimateInterval = uint32_t(std::min<uint64_t>(uint64_t(source.Rate) * 100 / 6, UINT32_MAX));
  }
  Changed();
}

void TGIFImage::AssignTo(TGraphic& dest) const {
  if (auto* gif = dynamic_cast<TGIFImage*>(&dest)) {
    gif->Assign(this);
    return;
  }
  // A frame that has only a bitmap counts as empty, but its picture is given.
  const TGIFFrame* frame = frameIndex_ >= 0 ? frames_[size_t(frameIndex_)].get() : nullptr;
  if (!frame || (Empty() && (!frame->bitmap_ || frame->bitmap_->Empty()))) {
    const TBitmap none;
    if (auto* bitmap = dynamic_cast<TBitmap*>(&dest)) bitmap->Assign(none);
    if (auto* icon = dynamic_cast<TIcon*>(&dest)) icon->AssignBitmap(none);
    return;
  }
  frames_[size_t(frameIndex_)]->AssignTo(dest);
}

// ---- reading ------------------------------------------------------------

void TGIFImage::ReadGifStream(const AnsiString& bytes, bool decodeFirst) {
  Clear();
  TByteReader r(bytes);
  WithProgress(ProgressReporter(true), [&] { WithMemoryGuard([&] { ReadGif(r); }); });
  if (!frames_.empty()) {
    frameIndex_ = 0;
    if (decodeFirst) DecodeFirstFrame();
  }
  Changed();
}

void TGIFImage::ReadGif(TByteReader& r) {
  if (!SameText(r.Bytes(3), "GIF")) throw EInvalidGraphicOperation(ImagingText::GifUnknownVersion);
  const AnsiString version = r.Bytes(3);
  if (SameText(version, "87a"))
    Version = 1;
  else if (SameText(version, "89a"))
    Version = 2;
  else
    throw EInvalidGraphicOperation(ImagingText::GifUnknownVersion);
  ScreenWidth = r.Word();
  ScreenHeight = r.Word();
  const uint8_t packed = r.Byte();
  const uint8_t background = r.Byte();
  data_->AspectRatio = r.Byte();
  data_->BitsPerPixel = uint8_t((packed & 7) + 1);
  data_->ColorResolution = uint8_t(((packed & 0x70) >> 4) + 1);
  if (packed & 0x80) {
    ReadColorTable(r, data_->Colors, data_->BitsPerPixel);
    if (background < data_->Colors.Count) BackgroundColor = data_->Colors.ColorAt(background);
  }
  try {
    ReadBlocks(r);
  } catch (const EReadError&) {
    // A file cut short keeps the frames read before the cut.
    if (!GifLoadCorrupted || frames_.empty()) throw;
  }
}

void TGIFImage::ReadBlocks(TByteReader& r) {
  std::vector<std::unique_ptr<TExtension>> pending;
  int block = NextBlock(r);
  while (block != 0 && block != ';') {
    while (block == '!') {
      std::unique_ptr<TExtension> ext = ReadGifExtension(r);
      if (ext->Kind == ekPlainText) pending.clear();
      if (ext->Kind == ekGraphicControl || ext->Kind == ekComment) {
        pending.push_back(std::move(ext));
      } else if (IsLoopExtension(*ext)) {
        Looping = true;
        const auto* d = reinterpret_cast<const uint8_t*>(ext->Data[0].data());
        RepeatCount = std::min(d[1] | d[2] << 8, kMaxRepeatCount);
      }
      block = NextBlock(r);
    }
    if (block == ',') {
      ReadFrame(r, std::move(pending));
      pending.clear();
      Progress(psRunning, int(r.Position() * 100 / r.Size()));
      block = NextBlock(r);
      continue;
    }
    for (const auto& ext : pending) {
      if (ext->Kind != ekComment) continue;
      if (Comment().Count() > 0) Comment().Add(kCommentSeparator);
      for (const AnsiString& line : ext->Data) Comment().Add(line);
    }
    pending.clear();
    if (block != 0 && block != ';') RaiseStreamReadError();
  }
}

void TGIFImage::ReadFrame(TByteReader& r, std::vector<std::unique_ptr<TExtension>> extensions) {
  auto frame = std::make_unique<TGIFFrame>(this);
  frame->extensions_ = std::move(extensions);
  TGIFItem& item = *frame->item_;
  const int left = r.Word(), top = r.Word();
  int width = r.Word(), height = r.Word();
  const uint8_t packed = r.Byte();
  frame->Interlaced = packed & 0x40;
  frame->LocalColors = packed & 0x80;
  if (frame->LocalColors) {
    item.BitsPerPixel = uint8_t((packed & 7) + 1);
    ReadColorTable(r, item.Colors, item.BitsPerPixel);
  } else {
    item.Colors = data_->Colors;
    item.BitsPerPixel = data_->BitsPerPixel;
  }
  frame->Corrupted = !CopyImageData(r, item.ImageData, std::max<int>(item.BitsPerPixel, 2));
  if (frame->Corrupted && !GifLoadCorrupted) RaiseStreamReadError();
  if (width == 0) width = ScreenWidth;
  if (height == 0) height = ScreenHeight;
  // No frame gets more pixels than its data could decode to (decoding tells
  // how many they do): a cut one ends the file there, any other is damaged.
  if (uint64_t(width) * uint64_t(height) > MaxDecodedPixels(item.ImageData.size())) {
    if (frame->Corrupted) RaiseStreamReadError();
    throw EInvalidGraphicOperation(ImagingText::GifBadData);
  }
  frame->TopLeft = Point(left, top);
  item.Size = TSize{width, height};
  item.PackedFields = packed;
  frame->ApplyGraphicControl();
  frames_.push_back(std::move(frame));
}

void TGIFImage::DecodeFirstFrame() {
  try {
    frames_.front()->Bitmap();
  } catch (...) {
    frames_.erase(frames_.begin());
    frameIndex_ = frames_.empty() ? -1 : 0;
    throw;
  }
}

// ---- writing ------------------------------------------------------------

bool TGIFImage::HasExtensions() const {
  if (data_->Comment.Count() > 0 || (Looping && frames_.size() > 1)) return true;
  return std::any_of(frames_.begin(), frames_.end(), [](const auto& f) { return !f->extensions_.empty(); });
}

AnsiString TGIFImage::BuildFile() {
  if (HasExtensions()) Version = 2;
  AnsiString out = Version == 2 ? "GIF89a" : "GIF87a";
  PutWord(out, unsigned(ScreenWidth));
  PutWord(out, unsigned(ScreenHeight));
  const TGIFColorTable& global = data_->Colors;
  if (global.Count > 0) {
    const int bits = GifColorCountToBits(global.Count);
    PutByte(out, 0x80 + ((bits - 1) << 4) + (bits - 1));
    PutByte(out, unsigned(std::max(FindGifColorIndex(global, BackgroundColor), 0)));
  } else {
    PutByte(out, 0);
    PutByte(out, 0);
  }
  PutByte(out, data_->AspectRatio);
  WriteColorTable(out, global);
  if (Looping && frames_.size() > 1) {
    out += AnsiString("!\xFF\x0bNETSCAPE2.0\x03\x01", 16);
    PutWord(out, unsigned(std::min(RepeatCount, kMaxRepeatCount)));
    PutByte(out, 0);
  }
  for (const auto& f : frames_) {
    for (const auto& ext : f->extensions_) WriteGifExtension(out, *ext);
    const TGIFItem& item = *f->item_;
    PutByte(out, ',');
    PutWord(out, unsigned(f->TopLeft.X));
    PutWord(out, unsigned(f->TopLeft.Y));
    PutWord(out, unsigned(item.Size.cx));
    PutWord(out, unsigned(item.Size.cy));
    unsigned packed = f->Interlaced ? 0x40 : 0;
    if (f->LocalColors) packed |= 0x80 + unsigned(GifColorCountToBits(item.Colors.Count) - 1);
    PutByte(out, packed);
    if (f->LocalColors) WriteColorTable(out, item.Colors);
    out += item.ImageData;
  }
  if (Comment().Count() > 0) {
    TExtension comment;
    comment.Kind = ekComment;
    for (int i = 0; i < Comment().Count(); ++i) comment.Data.push_back(Comment()[i]);
    WriteGifExtension(out, comment);
  }
  PutByte(out, ';');
  return out;
}

void TGIFImage::WriteGifStream(TStream& stream, bool withSize) {
  if (frames_.empty()) throw EInvalidGraphicOperation(ImagingText::GifNoData);
  AnsiString file;
  WithProgress(ProgressReporter(true), [&] {
    WithMemoryGuard([&] {
      for (const auto& f : frames_) f->PrepareForWriting();
      file = BuildFile();
    });
  });
  if (withSize) {
    AnsiString size;
    PutDWord(size, uint32_t(file.size()));
    WriteBytes(stream, size);
  }
  WriteBytes(stream, file);
}

// ---- clipboard and registration ----------------------------------------

void TGIFImage::SaveToClipboardFormat() const {
  if (frames_.empty()) return;
  TClipboard* clipboard = Clipboard();
  clipboard->Open();
  try {
    clipboard->AssignBitmap(*frames_.front()->Bitmap());
    if (std::all_of(frames_.begin(), frames_.end(), [](const auto& f) { return f->HasCompressedData(); })) {
      TStringStream gif;
      WriteData(gif);
      const AnsiString& bytes = gif.DataString();
      HGLOBAL block = AllocZeroedGlobal(int64_t(bytes.size()));
      std::copy(bytes.begin(), bytes.end(), static_cast<char*>(GlobalLock(block)));
      GlobalUnlock(block);
      clipboard->SetData(GifClipboardFormat, GlobalBytes(block));
      FreeGlobalAndClear(block);
    }
  } catch (...) {
    clipboard->Close();
    throw;
  }
  clipboard->Close();
}

void TGIFImage::LoadFromClipboardFormat() {
  TClipboard* clipboard = Clipboard();
  if (GifClipboardFormat && clipboard->HasFormat(GifClipboardFormat)) {
    TStringStream data(clipboard->GetData(GifClipboardFormat));
    AnsiString bytes = ReadRestOfStream(data);
    TByteReader r(bytes);
    const uint32_t size = r.DWord();
    ReadGifStream(r.Bytes(size), false);
    TBitmap picture;
    if (!frames_.empty() && clipboard->GetBitmap(picture)) {
      frames_.front()->bitmap_ = std::make_unique<TBitmap>();
      frames_.front()->bitmap_->Assign(picture);
    }
    return;
  }
  TBitmap picture;
  if (clipboard->GetBitmap(picture)) Assign(&picture);
}

void RegisterGifImage() {
  static bool done = false;
  if (done) return;
  done = true;
  GifClipboardFormat = RegisterClipboardFormat("GIF Image");
  RegisterClass("TGIFFrame", [] { return std::make_unique<TGIFFrame>(nullptr); });
  RegisterClass("TGIFImage", [] { return std::make_unique<TGIFImage>(); });
  auto factory = [] { return std::make_unique<TGIFImage>(); };
  TPicture::RegisterFileFormat("gif", ImagingText::GifFileDescription, "TGIFImage", factory);
  TPicture::RegisterClipboardFormat(GifClipboardFormat, factory);
}

void UnregisterGifImage() { TPicture::UnregisterFileFormat("gif"); }
