// OLE initialisation and the OLE clipboard over the program's clipboard.
//
// Contract
// - OleInitialize answers S_OK the first time and S_FALSE when OLE is
//   already initialised; every call is matched by OleUninitialize, and the
//   last one flushes a clipboard the program still owns.
// - OleSetClipboard(data) puts a data object on the clipboard: it is held
//   there and its formats are rendered only when someone asks for them (text
//   as text, registered formats by name, for other programs as well).
//   OleSetClipboard(nullptr) empties a clipboard the program owns.
// - OleGetClipboard gives the data object on the clipboard: the program's own
//   object while it is there, otherwise a copy of the clipboard's text and
//   registered formats.
// - OleFlushClipboard renders every format of the program's object into the
//   clipboard and releases the object; the data stays available.
// - OleIsCurrentClipboard answers S_OK when data is the object on the
//   clipboard, S_FALSE otherwise.
#pragma once

#include "platform/ole/ObjIdl.h"

HRESULT OleInitialize(void* reserved);
void OleUninitialize();

HRESULT OleSetClipboard(IDataObject* data);
HRESULT OleGetClipboard(IDataObject** data);
HRESULT OleFlushClipboard();
HRESULT OleIsCurrentClipboard(IDataObject* data);
