#include "platform/ole/DataObject.h"

#include "platform/controls/Clipbrd.h"

namespace {
constexpr DWORD kOfferedMedia = TYMED_HGLOBAL | TYMED_ISTREAM;
}  // namespace

AnsiString UnicodeTextBytes(const AnsiString& text) {
  WideString wide = Utf8ToWide(text);
  wide.push_back(u'\0');
  AnsiString bytes;
  for (char16_t c : wide) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

AnsiString TextFromUnicodeBytes(const AnsiString& bytes) {
  WideString wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t c = char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
    if (c == 0) break;
    wide.push_back(c);
  }
  return WideToUtf8(wide);
}

AnsiString TextFromAnsiBytes(const AnsiString& bytes) { return bytes.substr(0, bytes.find('\0')); }

void TDataObject::SetBytes(CLIPFORMAT format, const AnsiString& bytes) {
  for (auto& [f, b] : formats_)
    if (f == format) {
      b = bytes;
      return;
    }
  formats_.emplace_back(format, bytes);
}

void TDataObject::SetText(const AnsiString& text) {
  SetBytes(CLIPFORMAT(CF_UNICODETEXT), UnicodeTextBytes(text));
  SetBytes(CLIPFORMAT(CF_TEXT), text + '\0');
}

const AnsiString* TDataObject::Find(CLIPFORMAT format) const {
  for (const auto& [f, b] : formats_)
    if (f == format) return &b;
  return nullptr;
}

HRESULT TDataObject::GetData(const FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  *medium = STGMEDIUM();
  HRESULT hr = QueryGetData(format);
  if (hr != S_OK) return hr;
  const AnsiString& bytes = *Find(format->cfFormat);
  if (format->tymed & TYMED_HGLOBAL) {
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = GlobalFromBytes(bytes);
    return S_OK;
  }
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(GlobalFromBytes(bytes), true, &stream);
  medium->tymed = TYMED_ISTREAM;
  medium->pstm = stream;
  return S_OK;
}

HRESULT TDataObject::GetDataHere(const FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT TDataObject::QueryGetData(const FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  if (!Find(format->cfFormat)) return DV_E_FORMATETC;
  if (!(format->tymed & kOfferedMedia)) return DV_E_TYMED;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (format->lindex != -1) return DV_E_LINDEX;
  return S_OK;
}

HRESULT TDataObject::GetCanonicalFormatEtc(const FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT TDataObject::SetData(const FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (!format || !medium) return E_INVALIDARG;
  AnsiString bytes;
  if (!MediumBytes(*medium, bytes)) return DV_E_TYMED;
  SetBytes(format->cfFormat, bytes);
  if (release) ReleaseStgMedium(medium);
  if (advise_) advise_->SendOnDataChange(this, 0, 0);
  return S_OK;
}

HRESULT TDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (direction != DATADIR_GET) return OLE_S_USEREG;
  std::vector<FORMATETC> list;
  for (const auto& entry : formats_) list.push_back(MakeFormatEtc(entry.first, kOfferedMedia));
  return CreateFormatEnumerator(list, out);
}

HRESULT TDataObject::DAdvise(const FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  if (!advise_) CreateDataAdviseHolder(advise_.Receive());
  return advise_->Advise(this, format, advf, sink, connection);
}

HRESULT TDataObject::DUnadvise(DWORD connection) {
  return advise_ ? advise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT TDataObject::EnumDAdvise(IEnumSTATDATA** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return advise_ ? advise_->EnumAdvise(out) : OLE_E_ADVISENOTSUPPORTED;
}
