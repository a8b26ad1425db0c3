// TAnimatedCursorImage reads animated cursor files (RIFF form "ACON") into a
// list of frames, one per step, each an icon with its display rate (in
// jiffies, 1/60 s) and its place in the sequence ("seq ", before or after the
// frame list; rates and sequence also before the header), plus the file's
// title and creator. Frames that show the same icon share it, and so do the
// icons of a copy or of an icon list made from the steps. Writing is not
// supported. Anything that is not
// a RIFF "ACON" stream, or whose chunks run past the data, raises EReadError
// ("Stream read error"); icon data that cannot be decoded raise the icon's error.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/IconFile.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"

class TIconList;

// The most pixels a picture of all steps may have (a strip of them, or the
// frames of a GIF image): steps that show one icon must not multiply memory.
constexpr int64_t kMaxCursorPixels = int64_t(1) << 26;

// The "anih" record as stored: nine 32-bit little-endian values.
struct TAniHeader {
  uint32_t HeaderSize = 0;
  uint32_t FrameCount = 0;
  uint32_t StepCount = 0;
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t BitCount = 0;
  uint32_t Planes = 0;
  uint32_t DefaultRate = 0;
  uint32_t Flags = 0;
};

class TIconFrame : public TPersistent {
 public:
  TIconFrame(int index, uint32_t rate) : Index(index), Rate(rate) {}
  AnsiString ClassName() const override { return "TIconFrame"; }
  void Assign(const TIconFrame& source);

  std::shared_ptr<TIcon> Icon;
  bool IsIcon = false;
  uint32_t ResourceSize = 0;  // from the icon's directory entry
  uint32_t ImageOffset = 0;   // from the icon's directory entry
  TPoint HotSpot;
  int Index;                  // place in the sequence; -1 for an icon no step refers to
  uint32_t Rate;              // jiffies
};

class TAnimatedCursorImage : public TPersistent {
 public:
  TAnimatedCursorImage() = default;
  TAnimatedCursorImage(const TAnimatedCursorImage&) = delete;
  TAnimatedCursorImage& operator=(const TAnimatedCursorImage&) = delete;
  AnsiString ClassName() const override { return "TAnimatedCursorImage"; }

  const TAniHeader& Header() const { return header_; }
  const AnsiString& Title() const { return title_; }
  const AnsiString& Creator() const { return creator_; }
  int FrameCount() const { return int(frames_.size()); }
  TIconFrame& Frames(int index) const;
  int ColorCount() const { return colorCount_; }

  void Assign(const TAnimatedCursorImage& source);
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const AnsiString& fileName);
  // Not supported: shows the not-implemented message and aborts.
  [[noreturn]] void SaveToStream(TStream& stream) const;
  void ReadAniStream(const AnsiString& bytes);

  // The pixels of all steps' icons together.
  int64_t PixelsOfAllSteps() const;

  // The first frame's icon (nothing without frames).
  void AssignTo(TIcon& icon) const;
  // A strip of all frames over the bitmap's brush colour (nothing without frames).
  void AssignTo(TBitmap& bitmap) const;
  // Every frame's icon, in order, inside one update bracket.
  void AssignTo(TIconList& list) const;
  // All frames side by side (or one below the other) over backColor, each
  // cell of the first icon's size; with decreaseColors the strip is reduced
  // to max(ColorCount, 16) colours.
  void AssignToBitmap(TBitmap& bitmap, TColor backColor, bool decreaseColors, bool vertical) const;

 private:
  void Clear();
  void ReadList(const AnsiString& list, std::vector<TIconFileImage>& icons);
  // A "rate" or "seq " chunk's values, given to the steps in order.
  void ApplySteps(const AnsiString& id, const AnsiString& values);
  void AddIcon(TIconFileImage& image, int ordinal);

  TAniHeader header_;
  AnsiString title_;
  AnsiString creator_;
  std::vector<std::unique_ptr<TIconFrame>> frames_;
  int colorCount_ = 0;
};
