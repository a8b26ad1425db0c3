// TGIFImage reads and writes GIF files (87a and 89a), single-frame and
// animated. Each frame keeps its LZW data as read and decodes them into a
// bitmap only when the bitmap is first needed; a frame that has only a
// bitmap is reduced to 256 colours and encoded when the image is written.
// Reading checks every size against the data: a frame may have any size the
// format can state, but no more pixels than its data could decode to. A
// frame is decoded only if its picture is at most kMaxGifPicturePixels
// (EOutOfMemory before any buffer is made otherwise), and memory grows with
// the pixels its data do decode to: the pixels the frames of one image claim
// beyond what their data hold may come to 16M in all, and a frame that would
// pass that is refused as damaged before its picture is made. Memory that
// cannot be had raises EOutOfMemory; the number of frames is bounded by
// memory alone.
// A file that ends early loads as far as it goes while GifLoadCorrupted is
// set (the cut frame is marked Corrupted and keeps a data terminator), other
// damage raises EReadError or EInvalidGraphicOperation. Saving writes the
// frames' data as read, each with the transparent index it was read with.
// Reading, decoding and writing report OnProgress.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/LzwCodec.h"
#include "platform/graphics/Bitmap.h"

class TAnimatedCursorImage;
class TByteReader;
class TGIFImage;

// The most pixels a decoded frame may have (a picture of 1 GB).
constexpr uint64_t kMaxGifPicturePixels = uint64_t(1) << 28;

struct TGIFColorTable {
  int Count = 0;
  std::array<uint8_t, 768> Colors{};  // red, green, blue per entry
  TColor ColorAt(int index) const;
};

struct TGIFData {
  TStringList Comment;
  uint8_t AspectRatio = 0;
  uint8_t BitsPerPixel = 0;
  uint8_t ColorResolution = 0;
  TGIFColorTable Colors;
};

struct TGIFItem {
  AnsiString ImageData;  // minimum code size byte, sub-blocks, terminator
  TSize Size;
  uint8_t PackedFields = 0;
  uint8_t BitsPerPixel = 0;
  TGIFColorTable Colors;
};

enum TGIFExtensionKind : uint8_t { ekGraphicControl, ekPlainText, ekApplication, ekComment };

class TExtension : public TPersistent {
 public:
  AnsiString ClassName() const override { return "TExtension"; }
  uint8_t Label() const;

  TGIFExtensionKind Kind = ekGraphicControl;
  std::vector<AnsiString> Data;  // one string per data sub-block
  AnsiString Fixed;              // the fixed block bytes, starting with the block size
};

class TGIFFrame : public TPersistent {
 public:
  explicit TGIFFrame(TGIFImage* owner);
  ~TGIFFrame() override;
  AnsiString ClassName() const override { return "TGIFFrame"; }

  TGIFImage* Owner() const { return owner_; }
  // The decoded picture, made on first use.
  TBitmap* Bitmap();
  const TGIFItem& Item() const { return *item_; }
  bool HasCompressedData() const { return !item_->ImageData.empty(); }
  std::vector<std::unique_ptr<TExtension>>& Extensions() { return extensions_; }
  int Width() const;
  int Height() const;

  void Assign(const TGIFFrame& source);
  // A GIF image gives its current frame; an empty graphic or nullptr clears
  // the frame; another graphic becomes its bitmap.
  void Assign(const TGraphic* source);
  void AssignTo(TGraphic& dest);
  void Draw(TCanvas& canvas, const TRect& r, bool transparent);

  TPoint TopLeft;
  bool Interlaced = false;
  bool Corrupted = false;
  bool Grayscale = false;
  TColor TransparentColor = clNone;
  uint32_t AnimateInterval = 0;  // milliseconds
  uint8_t DisposalMethod = 0;
  bool LocalColors = false;

