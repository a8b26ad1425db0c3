// TGraphic is the base of every picture kind (bitmap, icon, and kinds that
// other modules add). A graphic is persistent: form files keep it as the
// binary property "Data" (ReadData/WriteData, by default its stream form).
// Changed marks it Modified and fires OnChange; long loads and saves report
// OnProgress: a start, running percentages and an end that carries the
// message of the exception that ended the work, if one did. An indexed
// picture has a palette (HPALETTE, shared and read-only: the colours in index
// order). TPicture holds one graphic and keeps the registry of graphic
// classes by file extension and by clipboard format, so that a module can add
// a picture kind that LoadFromFile then opens.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/Colors.h"
#include "platform/graphics/Types.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Persistent.h"
#include "platform/rtl/SysUtils.h"

class TCanvas;
class TBitmap;

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

struct TLogPalette {
  std::vector<TColor> Entries;
};
using HPALETTE = std::shared_ptr<const TLogPalette>;

enum TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, int percentDone,
                                          const AnsiString& message)>;

class TGraphic : public TPersistent {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  // Paints the picture scaled into r of the canvas.
  virtual void Draw(TCanvas& canvas, const TRect& r) const = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) const = 0;
  virtual void LoadFromFile(const AnsiString& fileName);
  virtual void SaveToFile(const AnsiString& fileName) const;
  // An independent copy of the picture.
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value) { transparent_ = value; }
  // The picture's palette; nullptr for a picture without one.
  virtual HPALETTE Palette() const { return nullptr; }
  bool Modified() const { return modified_; }
  // Setting it marks a change (Changed); clearing it only clears the flag.
  void SetModified(bool value);

  // The binary property "Data", written when the graphic is not empty.
  void DefineProperties(TFiler& filer) override;
  virtual void ReadData(TStream& stream) { LoadFromStream(stream); }
  virtual void WriteData(TStream& stream) const { SaveToStream(stream); }

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  void Changed();
  void Progress(TProgressStage stage, int percentDone, const AnsiString& message = AnsiString()) const;
  bool transparent_ = false;

 private:
  bool modified_ = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

class TPicture : public TObject {
 public:
  TPicture();
  ~TPicture() override;
  AnsiString ClassName() const override { return "TPicture"; }

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  // The graphic as a bitmap; a picture holding another kind is replaced by an
  // empty bitmap first.
  TBitmap* Bitmap();
  int Width() const;
  int Height() const;
  // Opens the file with the graphic class registered for its extension;
  // EInvalidGraphic for an unknown extension.
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName) const;
  void Assign(const TPicture& other);

  TNotifyEvent OnChange;

  // Registry. Extensions are given without the dot and compared without case.
  static void RegisterFileFormat(const AnsiString& extension, const AnsiString& description,
                                 const AnsiString& className, TGraphicFactory factory);
  static void UnregisterFileFormat(const AnsiString& extension);
  static TGraphicFactory FactoryForExtension(const AnsiString& extension);
  static AnsiString ClassNameForExtension(const AnsiString& extension);
  // "Description (*.ext)|*.ext|..." for every registered format, in registration order.
  static AnsiString FileFilter();
  static void RegisterClipboardFormat(unsigned format, TGraphicFactory factory);
  static TGraphicFactory FactoryForClipboardFormat(unsigned format);

 private:
  std::unique_ptr<TGraphic> graphic_;
};
