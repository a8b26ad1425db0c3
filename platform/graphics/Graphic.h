// TGraphic is the base of every picture kind (bitmap, icon, and kinds that
// other modules add). TPicture holds one graphic and keeps the registry of
// graphic classes by file extension and by clipboard format, so that a
// module can add a picture kind that LoadFromFile then opens.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/Types.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

class TCanvas;
class TBitmap;

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

class TGraphic : public TObject {
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

  TNotifyEvent OnChange;

 protected:
  void Changed();
  bool transparent_ = false;
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