 private:
  friend class TGIFImage;
  void Reset();
  void Decode();
  // Takes the pixels the frame claims beyond what its data hold from its
  // image's allowance; raises when that cannot cover them.
  void SpendMissingPixels(uint64_t missing);
  void ApplyGraphicControl();
  void PrepareForWriting();
  void MatchColorTable();
  void UpdateGraphicControl();

  TGIFImage* owner_;
  std::unique_ptr<TBitmap> bitmap_;
  std::shared_ptr<TGIFItem> item_;
  std::vector<std::unique_ptr<TExtension>> extensions_;
};

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  AnsiString ClassName() const override { return "TGIFImage"; }

  int Width() const override;
  int Height() const override;
  // True without frames or when the current frame has no compressed data.
  bool Empty() const override;
  HPALETTE Palette() const override;
  bool Transparent() const override;
  void Draw(TCanvas& canvas, const TRect& r) const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::unique_ptr<TGraphic> Clone() const override;
  // The size of a GIF image cannot be changed: both raise.
  [[noreturn]] void SetWidth(int width);
  [[noreturn]] void SetHeight(int height);

  // The form-file form: a 32-bit length, then the GIF.
  void ReadData(TStream& stream) override;
  void WriteData(TStream& stream) const override;
  void LoadFromClipboardFormat();
  void SaveToClipboardFormat() const;

  void Assign(const TGraphic* source);
  void Assign(const TGIFFrame& frame);
  void Assign(const TAnimatedCursorImage& cursor);
  void AssignTo(TGraphic& dest) const;
  // Appends a frame holding the graphic, makes it current and returns its index.
  virtual int AddFrame(const TGraphic* graphic);
  void Clear();
  bool Equals(const TGIFImage& other) const { return data_ == other.data_; }

  // The current frame's bitmap; an image without frames gets an empty one first.
  TBitmap* Bitmap();
  int FrameCount() const { return int(frames_.size()); }
  TGIFFrame& Frames(int index) const;
  int FrameIndex() const { return frameIndex_; }
  void SetFrameIndex(int index);
  TGIFData& Data() { return *data_; }
  TStringList& Comment() { return data_->Comment; }
  // The screen as the largest left + width and top + height over the frames.
  void RecalcScreenSize();
  // Widens the screen to cover the frame.
  void GrowScreenSize(const TGIFFrame& frame);

  void ReadGifStream(const AnsiString& bytes, bool decodeFirst);
  void WriteGifStream(TStream& stream, bool withSize);

  uint8_t Version = 0;  // 0 unknown, 1 "87a", 2 "89a"
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  TColor BackgroundColor = clNone;
  bool Looping = false;
  int RepeatCount = 1;  // at most 30000

 private:
  friend class TGIFFrame;
  TCodecProgress ProgressReporter(bool withStartAndEnd) const;
  void ReadGif(TByteReader& r);
  void ReadBlocks(TByteReader& r);
  void ReadFrame(TByteReader& r, std::vector<std::unique_ptr<TExtension>> extensions);
  void DecodeFirstFrame();
  bool HasExtensions() const;
  AnsiString BuildFile();

  std::shared_ptr<TGIFData> data_;
  std::vector<std::unique_ptr<TGIFFrame>> frames_;
  int frameIndex_ = -1;
  // What is left of the pixels the frames may claim beyond what their data hold.
  uint64_t missingPixelsLeft_;
};

// Loads frames whose data end early (marked Corrupted) instead of failing.
extern bool GifLoadCorrupted;
// The clipboard format "GIF Image" (0 until RegisterGifImage has run).
extern unsigned GifClipboardFormat;

// 2 -> 1, 4 -> 2, ... 256 -> 8; any other count raises.
int GifColorCountToBits(int count);
// The first entry of the colour's RGB value, -1 for clNone or when absent.
int FindGifColorIndex(const TGIFColorTable& table, TColor color);

// Registers the clipboard format, the persistent classes TGIFImage and
// TGIFFrame and the "gif" file type with the picture system;
// UnregisterGifImage removes the file type.
void RegisterGifImage();
void UnregisterGifImage();
