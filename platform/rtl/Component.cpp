#include "platform/rtl/Component.h"

#include <algorithm>

namespace {

bool IsIdentifier(const AnsiString& s)
{
  if (s.empty())
    return true;
  auto isStart = [](unsigned char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  auto isPart = [&](unsigned char c) { return isStart(c) || (c >= '0' && c <= '9'); };
  if (!isStart(static_cast<unsigned char>(s[0])))
    return false;
  return std::all_of(s.begin() + 1, s.end(), [&](char c) { return isPart(static_cast<unsigned char>(c)); });
}

void EraseOne(std::vector<TComponent*>& list, TComponent* item)
{
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end())
    list.erase(it);
}

}  // namespace

TComponent::TComponent(TComponent* AOwner)
{
  if (AOwner)
    AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
  state_ |= csDestroying;
  NotifyRemoval();
  DestroyComponents();
  if (owner_)
    owner_->RemoveComponent(this);
}

AnsiString TComponent::ClassName() const
{
  return "TComponent";
}

void TComponent::SetName(const AnsiString& value)
{
  if (value == name_)
    return;
  if (!IsIdentifier(value))
    throw EComponentError("Component name \"" + value + "\" is not a valid identifier");
  if (owner_ && !value.empty()) {
    TComponent* other = owner_->FindComponent(value);
    if (other && other != this)
      throw EComponentError("A component named " + value + " already exists");
  }
  name_ = value;
}

TComponent* TComponent::Components(int index) const
{
  if (index < 0 || index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const
{
  if (!owner_)
    return -1;
  const auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const AnsiString& name) const
{
  if (name.empty())
    return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name))
      return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
  if (!component || component->owner_ == this)
    return;
  if (component->owner_)
    component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
  if (!component || component->owner_ != this)
    return;
  Notification(component, opRemove);
  EraseOne(components_, component);
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents()
{
  while (!components_.empty()) {
    TComponent* last = components_.back();
    RemoveComponent(last);
    delete last;
  }
}

void TComponent::FreeNotification(TComponent* AComponent)
{
  if (!AComponent || AComponent == this)
    return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end()) {
    freeNotifies_.push_back(AComponent);
    AComponent->FreeNotification(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent)
{
  if (!AComponent)
    return;
  auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent);
  if (it == freeNotifies_.end())
    return;
  freeNotifies_.erase(it);
  AComponent->RemoveFreeNotification(this);
}

void TComponent::SetLoading(bool loading)
{
  if (loading) {
    state_ |= csLoading;
    return;
  }
  const bool wasLoading = IsLoading();
  state_ &= ~csLoading;
  if (wasLoading)
    Loaded();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation)
{
  if (Operation == opRemove)
    EraseOne(freeNotifies_, AComponent);
}

void TComponent::NotifyRemoval()
{
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    EraseOne(other->freeNotifies_, this);
    other->Notification(this, opRemove);
  }
}
