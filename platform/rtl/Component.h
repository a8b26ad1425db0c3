// TComponent: the non-visual component model shared by every component of
// the system, visual or not. A component has an owner that frees it, a name
// unique among its owner's components (compared without case), the list of
// components it owns in creation order, a Tag, free notifications (a
// component told of another's destruction drops its references to it) and a
// loading state. Controls (platform/controls) build on it; components that
// have no user interface (the HTTP client, sockets) use it without Qt.
#pragma once

#include "platform/rtl/Classes.h"

#include <cstdint>
#include <vector>

enum TOperation { opInsert, opRemove };

// Bits of ComponentState.
enum : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
};

class TComponent : public TObject {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  AnsiString ClassName() const override;

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  // Raises EComponentError when another component of the same owner already
  // has the name (compared without case) or the name is not an identifier.
  virtual void SetName(const AnsiString& value);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Checked: EListError outside 0..ComponentCount-1.
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  // The owned component with this name (compared without case), or nullptr.
  TComponent* FindComponent(const AnsiString& name) const;

  // Takes ownership of / releases a component (it keeps living).
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Frees every owned component, last created first.
  void DestroyComponents();

  // Asks AComponent to call Notification(this, opRemove) on destruction.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t value) { tag_ = value; }

  unsigned ComponentState() const { return state_; }
  void SetLoading(bool loading);
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }
  // Called after loading ends; controls finish their set-up here.
  virtual void Loaded() {}

protected:
  // AComponent was inserted or is being removed (destroyed); descendants
  // holding pointers to it drop them on opRemove.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void NotifyRemoval();

  TComponent* owner_ = nullptr;
  AnsiString name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  intptr_t tag_ = 0;
  unsigned state_ = 0;
};

class EComponentError : public Exception {
public:
  using Exception::Exception;
};
