#include "platform/controls/Clipbrd.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <map>

#include "platform/controls/Forms.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtBridge.h"

namespace {

std::map<AnsiString, unsigned>& Formats() {
  static std::map<AnsiString, unsigned> formats;
  return formats;
}

QString MimeFor(unsigned format) {
  return "application/x-harvella-" + ToQString(ClipboardFormatName(format));
}

QMimeData* Pending() {
  static QMimeData* pending = nullptr;
  if (!pending) pending = new QMimeData();
  return pending;
}

QMimeData* CopyOf(const QMimeData* source) {
  auto* copy = new QMimeData();
  if (source)
    for (const QString& f : source->formats()) copy->setData(f, source->data(f));
  if (source && source->hasImage()) copy->setImageData(source->imageData());
  return copy;
}

}  // namespace

unsigned RegisterClipboardFormat(const AnsiString& name) {
  AnsiString key = LowerCase(name);
  auto it = Formats().find(key);
  if (it != Formats().end()) return it->second;
  unsigned id = 0xC000 + unsigned(Formats().size());
  Formats()[key] = id;
  return id;
}

AnsiString ClipboardFormatName(unsigned format) {
  for (const auto& [name, id] : Formats())
    if (id == format) return name;
  return IntToStr(format);
}

TClipboard* Clipboard() {
  InitializeControls();
  static TClipboard clipboard;
  return &clipboard;
}

AnsiString TClipboard::AsText() const { return FromQString(QGuiApplication::clipboard()->text()); }

void TClipboard::SetAsText(const AnsiString& text) {
  if (openCount_ > 0) {
    Pending()->setText(ToQString(text));
    return;
  }
  QGuiApplication::clipboard()->setText(ToQString(text));
}

bool TClipboard::HasFormat(unsigned format) const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  if (format == CF_TEXT || format == CF_UNICODETEXT) return data->hasText();
  if (format == CF_BITMAP) return data->hasImage();
  return data->hasFormat(MimeFor(format));
}

AnsiString TClipboard::GetData(unsigned format) const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return {};
  QByteArray bytes = data->data(MimeFor(format));
  return AnsiString(bytes.constData(), size_t(bytes.size()));
}

void TClipboard::SetData(unsigned format, const AnsiString& bytes) {
  QByteArray payload(bytes.data(), qsizetype(bytes.size()));
  if (openCount_ > 0) {
    Pending()->setData(MimeFor(format), payload);
    return;
  }
  auto* data = new QMimeData();
  data->setData(MimeFor(format), payload);
  QGuiApplication::clipboard()->setMimeData(data);
}

void TClipboard::AssignBitmap(const TBitmap& bitmap) {
  if (openCount_ > 0) {
    Pending()->setImageData(bitmap.Native());
    return;
  }
  QGuiApplication::clipboard()->setImage(bitmap.Native());
}

bool TClipboard::GetBitmap(TBitmap& bitmap) const {
  QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) return false;
  bitmap.SetSize(image.width(), image.height());
  bitmap.Native() = image.convertToFormat(QImage::Format_RGB32);
  return true;
}

void TClipboard::Clear() {
  if (openCount_ > 0) {
    for (const QString& f : Pending()->formats()) Pending()->removeFormat(f);
    return;
  }
  QGuiApplication::clipboard()->clear();
}

void TClipboard::Open() {
  if (openCount_++ == 0)
    for (const QString& f : Pending()->formats()) Pending()->removeFormat(f);
}

void TClipboard::Close() {
  if (openCount_ == 0 || --openCount_ > 0) return;
  QGuiApplication::clipboard()->setMimeData(CopyOf(Pending()));
  for (const QString& f : Pending()->formats()) Pending()->removeFormat(f);
}
