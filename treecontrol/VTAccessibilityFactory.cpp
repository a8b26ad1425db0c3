#include "treecontrol/VTAccessibilityFactory.h"

#include <algorithm>

void TVTAccessibilityFactory::RegisterAccessibleProvider(ITreeAccessibleProvider* provider) {
  if (provider && std::find(providers_.begin(), providers_.end(), provider) == providers_.end())
    providers_.push_back(provider);
}

void TVTAccessibilityFactory::UnRegisterAccessibleProvider(ITreeAccessibleProvider* provider) {
  providers_.erase(std::remove(providers_.begin(), providers_.end(), provider), providers_.end());
}

TComPtr<IAccessible> TVTAccessibilityFactory::CreateAccessible(TBaseVirtualTree* tree) {
  if (!tree) return {};
  const TTreeObjects known = objects_.count(tree) ? objects_[tree] : TTreeObjects();
  if (!known.Accessible && !providers_.empty()) return providers_.front()->CreateAccessible(tree);
  if (known.AccessibleItem) return known.AccessibleItem;
  if (providers_.empty()) return {};
  for (size_t i = providers_.size() - 1; i >= 1; --i)
    if (TComPtr<IAccessible> made = providers_[i]->CreateAccessible(tree)) return made;
  return providers_.front()->CreateAccessible(tree);
}

LRESULT TVTAccessibilityFactory::AnswerGetObject(TBaseVirtualTree* tree, LPARAM objectId) {
  if (!tree) return 0;
  TTreeObjects objects = objects_.count(tree) ? objects_[tree] : TTreeObjects();
  if (!objects.Accessible) objects.Accessible = CreateAccessible(tree);
  if (objects.Accessible) objects_[tree].Accessible = objects.Accessible;
  if (!objects.AccessibleItem) objects.AccessibleItem = CreateAccessible(tree);
  if (objects.AccessibleItem) objects_[tree].AccessibleItem = objects.AccessibleItem;
  if (objectId != OBJID_CLIENT || !objects.Accessible) return 0;
  return reinterpret_cast<LRESULT>(objects.Accessible.Get());
}

TComPtr<IAccessible> TVTAccessibilityFactory::Accessible(TBaseVirtualTree* tree) const {
  auto it = objects_.find(tree);
  return it == objects_.end() ? TComPtr<IAccessible>() : it->second.Accessible;
}

TComPtr<IAccessible> TVTAccessibilityFactory::AccessibleItem(TBaseVirtualTree* tree) const {
  auto it = objects_.find(tree);
  return it == objects_.end() ? TComPtr<IAccessible>() : it->second.AccessibleItem;
}

TVTAccessibilityFactory& GetAccessibilityFactory() {
  static TVTAccessibilityFactory factory;
  return factory;
}
