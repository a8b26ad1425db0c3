// Platform-internal bridge between data objects and Qt's mime data, used by
// the clipboard and by drags to and from other programs. Text travels as
// text/plain (CF_UNICODETEXT and CF_TEXT), a registered format under the
// same mime type the controls module's clipboard gives it.
#pragma once

#include <QMimeData>

#include "platform/ole/ObjIdl.h"

// The mime type of a format (empty for formats that are not bridged).
QString MimeTypeForFormat(CLIPFORMAT format);

// Mime data that renders the data object's formats when they are asked for
// (delayed rendering) and holds a reference to it while it lives.
class TDataObjectMime : public QMimeData {
 public:
  explicit TDataObjectMime(IDataObject* data);
  IDataObject* DataObject() const { return data_.Get(); }
  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  TComPtr<IDataObject> data_;
};

// A data object holding a copy of the text and registered formats of mime
// (for the program's own mime data, its data object).
TComPtr<IDataObject> DataObjectFromMime(const QMimeData* mime);
// Mime data holding a copy of every bridged format of a data object.
QMimeData* RenderMime(IDataObject* data);
