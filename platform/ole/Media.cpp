// Storage media: releasing them and reading their bytes.
#include <cstdlib>
#include <cstring>

#include "platform/ole/ObjIdl.h"

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(void* block) { std::free(block); }

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  // The file name is the medium's own, whoever owns the file.
  if (medium->tymed == TYMED_FILE) CoTaskMemFree(medium->lpszFileName);
  if (medium->pUnkForRelease) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL) {
    GlobalFree(medium->hGlobal);
  } else if (medium->tymed == TYMED_ISTREAM && medium->pstm) {
    medium->pstm->Release();
  } else if (medium->tymed == TYMED_ISTORAGE && medium->pstg) {
    medium->pstg->Release();
  }
  *medium = STGMEDIUM();
}

bool MediumBytes(const STGMEDIUM& medium, AnsiString& bytes) {
  bytes.clear();
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
    bytes = GlobalBytes(medium.hGlobal);
    return true;
  }
  if (medium.tymed != TYMED_ISTREAM || !medium.pstm) return false;
  if (FAILED(medium.pstm->Seek(0, STREAM_SEEK_SET, nullptr))) return false;
  char chunk[16384];
  for (;;) {
    ULONG read = 0;
    if (FAILED(medium.pstm->Read(chunk, sizeof chunk, &read))) return false;
    bytes.append(chunk, read);
    if (read < sizeof chunk) return true;
  }
}

HRESULT GetDataBytes(IDataObject* data, CLIPFORMAT format, AnsiString& bytes) {
  bytes.clear();
  if (!data) return E_INVALIDARG;
  FORMATETC wanted = MakeFormatEtc(format, TYMED_HGLOBAL | TYMED_ISTREAM);
  STGMEDIUM medium;
  HRESULT hr = data->GetData(&wanted, &medium);
  if (FAILED(hr)) return hr;
  const bool read = MediumBytes(medium, bytes);
  ReleaseStgMedium(&medium);
  return read ? S_OK : DV_E_TYMED;
}
