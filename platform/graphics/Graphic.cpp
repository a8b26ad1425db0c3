#include "platform/graphics/Graphic.h"

#include <map>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/rtl/FileUtils.h"

namespace {

struct FileFormat {
  AnsiString extension;
  AnsiString description;
  AnsiString className;
  TGraphicFactory factory;
};

std::vector<FileFormat>& Formats() {
  static std::vector<FileFormat> formats = {
      {"bmp", "Bitmaps", "TBitmap", [] { return std::make_unique<TBitmap>(); }},
      {"png", "Portable network graphics", "TBitmap", [] { return std::make_unique<TBitmap>(); }},
      {"ico", "Icons", "TIcon", [] { return std::make_unique<TIcon>(); }},
  };
  return formats;
}

std::map<unsigned, TGraphicFactory>& ClipboardFormats() {
  static std::map<unsigned, TGraphicFactory> formats;
  return formats;
}

AnsiString NormalExtension(const AnsiString& ext) {
  return LowerCase(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
}

std::vector<FileFormat>::iterator FindFormat(const AnsiString& ext) {
  AnsiString key = NormalExtension(ext);
  auto& formats = Formats();
  for (auto it = formats.begin(); it != formats.end(); ++it)
    if (it->extension == key) return it;
  return formats.end();
}

}  // namespace

void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(this);
}

void TGraphic::SetModified(bool value) {
  if (value)
    Changed();
  else
    modified_ = false;
}

void TGraphic::Progress(TProgressStage stage, int percentDone, const AnsiString& message) const {
  if (OnProgress) OnProgress(const_cast<TGraphic*>(this), stage, percentDone, message);
}

void TGraphic::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data", [this](TStream& stream) { ReadData(stream); }, [this](TStream& stream) { WriteData(stream); },
      !Empty());
}

void TGraphic::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const AnsiString& fileName) const {
  TMemoryStream stream;
  SaveToStream(stream);
  AnsiString bytes(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
  WriteFileAtomically(fileName, bytes);
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  graphic_ = std::move(graphic);
  if (OnChange) OnChange(this);
}

TBitmap* TPicture::Bitmap() {
  auto* bitmap = dynamic_cast<TBitmap*>(graphic_.get());
  if (!bitmap) {
    graphic_ = std::make_unique<TBitmap>();
    bitmap = static_cast<TBitmap*>(graphic_.get());
  }
  return bitmap;
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const AnsiString& fileName) {
  AnsiString ext = ExtractFileExt(fileName);
  TGraphicFactory factory = FactoryForExtension(ext);
  if (!factory) throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
  std::unique_ptr<TGraphic> graphic = factory();
  graphic->LoadFromFile(fileName);
  SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const AnsiString& fileName) const {
  if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::Assign(const TPicture& other) {
  SetGraphic(other.graphic_ ? other.graphic_->Clone() : nullptr);
}

void TPicture::RegisterFileFormat(const AnsiString& extension, const AnsiString& description,
                                  const AnsiString& className, TGraphicFactory factory) {
  auto it = FindFormat(extension);
  FileFormat format{NormalExtension(extension), description, className, std::move(factory)};
  if (it != Formats().end())
    *it = std::move(format);
  else
    Formats().push_back(std::move(format));
}

void TPicture::UnregisterFileFormat(const AnsiString& extension) {
  auto it = FindFormat(extension);
  if (it != Formats().end()) Formats().erase(it);
}

TGraphicFactory TPicture::FactoryForExtension(const AnsiString& extension) {
  auto it = FindFormat(extension);
  return it == Formats().end() ? TGraphicFactory() : it->factory;
}

AnsiString TPicture::ClassNameForExtension(const AnsiString& extension) {
  auto it = FindFormat(extension);
  return it == Formats().end() ? AnsiString() : it->className;
}

AnsiString TPicture::FileFilter() {
  AnsiString filter;
  for (const FileFormat& f : Formats()) {
    if (!filter.empty()) filter += "|";
    filter += f.description + " (*." + f.extension + ")|*." + f.extension;
  }
  return filter;
}

void TPicture::RegisterClipboardFormat(unsigned format, TGraphicFactory factory) {
  ClipboardFormats()[format] = std::move(factory);
}

TGraphicFactory TPicture::FactoryForClipboardFormat(unsigned format) {
  auto it = ClipboardFormats().find(format);
  return it == ClipboardFormats().end() ? TGraphicFactory() : it->second;
}
