#include "platform/ole/QtMime.h"

#include "platform/controls/Clipbrd.h"
#include "platform/graphics/QtBridge.h"
#include "platform/ole/DataObject.h"

namespace {

const QString kTextMime = QStringLiteral("text/plain");
const QString kRegisteredPrefix = QStringLiteral("application/x-harvella-");

// The formats of a data object in its order, as listed by its enumerator.
std::vector<CLIPFORMAT> FormatsOf(IDataObject* data) {
  std::vector<CLIPFORMAT> formats;
  TComPtr<IEnumFORMATETC> list;
  if (!data || data->EnumFormatEtc(DATADIR_GET, list.Receive()) != S_OK || !list) return formats;
  FORMATETC f;
  ULONG fetched = 0;
  while (list->Next(1, &f, &fetched) == S_OK && fetched == 1) formats.push_back(f.cfFormat);
  return formats;
}

AnsiString TextOf(IDataObject* data) {
  AnsiString bytes;
  if (GetDataBytes(data, CLIPFORMAT(CF_UNICODETEXT), bytes) == S_OK) return TextFromUnicodeBytes(bytes);
  if (GetDataBytes(data, CLIPFORMAT(CF_TEXT), bytes) == S_OK) return TextFromAnsiBytes(bytes);
  return {};
}

QByteArray ToQByteArray(const AnsiString& bytes) { return QByteArray(bytes.data(), qsizetype(bytes.size())); }

}  // namespace

QString MimeTypeForFormat(CLIPFORMAT format) {
  if (format == CF_TEXT || format == CF_UNICODETEXT) return kTextMime;
  if (format < 0xC000) return {};
  return kRegisteredPrefix + ToQString(ClipboardFormatName(format));
}

TDataObjectMime::TDataObjectMime(IDataObject* data) : data_(data) {}

QStringList TDataObjectMime::formats() const {
  QStringList list;
  try {
    for (CLIPFORMAT f : FormatsOf(data_.Get())) {
      QString mime = MimeTypeForFormat(f);
      if (!mime.isEmpty() && !list.contains(mime)) list.append(mime);
    }
  } catch (const std::exception&) {
    // A failing data object offers nothing; Qt must not see the exception.
  }
  return list;
}

bool TDataObjectMime::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

QVariant TDataObjectMime::retrieveData(const QString& mimeType, QMetaType) const {
  try {
    if (mimeType == kTextMime) return ToQString(TextOf(data_.Get()));
    for (CLIPFORMAT f : FormatsOf(data_.Get())) {
      AnsiString bytes;
      if (MimeTypeForFormat(f) == mimeType && GetDataBytes(data_.Get(), f, bytes) == S_OK)
        return ToQByteArray(bytes);
    }
  } catch (const std::exception&) {
    // As above: the format is then simply not available.
  }
  return {};
}

TComPtr<IDataObject> DataObjectFromMime(const QMimeData* mime) {
  // The program's own data comes back as the object itself.
  if (auto* own = dynamic_cast<const TDataObjectMime*>(mime)) return TComPtr<IDataObject>(own->DataObject());
  TComPtr<TDataObject> data(new TDataObject());
  if (!mime) return TComPtr<IDataObject>(data.Get());
  if (mime->hasText()) data->SetText(FromQString(mime->text()));
  for (const QString& type : mime->formats()) {
    if (!type.startsWith(kRegisteredPrefix)) continue;
    const QByteArray bytes = mime->data(type);
    const CLIPFORMAT f = CLIPFORMAT(RegisterClipboardFormat(FromQString(type.mid(kRegisteredPrefix.size()))));
    data->SetBytes(f, AnsiString(bytes.constData(), size_t(bytes.size())));
  }
  return TComPtr<IDataObject>(data.Get());
}

QMimeData* RenderMime(IDataObject* data) {
  auto* mime = new QMimeData();
  TDataObjectMime source(data);
  for (const QString& type : source.formats()) {
    if (type == kTextMime) mime->setText(source.text());
    else mime->setData(type, source.data(type));
  }
  return mime;
}
