#include "platform/ole/ComBase.h"

bool SameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return a == b;
  TComPtr<IUnknown> ia = QueryInterfaceOf<IUnknown>(a);
  TComPtr<IUnknown> ib = QueryInterfaceOf<IUnknown>(b);
  return ia && ia == ib;
}

HRESULT CoCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, void** out) {
  if (out) *out = nullptr;
  return REGDB_E_CLASSNOTREG;
}
