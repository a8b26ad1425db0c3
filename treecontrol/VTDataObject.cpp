#include "treecontrol/VTDataObject.h"

#include <cstring>
#include <map>

#include "platform/ole/OleStream.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualTrees.h"

namespace {

struct TTreeReference {
  uint32_t ProcessId;
  uint32_t HostId;
};
static_assert(sizeof(TTreeReference) == 8);

std::map<uint32_t, TVTTransferHost*>& Hosts() {
  static std::map<uint32_t, TVTTransferHost*> hosts;
  return hosts;
}

uint32_t NextHostId() {
  static uint32_t last = 0;
  return ++last;
}

FORMATETC FromTreeFormat(const TFormatEtc& f) {
  return {CLIPFORMAT(f.cfFormat), static_cast<DVTARGETDEVICE*>(f.ptd), f.dwAspect, f.lindex, f.tymed};
}

// Runs a host call for a COM method: no exception leaves it.
template <class F>
HRESULT Guarded(F&& call) {
  try {
    return call();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

TPoint ToPoint(POINTL p) { return {p.x, p.y}; }

}  // namespace

// ---- Hosts --------------------------------------------------------------------

TVTTransferHost::TVTTransferHost() : hostId_(NextHostId()) { Hosts()[hostId_] = this; }

TVTTransferHost::~TVTTransferHost() { Hosts().erase(hostId_); }

std::vector<FORMATETC> TVTTransferHost::NativeFormats() const {
  std::vector<FORMATETC> result;
  TBaseVirtualTree* tree = Tree();
  if (!TreeGlobalsInitialized()) InitializeTreeGlobals();
  if (TClipboardFormatList* list = ClipboardFormatList(); list && tree) {
    std::vector<AnsiString> names;
    TClipboardFormats& chosen = tree->ClipboardFormats();
    for (int i = 0; i < chosen.Count(); ++i) names.push_back(chosen[i]);
    for (const TFormatEtc& f : list->EnumerateTreeFormats(*tree, names.empty() ? nullptr : &names))
      result.push_back(FromTreeFormat(f));
  }
  if (tree && tree->OnGetUserClipboardFormats) tree->OnGetUserClipboardFormats(tree, result);
  return result;
}

bool TVTTransferHost::FlushingClipboard() const {
  TBaseVirtualTree* tree = Tree();
  return tree && tree->HasState(stClipboardFlushing);
}

TVTTransferHost* FindTransferHost(uint32_t hostId) {
  auto it = Hosts().find(hostId);
  return it == Hosts().end() ? nullptr : it->second;
}

TBaseVirtualTree* GetTreeFromDataObject(IDataObject* data) {
  if (!data || ReferenceClipboardFormat == 0) return nullptr;
  AnsiString bytes;
  if (FAILED(GetDataBytes(data, ReferenceClipboardFormat, bytes)) || bytes.size() < sizeof(TTreeReference))
    return nullptr;
  TTreeReference reference;
  std::memcpy(&reference, bytes.data(), sizeof reference);
  if (reference.ProcessId != GetCurrentProcessId()) return nullptr;
  TVTTransferHost* host = FindTransferHost(reference.HostId);
  return host ? host->Tree() : nullptr;
}

bool EqualFormatEtc(const FORMATETC& a, const FORMATETC& b) {
  return a.cfFormat == b.cfFormat && a.ptd == b.ptd && a.dwAspect == b.dwAspect && a.lindex == b.lindex &&
         (a.tymed & b.tymed) != 0;
}

// ---- TEnumFormatEtc -------------------------------------------------------------

HRESULT TEnumFormatEtc::Next(ULONG count, FORMATETC* items, ULONG* fetched) {
  if (!items && count) return E_POINTER;
  ULONG copied = 0;
  while (copied < count && currentIndex_ < formats_.size()) items[copied++] = formats_[currentIndex_++];
  if (fetched) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(ULONG count) {
  if (uint64_t(currentIndex_) + count > formats_.size()) return S_FALSE;
  currentIndex_ += count;
  return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
  currentIndex_ = 0;
  return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = new TEnumFormatEtc(hostId_, formats_, currentIndex_);
  (*out)->AddRef();
  return S_OK;
}

// ---- TVTDataObject ----------------------------------------------------------------

TVTDataObject::TVTDataObject(TVTTransferHost* host, bool forClipboard)
    : ownerId_(host ? host->HostId() : 0), forClipboard_(forClipboard) {
  if (host) formatEtcArray_ = host->NativeFormats();
}

TVTDataObject::~TVTDataObject() {
  TVTTransferHost* host = Host();
  if (forClipboard_ && host && !host->FlushingClipboard()) {
    try {
      host->CancelCutOrCopy();
    } catch (...) {
      // A destructor called by the clipboard must not throw; the marks stay.
    }
  }
  for (TInternalStgMedium& stored : internalStgMediumArray_) ReleaseStgMedium(&stored.Medium);
  formatEtcArray_.clear();
}

HRESULT TVTDataObject::DAdvise(const FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_) {
    HRESULT hr = CreateDataAdviseHolder(adviseHolder_.Receive());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(this, format, advf, sink, connection);
}

HRESULT TVTDataObject::DUnadvise(DWORD connection) {
  return adviseHolder_ ? adviseHolder_->Unadvise(connection) : E_NOTIMPL;
}

HRESULT TVTDataObject::EnumDAdvise(IEnumSTATDATA** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TVTDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (direction != DATADIR_GET) return OLE_S_USEREG;
  *out = new TEnumFormatEtc(ownerId_, formatEtcArray_);
  (*out)->AddRef();
  return S_OK;
}

HRESULT TVTDataObject::GetCanonicalFormatEtc(const FORMATETC*, FORMATETC*) { return DATA_S_SAMEFORMATETC; }

HRESULT TVTDataObject::ReferenceData(STGMEDIUM& medium) {
  TVTTransferHost* host = Host();
  if (!host || host->FlushingClipboard()) return E_FAIL;
  HGLOBAL block = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(TTreeReference));
  if (!block) return E_OUTOFMEMORY;
  const TTreeReference reference{GetCurrentProcessId(), ownerId_};
  std::memcpy(GlobalLock(block), &reference, sizeof reference);
  GlobalUnlock(block);
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  medium.pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT TVTDataObject::GetData(const FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  *medium = STGMEDIUM();
  if (format->cfFormat == ReferenceClipboardFormat && ReferenceClipboardFormat != 0) return ReferenceData(*medium);
  HRESULT hr = QueryGetData(format);
  if (FAILED(hr)) return hr;
  for (const FORMATETC& entry : formatEtcArray_) {
    if (!EqualFormatEtc(entry, *format)) continue;
    if (TInternalStgMedium* stored = StoredMedium(entry.cfFormat); stored && stored->Medium.tymed != TYMED_NULL)
      return StgMediumIncRef(stored->Medium, *medium, false);
    break;
  }
  TVTTransferHost* host = Host();
  if (!host) return E_FAIL;
  return Guarded([&] { return host->RenderOLEData(*format, *medium, forClipboard_); });
}

HRESULT TVTDataObject::GetDataHere(const FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT TVTDataObject::QueryGetData(const FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  HRESULT result = DV_E_FORMATETC;
  for (const FORMATETC& entry : formatEtcArray_) {
    if (entry.cfFormat != format->cfFormat) continue;
    if (!(entry.tymed & format->tymed)) {
      result = DV_E_TYMED;
    } else if (entry.dwAspect == format->dwAspect) {
      if (entry.lindex == format->lindex) return S_OK;
      result = DV_E_LINDEX;
    } else {
      result = DV_E_DVASPECT;
    }
  }
  return result;
}

TVTDataObject::TInternalStgMedium* TVTDataObject::StoredMedium(CLIPFORMAT format) {
  for (TInternalStgMedium& stored : internalStgMediumArray_)
    if (stored.Format == format) return &stored;
  return nullptr;
}

HRESULT TVTDataObject::SetData(const FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (!format || !medium) return E_INVALIDARG;
  bool known = false;
  for (const FORMATETC& entry : formatEtcArray_) known = known || EqualFormatEtc(entry, *format);
  if (!known) formatEtcArray_.push_back(*format);
  // A format offered natively gets its record on the first SetData.
  TInternalStgMedium* stored = StoredMedium(format->cfFormat);
  if (!stored) {
    internalStgMediumArray_.push_back({format->cfFormat, STGMEDIUM()});
    stored = &internalStgMediumArray_.back();
  } else {
    ReleaseStgMedium(&stored->Medium);
  }
  HRESULT hr = S_OK;
  if (release) {
    stored->Medium = *medium;
  } else {
    hr = StgMediumIncRef(*medium, stored->Medium, true);
    if (SUCCEEDED(hr) && stored->Medium.pUnkForRelease &&
        SameObject(stored->Medium.pUnkForRelease, static_cast<IDataObject*>(this))) {
      stored->Medium.pUnkForRelease->Release();
      stored->Medium.pUnkForRelease = nullptr;
    }
  }
  if (adviseHolder_) adviseHolder_->SendOnDataChange(this, 0, 0);
  return hr;
}

HRESULT TVTDataObject::StgMediumIncRef(const STGMEDIUM& in, STGMEDIUM& out, bool copyContent) {
  out = in;
  switch (in.tymed) {
    case TYMED_HGLOBAL:
      if (copyContent) {
        const size_t size = GlobalSize(in.hGlobal);
        out.hGlobal = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
        if (!out.hGlobal) {
          out = STGMEDIUM();
          return E_OUTOFMEMORY;
        }
        if (size) {
          std::memcpy(GlobalLock(out.hGlobal), GlobalLock(in.hGlobal), size);
          GlobalUnlock(in.hGlobal);
          GlobalUnlock(out.hGlobal);
        }
      } else {
        out.pUnkForRelease = static_cast<IDataObject*>(this);
      }
      break;
    case TYMED_ISTREAM:
      if (in.pstm) in.pstm->AddRef();
      break;
    case TYMED_ISTORAGE:
      if (in.pstg) in.pstg->AddRef();
      break;
    case TYMED_FILE: {
      // The copy gets a name of its own in task memory.
      const std::u16string name = in.lpszFileName ? std::u16string(in.lpszFileName) : std::u16string();
      out.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
      if (!out.lpszFileName) {
        out = STGMEDIUM();
        return E_OUTOFMEMORY;
      }
      std::memcpy(out.lpszFileName, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
      break;
    }
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      if (copyContent) {
        out = STGMEDIUM();
        return DV_E_TYMED;
      }
      out.pUnkForRelease = static_cast<IDataObject*>(this);
      break;
    default:
      out = STGMEDIUM();
      return DV_E_TYMED;
  }
  if (out.pUnkForRelease) out.pUnkForRelease->AddRef();
  return S_OK;
}

// ---- TVTDragManager ----------------------------------------------------------------

TVTDragManager::TVTDragManager(TVTTransferHost* host) : ownerId_(host ? host->HostId() : 0) {
  CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IDropTargetHelper::iid,
                   reinterpret_cast<void**>(dropTargetService_.Receive()));
}

void TVTDragManager::ForceDragLeave() {
  if (UseService()) dropTargetService_->DragLeave();
}

TComPtr<IDataObject> TVTDragManager::GetDataObject() {
  if (dataObject_) return dataObject_;
  TVTTransferHost* host = FindTransferHost(ownerId_);
  if (!host) return {};
  if (TComPtr<IDataObject> supplied = host->CreateDataObject()) return supplied;
  return TComPtr<IDataObject>(new TVTDataObject(host, false));
}

HRESULT TVTDragManager::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  dataObject_ = TComPtr<IDataObject>(data);
  isDropTarget_ = true;
  TVTTransferHost* host = FindTransferHost(ownerId_);
  if (!host) return E_UNEXPECTED;
  if (UseService() && host->Tree()) dropTargetService_->DragEnter(host->Tree()->Handle(), data, &point, *effect);
  return Guarded([&] {
    dragSource_ = GetTreeFromDataObject(data);
    return host->DragEnter(keyState, ToPoint(point), *effect);
  });
}

HRESULT TVTDragManager::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  if (UseService()) dropTargetService_->DragOver(&point, *effect);
  TVTTransferHost* host = FindTransferHost(ownerId_);
  if (!host) return E_UNEXPECTED;
  return Guarded([&] { return host->DragOver(dragSource_, keyState, dsDragMove, ToPoint(point), *effect); });
}

HRESULT TVTDragManager::DragLeave() {
  if (UseService()) dropTargetService_->DragLeave();
  HRESULT hr = S_OK;
  if (TVTTransferHost* host = FindTransferHost(ownerId_))
    hr = Guarded([&] {
      host->DragLeave();
      return S_OK;
    });
  dragSource_ = nullptr;
  isDropTarget_ = false;
  dataObject_.Reset();
  return hr;
}

HRESULT TVTDragManager::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  if (UseService()) dropTargetService_->Drop(data, &point, *effect);
  HRESULT hr = E_UNEXPECTED;
  if (TVTTransferHost* host = FindTransferHost(ownerId_))
    hr = Guarded([&] { return host->DragDrop(data, keyState, ToPoint(point), *effect); });
  isDropTarget_ = false;
  dataObject_.Reset();
  return hr;
}

HRESULT TVTDragManager::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

HRESULT TVTDragManager::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  const DWORD buttons = keyState & (MK_LBUTTON | MK_RBUTTON);
  if (escapePressed || buttons == (MK_LBUTTON | MK_RBUTTON)) return DRAGDROP_S_CANCEL;
  return buttons ? S_OK : DRAGDROP_S_DROP;
}
