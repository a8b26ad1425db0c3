#include "platform/ole/OleClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/controls/Forms.h"
#include "platform/ole/InputTracker.h"
#include "platform/ole/QtMime.h"

namespace {

int& InitCount() {
  static int count = 0;
  return count;
}

QClipboard* SystemClipboard() {
  InitializeControls();
  return QGuiApplication::clipboard();
}

// The program's own mime data on the clipboard, if it is there.
const TDataObjectMime* OwnContent() {
  return dynamic_cast<const TDataObjectMime*>(SystemClipboard()->mimeData());
}

}  // namespace

HRESULT OleInitialize(void*) {
  InitializeControls();
  InstallInputTracker();
  return InitCount()++ == 0 ? S_OK : S_FALSE;
}

void OleUninitialize() {
  if (InitCount() == 0) return;
  if (--InitCount() == 0 && OwnContent()) OleFlushClipboard();
}

HRESULT OleSetClipboard(IDataObject* data) {
  QClipboard* clipboard = SystemClipboard();
  if (data) clipboard->setMimeData(new TDataObjectMime(data));
  else if (OwnContent()) clipboard->clear();
  return S_OK;
}

HRESULT OleGetClipboard(IDataObject** data) {
  if (!data) return E_POINTER;
  *data = DataObjectFromMime(SystemClipboard()->mimeData()).Detach();
  return S_OK;
}

HRESULT OleFlushClipboard() {
  const TDataObjectMime* own = OwnContent();
  if (!own) return S_OK;
  // Render before the clipboard lets go of the object.
  TComPtr<IDataObject> data(own->DataObject());
  SystemClipboard()->setMimeData(RenderMime(data.Get()));
  return S_OK;
}

HRESULT OleIsCurrentClipboard(IDataObject* data) {
  const TDataObjectMime* own = OwnContent();
  return own && data && SameObject(own->DataObject(), data) ? S_OK : S_FALSE;
}
