// Array enumerators (formats, advise connections) and the data-advise holder.
#include <memory>

#include "platform/ole/ObjIdl.h"

namespace {

void CopyOut(FORMATETC& to, const FORMATETC& from) { to = from; }
void CopyOut(STATDATA& to, const STATDATA& from) {
  to = from;
  if (to.pAdvSink) to.pAdvSink->AddRef();
}

// An enumerator over a snapshot of items, shared by its clones.
template <class Interface, class Item>
class TArrayEnum : public TInterfacedObject<Interface> {
 public:
  TArrayEnum(std::shared_ptr<const std::vector<Item>> items, size_t index)
      : items_(std::move(items)), index_(index) {}

  HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out && count) return E_POINTER;
    ULONG n = 0;
    while (n < count && index_ < items_->size()) CopyOut(out[n++], (*items_)[index_++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    if (index_ + count > items_->size()) return S_FALSE;
    index_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    index_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** out) override {
    if (!out) return E_POINTER;
    *out = new TArrayEnum(items_, index_);
    (*out)->AddRef();
    return S_OK;
  }

 private:
  std::shared_ptr<const std::vector<Item>> items_;
  size_t index_;
};

// Holds each sink once per Advise; releasing the holder releases the sinks.
class TDataAdviseHolder : public TInterfacedObject<IDataAdviseHolder> {
 public:
  ~TDataAdviseHolder() override {
    for (STATDATA& s : sinks_) s.pAdvSink->Release();
  }

  HRESULT Advise(IDataObject* data, const FORMATETC* format, DWORD advf, IAdviseSink* sink,
                 DWORD* connection) override {
    if (connection) *connection = 0;
    if (!format || !sink) return E_INVALIDARG;
    STATDATA s{*format, advf, sink, ++lastConnection_};
    sink->AddRef();
    sinks_.push_back(s);
    if (connection) *connection = s.dwConnection;
    if (data && (advf & ADVF_PRIMEFIRST)) Notify(data, sinks_.back());
    return S_OK;
  }

  HRESULT Unadvise(DWORD connection) override {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it)
      if (it->dwConnection == connection) {
        it->pAdvSink->Release();
        sinks_.erase(it);
        return S_OK;
      }
    return OLE_E_NOCONNECTION;
  }

  HRESULT EnumAdvise(IEnumSTATDATA** out) override {
    if (!out) return E_POINTER;
    *out = new TArrayEnum<IEnumSTATDATA, STATDATA>(std::make_shared<const std::vector<STATDATA>>(sinks_), 0);
    (*out)->AddRef();
    return S_OK;
  }

  HRESULT SendOnDataChange(IDataObject* data, DWORD, DWORD) override {
    // A sink may unadvise while it is told; work on a snapshot.
    std::vector<DWORD> connections;
    for (const STATDATA& s : sinks_) connections.push_back(s.dwConnection);
    for (DWORD c : connections)
      for (const STATDATA& s : sinks_)
        if (s.dwConnection == c) {
          const STATDATA told = s;
          Notify(data, told);
          if (told.advf & ADVF_ONLYONCE) Unadvise(c);
          break;
        }
    return S_OK;
  }

 private:
  static void Notify(IDataObject* data, STATDATA s) {
    TComPtr<IAdviseSink> sink(s.pAdvSink);
    STGMEDIUM medium;
    if (!(s.advf & ADVF_NODATA) && data) data->GetData(&s.formatetc, &medium);
    sink->OnDataChange(&s.formatetc, &medium);
    ReleaseStgMedium(&medium);
  }

  std::vector<STATDATA> sinks_;
  DWORD lastConnection_ = 0;
};

}  // namespace

HRESULT CreateFormatEnumerator(const std::vector<FORMATETC>& formats, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = new TArrayEnum<IEnumFORMATETC, FORMATETC>(std::make_shared<const std::vector<FORMATETC>>(formats), 0);
  (*out)->AddRef();
  return S_OK;
}

HRESULT CreateDataAdviseHolder(IDataAdviseHolder** out) {
  if (!out) return E_POINTER;
  *out = new TDataAdviseHolder();
  (*out)->AddRef();
  return S_OK;
}
