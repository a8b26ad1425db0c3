#include "imaging/AniFile.h"

#include <algorithm>

#include "imaging/ByteReader.h"
#include "imaging/ColorReduction.h"
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"

namespace {

// More frames than any real cursor has; a larger count is a damaged file.
constexpr uint32_t kMaxAniFrames = 4096;

struct TChunk {
  AnsiString Id;
  AnsiString Data;
};

// Reads one chunk (identifier, size, data, pad byte to an even length).
TChunk ReadChunk(TByteReader& r) {
  TChunk chunk;
  chunk.Id = r.Bytes(4);
  const uint32_t size = r.DWord();
  chunk.Data = r.Bytes(size);
  if (size % 2 && !r.AtEnd()) r.Skip(1);
  return chunk;
}

AnsiString ZeroTerminated(const AnsiString& s) {
  return s.substr(0, std::min<size_t>(s.find('\0'), 255));
}

}  // namespace

void TIconFrame::Assign(const TIconFrame& source) {
  Icon = source.Icon ? std::shared_ptr<TIcon>(CopyIcon(*source.Icon)) : nullptr;
  IsIcon = source.IsIcon;
  ResourceSize = source.ResourceSize;
  ImageOffset = source.ImageOffset;
  HotSpot = source.HotSpot;
  Index = source.Index;
  Rate = source.Rate;
}

TIconFrame& TAnimatedCursorImage::Frames(int index) const {
  if (index < 0 || index >= FrameCount())
    throw EListError(Format("List index out of bounds (%d)", index));
  return *frames_[size_t(index)];
}

void TAnimatedCursorImage::Clear() {
  header_ = TAniHeader();
  title_.clear();
  creator_.clear();
  frames_.clear();
  colorCount_ = 0;
}

void TAnimatedCursorImage::Assign(const TAnimatedCursorImage& source) {
  if (&source == this) return;
  Clear();
  header_ = source.header_;
  title_ = source.title_;
  creator_ = source.creator_;
  colorCount_ = source.colorCount_;
  for (const auto& frame : source.frames_) {
    auto copy = std::make_unique<TIconFrame>(frame->Index, frame->Rate);
    copy->Assign(*frame);
    frames_.push_back(std::move(copy));
  }
}

void TAnimatedCursorImage::LoadFromStream(TStream& stream) {
  WithMemoryGuard([&] { ReadAniStream(ReadRestOfStream(stream)); });
}

void TAnimatedCursorImage::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
  LoadFromStream(stream);
}

void TAnimatedCursorImage::SaveToStream(TStream&) const { ShowNotImplemented(); }

void TAnimatedCursorImage::ReadAniStream(const AnsiString& bytes) {
  TByteReader r(bytes);
  if (r.Remaining() < 12 || r.Bytes(4) != "RIFF") RaiseStreamReadError();
  r.DWord();
  if (r.Bytes(4) != "ACON") RaiseStreamReadError();
  Clear();
  std::vector<TIconFileImage> icons;
  std::vector<TChunk> steps;
  while (r.Remaining() >= 8) {
    TChunk chunk = ReadChunk(r);
    if (chunk.Id == "anih") {
      TByteReader data(chunk.Data);
      data.Read(&header_, sizeof header_);
      // One frame per step: without a sequence, step i shows icon i.
      const uint32_t count = std::max(header_.FrameCount, header_.StepCount);
      if (count > kMaxAniFrames - frames_.size()) RaiseStreamReadError();
      for (uint32_t i = 0; i < count; ++i)
        frames_.push_back(std::make_unique<TIconFrame>(int(i), header_.DefaultRate));
    } else if (chunk.Id == "rate" || chunk.Id == "seq ") {
      steps.push_back(std::move(chunk));
    } else if (chunk.Id == "LIST") {
      ReadList(chunk.Data, icons);
    }
  }
  // Rates, sequence and icons go to the steps once every chunk is read: they
  // may stand before the header or after the frame list.
  for (const TChunk& chunk : steps) ApplySteps(chunk.Id, chunk.Data);
  for (size_t ordinal = 0; ordinal < icons.size(); ++ordinal) AddIcon(icons[ordinal], int(ordinal));
  std::erase_if(frames_, [](const auto& frame) { return !frame->Icon; });
}

