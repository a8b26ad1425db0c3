// The data-transfer interfaces of OLE: format descriptions (FORMATETC),
// storage media (STGMEDIUM over global memory, a stream, a storage or a
// file name), IStream, IStorage, IEnumFORMATETC, IDataObject and the advise
// interfaces, with the helpers that create and release them.
//
// Contract
// - A STGMEDIUM owns what it names unless pUnkForRelease is set; then
//   releasing it releases that object instead. ReleaseStgMedium frees (or
//   releases) and clears the medium; calling it twice is harmless. A file
//   medium owns its name (task memory, CoTaskMemAlloc), release object or
//   not, but not the file: the file stays where it is.
// - Input parameters are const pointers; out parameters receive a reference
//   the caller must release.
// - CreateFormatEnumerator copies the array; the enumerator follows the
//   IEnumFORMATETC rules (Next answers S_FALSE when fewer than asked were left).
// - CreateStreamOnHGlobal makes a growing stream over a global block (a new
//   one when given nullptr); with deleteOnRelease the block goes with the
//   last reference to the stream.
// - Standard format numbers (CF_TEXT, CF_UNICODETEXT, CF_HDROP) and
//   registered formats come from the clipboard (Clipbrd.h).
// - CreateDataAdviseHolder gives the standard advise holder: it keeps sinks
//   with their connection numbers (from 1) and tells them of data changes.
#pragma once

#include <vector>

#include "platform/controls/Clipbrd.h"
#include "platform/ole/ComBase.h"
#include "platform/ole/GlobalMemory.h"

using CLIPFORMAT = uint16_t;

constexpr DWORD DVASPECT_CONTENT = 1, DVASPECT_THUMBNAIL = 2, DVASPECT_ICON = 4,
                DVASPECT_DOCPRINT = 8;
constexpr DWORD TYMED_NULL = 0, TYMED_HGLOBAL = 1, TYMED_FILE = 2, TYMED_ISTREAM = 4,
                TYMED_ISTORAGE = 8, TYMED_GDI = 16, TYMED_MFPICT = 32, TYMED_ENHMF = 64;
constexpr DWORD DATADIR_GET = 1, DATADIR_SET = 2;
constexpr DWORD ADVF_NODATA = 1, ADVF_PRIMEFIRST = 2, ADVF_ONLYONCE = 4,
                ADVF_DATAONSTOP = 64;
constexpr DWORD STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2;

struct DVTARGETDEVICE;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  DVTARGETDEVICE* ptd = nullptr;
  DWORD dwAspect = DVASPECT_CONTENT;
  LONG lindex = -1;
  DWORD tymed = TYMED_HGLOBAL;
};

// A format record for the content aspect and all pages.
inline FORMATETC MakeFormatEtc(CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL) {
  return {format, nullptr, DVASPECT_CONTENT, -1, tymed};
}

class IStream;
class IStorage;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;

struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  IStream* pstm = nullptr;
  IStorage* pstg = nullptr;
  LPOLESTR lpszFileName = nullptr;  // zero-terminated, in task memory
  IUnknown* pUnkForRelease = nullptr;
};

// Task memory: blocks one party allocates and another frees (file names of
// file media). CoTaskMemAlloc gives nullptr when memory runs out.
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* block);

void ReleaseStgMedium(STGMEDIUM* medium);

struct STATSTG {
  uint64_t cbSize = 0;
};

class IStream : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x0000000C);
  virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
  virtual HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t size) = 0;
  virtual HRESULT CopyTo(IStream* target, uint64_t count, uint64_t* read, uint64_t* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** out) = 0;
};

HRESULT CreateStreamOnHGlobal(HGLOBAL block, bool deleteOnRelease, IStream** out);

// A structured storage (a file system inside a file). Media only hand it on
// with its reference count; no storage implementation is provided here.
class IStorage : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x0000000B);
};
HRESULT GetHGlobalFromStream(IStream* stream, HGLOBAL* out);

class IEnumFORMATETC : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000103);
  virtual HRESULT Next(ULONG count, FORMATETC* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFORMATETC** out) = 0;
};

HRESULT CreateFormatEnumerator(const std::vector<FORMATETC>& formats, IEnumFORMATETC** out);

class IAdviseSink : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x0000010F);
  virtual void OnDataChange(const FORMATETC* format, STGMEDIUM* medium) = 0;
};

struct STATDATA {
  FORMATETC formatetc;
  DWORD advf = 0;
  IAdviseSink* pAdvSink = nullptr;
  DWORD dwConnection = 0;
};

class IEnumSTATDATA : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000105);
  virtual HRESULT Next(ULONG count, STATDATA* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATDATA** out) = 0;
};

class IDataObject : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x0000010E);
  virtual HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(const FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(const FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(const FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) = 0;
  virtual HRESULT DAdvise(const FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** out) = 0;
};

class IDataAdviseHolder : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000110);
  virtual HRESULT Advise(IDataObject* data, const FORMATETC* format, DWORD advf, IAdviseSink* sink,
                         DWORD* connection) = 0;
  virtual HRESULT Unadvise(DWORD connection) = 0;
  virtual HRESULT EnumAdvise(IEnumSTATDATA** out) = 0;
  virtual HRESULT SendOnDataChange(IDataObject* data, DWORD reserved, DWORD advf) = 0;
};

HRESULT CreateDataAdviseHolder(IDataAdviseHolder** out);

// Reads a format's bytes from a data object through a global-memory or a
// stream medium (whichever it gives) and releases the medium.
HRESULT GetDataBytes(IDataObject* data, CLIPFORMAT format, AnsiString& bytes);
// Reads a whole medium's bytes (HGLOBAL or IStream from its start).
bool MediumBytes(const STGMEDIUM& medium, AnsiString& bytes);
