// Drop targets by window, and the bridge that lets a registered window take
// drags from other programs through Qt.
#include "platform/ole/DropTargets.h"

#include <QDropEvent>
#include <QWidget>
#include <map>

#include "platform/controls/Forms.h"
#include "platform/controls/QtInternals.h"
#include "platform/ole/InputTracker.h"
#include "platform/ole/QtMime.h"

namespace {

DWORD KeyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  DWORD k = 0;
  if (buttons & Qt::LeftButton) k |= MK_LBUTTON;
  if (buttons & Qt::RightButton) k |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) k |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) k |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) k |= MK_CONTROL;
  if (modifiers & Qt::AltModifier) k |= MK_ALT;
  return k;
}

// Turns Qt's drag events on a registered window into IDropTarget calls.
class TQtDropBridge : public QObject {
 public:
  TQtDropBridge(QWidget* widget, IDropTarget* target) : QObject(widget), target_(target) {
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
  }
  IDropTarget* Target() const { return target_.Get(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        GuardedCall(nullptr, [&] { Handle(static_cast<QWidget*>(watched), static_cast<QDropEvent*>(event)); });
        return true;
      case QEvent::DragLeave:
        if (data_) GuardedCall(nullptr, [&] { target_->DragLeave(); });
        data_.Reset();
        return true;
      default: return false;
    }
  }

 private:
  void Handle(QWidget* widget, QDropEvent* e) {
    const QPoint screen = widget->mapToGlobal(e->position().toPoint());
    const POINTL point{screen.x(), screen.y()};
    const DWORD keyState = KeyStateOf(e->buttons(), e->modifiers());
    const DWORD allowed = EffectsFromQt(e->possibleActions());
    DWORD effect = allowed;
    HRESULT hr = S_OK;
    if (e->type() == QEvent::DragEnter) {
      data_ = DataObjectFromMime(e->mimeData());
      hr = target_->DragEnter(data_.Get(), keyState, point, &effect);
    } else if (!data_) {
      hr = E_UNEXPECTED;
    } else if (e->type() == QEvent::DragMove) {
      hr = target_->DragOver(keyState, point, &effect);
    } else {
      hr = target_->Drop(data_.Get(), keyState, point, &effect);
      data_.Reset();
    }
    effect = SUCCEEDED(hr) ? effect & allowed : DROPEFFECT_NONE;
    e->setDropAction(QtActionFromEffect(effect));
    // An entered window keeps receiving moves; whether a drop is allowed
    // here is what acceptance of a move or drop tells.
    if (effect != DROPEFFECT_NONE || e->type() == QEvent::DragEnter) e->accept();
    else e->ignore();
  }

  TComPtr<IDropTarget> target_;
  TComPtr<IDataObject> data_;
};

std::map<HWND, TQtDropBridge*>& Registered() {
  static std::map<HWND, TQtDropBridge*> registered;
  return registered;
}

}  // namespace

DWORD EffectsFromQt(Qt::DropActions actions) {
  DWORD e = 0;
  if (actions & Qt::CopyAction) e |= DROPEFFECT_COPY;
  if (actions & Qt::MoveAction) e |= DROPEFFECT_MOVE;
  if (actions & Qt::LinkAction) e |= DROPEFFECT_LINK;
  return e;
}

Qt::DropAction QtActionFromEffect(DWORD effect) {
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

Qt::DropActions QtActionsFromEffects(DWORD effects) {
  Qt::DropActions a;
  if (effects & DROPEFFECT_COPY) a |= Qt::CopyAction;
  if (effects & DROPEFFECT_MOVE) a |= Qt::MoveAction;
  if (effects & DROPEFFECT_LINK) a |= Qt::LinkAction;
  return a;
}

HRESULT RegisterDragDrop(HWND wnd, IDropTarget* target) {
  if (!target) return E_INVALIDARG;
  TControl* control = TControl::FromHandle(wnd);
  if (!control || !control->Widget()) return DRAGDROP_E_INVALIDHWND;
  if (Registered().count(wnd)) return DRAGDROP_E_ALREADYREGISTERED;
  InstallInputTracker();
  auto* bridge = new TQtDropBridge(control->Widget(), target);
  Registered()[wnd] = bridge;
  // The registration ends with the window.
  QObject::connect(bridge, &QObject::destroyed, [wnd] { Registered().erase(wnd); });
  return S_OK;
}

HRESULT RevokeDragDrop(HWND wnd) {
  auto it = Registered().find(wnd);
  if (it == Registered().end()) return DRAGDROP_E_NOTREGISTERED;
  TQtDropBridge* bridge = it->second;
  Registered().erase(it);
  if (QWidget* w = qobject_cast<QWidget*>(bridge->parent())) w->setAcceptDrops(false);
  delete bridge;
  return S_OK;
}

TComPtr<IDropTarget> FindDropTarget(TControl* control, HWND& window) {
  for (; control; control = control->Parent()) {
    auto it = Registered().find(control->Handle());
    if (it != Registered().end()) {
      window = it->first;
      return TComPtr<IDropTarget>(it->second->Target());
    }
  }
  window = nullptr;
  return {};
}
