// TDataObject: a ready-made IDataObject that holds the bytes of each of its
// formats, for drags and clipboard contents whose data is known up front.
//
// Contract
// - SetBytes adds a format (or replaces its bytes); formats are offered in
//   the order they were first added, for the content aspect, on global
//   memory or a stream.
// - GetData gives a new global block (or a new stream when only TYMED_ISTREAM
//   is asked) that the caller owns; QueryGetData answers DV_E_FORMATETC for
//   a format it lacks, DV_E_TYMED for a medium it cannot give and
//   DV_E_DVASPECT for another aspect.
// - SetData takes the bytes of a global-memory or stream medium (and frees
//   the medium when told to release it); advise sinks are told of the change.
// - EnumFormatEtc lists the formats for DATADIR_GET; DATADIR_SET answers
//   OLE_S_USEREG. GetDataHere answers E_NOTIMPL.
#pragma once

#include <utility>
#include <vector>

#include "platform/ole/ObjIdl.h"

class TDataObject : public TInterfacedObject<IDataObject> {
 public:
  TDataObject() = default;
  void SetBytes(CLIPFORMAT format, const AnsiString& bytes);
  // Text as CF_UNICODETEXT and CF_TEXT, each ended by a zero character.
  void SetText(const AnsiString& text);

  HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT QueryGetData(const FORMATETC* format) override;
  HRESULT GetCanonicalFormatEtc(const FORMATETC* in, FORMATETC* out) override;
  HRESULT SetData(const FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  HRESULT DAdvise(const FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  HRESULT DUnadvise(DWORD connection) override;
  HRESULT EnumDAdvise(IEnumSTATDATA** out) override;

 protected:
  ~TDataObject() override = default;

 private:
  const AnsiString* Find(CLIPFORMAT format) const;
  std::vector<std::pair<CLIPFORMAT, AnsiString>> formats_;
  TComPtr<IDataAdviseHolder> advise_;
};

// UTF-16 text with its terminating zero, as CF_UNICODETEXT carries it, and back.
AnsiString UnicodeTextBytes(const AnsiString& text);
AnsiString TextFromUnicodeBytes(const AnsiString& bytes);
// CF_TEXT bytes (UTF-8 here) up to the first zero.
AnsiString TextFromAnsiBytes(const AnsiString& bytes);
