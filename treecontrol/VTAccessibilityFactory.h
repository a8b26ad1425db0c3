// The accessibility factory: providers that build accessible objects for
// trees register here, and a tree asks the one process-wide factory for its
// own accessible object and for that of its focused item (WM_GETOBJECT).
// This platform registers no provider, so a tree answers WM_GETOBJECT with 0.
//
// Contract
// - Providers are asked in the order the algorithm below gives; the factory
//   only brokers. The objects a tree received are kept per tree until
//   ForgetTree (a tree calls it when it goes).
#pragma once

#include <map>
#include <vector>

#include "platform/controls/Accessibility.h"
#include "platform/ole/ComBase.h"

class TBaseVirtualTree;

class IAccessible : public IUnknown {
 public:
  static constexpr IID iid = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
};

class ITreeAccessibleProvider {
 public:
  virtual ~ITreeAccessibleProvider() = default;
  virtual TComPtr<IAccessible> CreateAccessible(TBaseVirtualTree* tree) = 0;
};

class TVTAccessibilityFactory {
 public:
  // The provider stays registered until it is unregistered; the caller keeps it alive.
  void RegisterAccessibleProvider(ITreeAccessibleProvider* provider);
  void UnRegisterAccessibleProvider(ITreeAccessibleProvider* provider);
  int ProviderCount() const { return int(providers_.size()); }

  TComPtr<IAccessible> CreateAccessible(TBaseVirtualTree* tree);
  // The tree's answer to WM_GETOBJECT: fills its own and its focused item's
  // object when empty; for the client object the tree's object (0 without one).
  LRESULT AnswerGetObject(TBaseVirtualTree* tree, LPARAM objectId);
  TComPtr<IAccessible> Accessible(TBaseVirtualTree* tree) const;
  TComPtr<IAccessible> AccessibleItem(TBaseVirtualTree* tree) const;
  void ForgetTree(TBaseVirtualTree* tree) { objects_.erase(tree); }

 private:
  struct TTreeObjects {
    TComPtr<IAccessible> Accessible;
    TComPtr<IAccessible> AccessibleItem;
  };
  std::vector<ITreeAccessibleProvider*> providers_;
  std::map<TBaseVirtualTree*, TTreeObjects> objects_;
};

TVTAccessibilityFactory& GetAccessibilityFactory();