void TAnimatedCursorImage::ApplySteps(const AnsiString& id, const AnsiString& values) {
  TByteReader data(values);
  for (size_t i = 0; i < frames_.size() && data.Remaining() >= 4; ++i) {
    const uint32_t value = data.DWord();
    if (id == "rate")
      frames_[i]->Rate = value;
    else
      frames_[i]->Index = int(std::min<uint32_t>(value, kMaxAniFrames));
  }
}

void TAnimatedCursorImage::ReadList(const AnsiString& list, std::vector<TIconFileImage>& icons) {
  TByteReader r(list);
  const AnsiString type = r.Bytes(4);
  while (r.Remaining() >= 8) {
    const TChunk sub = ReadChunk(r);
    if (type == "fram" && sub.Id == "icon") {
      if (icons.size() >= kMaxAniFrames) RaiseStreamReadError();
      icons.push_back(ReadIconFile(sub.Data));
      colorCount_ = std::max(colorCount_, icons.back().ColorCount);
    } else if (type == "INFO" && sub.Id == "INAM") {
      title_ = ZeroTerminated(sub.Data);
    } else if (type == "INFO" && sub.Id == "IART") {
      creator_ = ZeroTerminated(sub.Data);
    }
  }
}

void TAnimatedCursorImage::AddIcon(TIconFileImage& image, int ordinal) {
  std::shared_ptr<TIcon> icon(std::move(image.Icon));
  auto give = [&](TIconFrame& frame) {
    frame.Icon = icon;
    frame.IsIcon = image.IsIcon;
    frame.ResourceSize = image.ResourceSize;
    frame.ImageOffset = image.ImageOffset;
    frame.HotSpot = image.HotSpot;
  };
  bool used = false;
  for (auto& frame : frames_)
    if (frame->Index == ordinal) {
      give(*frame);
      used = true;
    }
  if (used) return;
  if (frames_.size() >= kMaxAniFrames) RaiseStreamReadError();
  frames_.push_back(std::make_unique<TIconFrame>(-1, header_.DefaultRate));
  give(*frames_.back());
}

int64_t TAnimatedCursorImage::PixelsOfAllSteps() const {
  int64_t pixels = 0;
  for (const auto& frame : frames_) pixels += int64_t(frame->Icon->Width()) * frame->Icon->Height();
  return pixels;
}

void TAnimatedCursorImage::AssignTo(TIcon& icon) const {
  if (!frames_.empty()) AssignIcon(icon, *frames_.front()->Icon);
}

void TAnimatedCursorImage::AssignTo(TBitmap& bitmap) const {
  if (!frames_.empty()) AssignToBitmap(bitmap, bitmap.Canvas()->Brush().Color(), false, false);
}

void TAnimatedCursorImage::AssignTo(TIconList& list) const {
  list.Update([&] {
    list.Clear();
    for (const auto& frame : frames_) list.Add(CopyIcon(*frame->Icon));
  });
}

void TAnimatedCursorImage::AssignToBitmap(TBitmap& bitmap, TColor backColor, bool decreaseColors,
                                          bool vertical) const {
  if (frames_.empty()) return;
  const int cellW = std::max(1, frames_.front()->Icon->Width());
  const int cellH = std::max(1, frames_.front()->Icon->Height());
  const int n = FrameCount();
  if (int64_t(cellW) * cellH * n > kMaxCursorPixels) RaiseInvalidBitmap();
  bitmap.SetSize(vertical ? cellW : cellW * n, vertical ? cellH * n : cellH);
  TCanvas* canvas = bitmap.Canvas();
  canvas->Brush().SetColor(backColor);
  canvas->FillRect(Rect(0, 0, bitmap.Width(), bitmap.Height()));
  for (int i = 0; i < n; ++i) {
    const TRect cell = vertical ? Bounds(0, i * cellH, cellW, cellH) : Bounds(i * cellW, 0, cellW, cellH);
    frames_[size_t(i)]->Icon->Draw(*canvas, cell);
  }
  if (!decreaseColors) return;
  const int colors = std::max(colorCount_, 16);
  if (colors <= 256)
    ReducedToBitmap(ReduceBitmap(bitmap, colors <= 16 ? pf4bit : pf8bit, DefaultColorMapping), bitmap);
}
