// The COM object model in plain C++: result codes, interface ids, IUnknown
// with reference counting and QueryInterface, a smart pointer and a base
// class that implements IUnknown for any set of interfaces.
//
// Contract
// - HRESULT values are the usual ones; SUCCEEDED/FAILED test the sign bit.
// - Every interface derives from IUnknown and names its id as `iid`.
// - Objects derived from TInterfacedObject start with a count of 0: the
//   first holder (a TComPtr, or a QueryInterface that hands it out) adds the
//   first reference, and the last Release deletes the object.
// - QueryInterface with an unknown id sets *out to nullptr and answers
//   E_NOINTERFACE; with IID_IUnknown it always gives the same pointer (the
//   object's identity), so two interfaces of one object compare equal there.
// - CoCreateInstance knows no classes here: the shell's helpers (drag image
//   service) are reported unavailable with REGDB_E_CLASSNOTREG.
#pragma once

#include <atomic>
#include <cstdint>
#include <tuple>
#include <utility>

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;

constexpr HRESULT S_OK = 0, S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001), E_NOINTERFACE = HRESULT(0x80004002),
                  E_POINTER = HRESULT(0x80004003), E_ABORT = HRESULT(0x80004004),
                  E_FAIL = HRESULT(0x80004005), E_UNEXPECTED = HRESULT(0x8000FFFF),
                  E_OUTOFMEMORY = HRESULT(0x8007000E), E_INVALIDARG = HRESULT(0x80070057);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = HRESULT(0x80040003),
                  OLE_E_NOCONNECTION = HRESULT(0x80040004), OLE_S_USEREG = HRESULT(0x00040000);
constexpr HRESULT DV_E_FORMATETC = HRESULT(0x80040064), DV_E_DVTARGETDEVICE = HRESULT(0x80040065),
                  DV_E_STGMEDIUM = HRESULT(0x80040066), DV_E_STATDATA = HRESULT(0x80040067),
                  DV_E_LINDEX = HRESULT(0x80040068), DV_E_TYMED = HRESULT(0x80040069),
                  DV_E_CLIPFORMAT = HRESULT(0x8004006A), DV_E_DVASPECT = HRESULT(0x8004006B),
                  DATA_S_SAMEFORMATETC = HRESULT(0x00040130);
constexpr HRESULT DRAGDROP_S_DROP = HRESULT(0x00040100), DRAGDROP_S_CANCEL = HRESULT(0x00040101),
                  DRAGDROP_S_USEDEFAULTCURSORS = HRESULT(0x00040102),
                  DRAGDROP_E_NOTREGISTERED = HRESULT(0x80040100),
                  DRAGDROP_E_ALREADYREGISTERED = HRESULT(0x80040101),
                  DRAGDROP_E_INVALIDHWND = HRESULT(0x80040102);
constexpr HRESULT CLIPBRD_E_CANT_OPEN = HRESULT(0x800401D0), CLIPBRD_E_CANT_SET = HRESULT(0x800401D2),
                  CLIPBRD_E_BAD_DATA = HRESULT(0x800401D3);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154), CO_E_NOTINITIALIZED = HRESULT(0x800401F0),
                  STG_E_INVALIDFUNCTION = HRESULT(0x80030001), STG_E_MEDIUMFULL = HRESULT(0x80030070);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// The ids of the standard OLE interfaces share this tail.
constexpr GUID OleIid(uint32_t data1) { return {data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

class IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000000);
  virtual HRESULT QueryInterface(REFIID riid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};
constexpr IID IID_IUnknown = IUnknown::iid;

// Holds one reference to an interface.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  TComPtr(const TComPtr& o) : TComPtr(o.p_) {}
  TComPtr(TComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~TComPtr() { Reset(); }
  TComPtr& operator=(TComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  // Takes over a reference the caller already owns (an out parameter).
  static TComPtr Adopt(T* p) {
    TComPtr r;
    r.p_ = p;
    return r;
  }
  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // The address for an out parameter; releases what was held.
  T** Receive() {
    Reset();
    return &p_;
  }
  // Hands the reference to the caller (for out parameters).
  T* Detach() { return std::exchange(p_, nullptr); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  friend bool operator==(const TComPtr& a, const TComPtr& b) { return a.p_ == b.p_; }

 private:
  T* p_ = nullptr;
};

// Asks obj for interface T; empty when it has none.
template <class T, class U>
TComPtr<T> QueryInterfaceOf(U* obj) {
  T* out = nullptr;
  if (!obj || FAILED(obj->QueryInterface(T::iid, reinterpret_cast<void**>(&out)))) return {};
  return TComPtr<T>::Adopt(out);
}

// Whether a and b are interfaces of one object.
bool SameObject(IUnknown* a, IUnknown* b);

// IUnknown for an object implementing Interfaces (each derived from IUnknown).
template <class... Interfaces>
class TInterfacedObject : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown) *out = Identity();
    else (void)((riid == Interfaces::iid ? (*out = static_cast<Interfaces*>(this), true) : false) || ...);
    if (!*out) *out = OtherInterface(riid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refCount_; }
  ULONG Release() override {
    ULONG left = --refCount_;
    if (left == 0) delete this;
    return left;
  }
  ULONG RefCount() const { return refCount_; }

 protected:
  TInterfacedObject() = default;
  ~TInterfacedObject() override = default;
  // Further interfaces that a derived class answers (nullptr: none).
  virtual void* OtherInterface(REFIID) { return nullptr; }
  IUnknown* Identity() { return static_cast<std::tuple_element_t<0, std::tuple<Interfaces...>>*>(this); }

 private:
  std::atomic<ULONG> refCount_{0};
};

constexpr DWORD CLSCTX_INPROC_SERVER = 1, CLSCTX_LOCAL_SERVER = 4;
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** out);
