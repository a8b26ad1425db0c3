// The modal drag loop behind DoDragDrop.
#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <exception>

#include "platform/controls/Forms.h"
#include "platform/controls/QtInternals.h"
#include "platform/ole/DropTargets.h"
#include "platform/ole/InputTracker.h"
#include "platform/ole/QtMime.h"

namespace {

constexpr int kRepeatOverMs = 50;

bool IsInput(QEvent::Type t) {
  switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: return true;
    default: return false;
  }
}

Qt::CursorShape CursorFor(DWORD effect) {
  if (effect & DROPEFFECT_MOVE) return Qt::DragMoveCursor;
  if (effect & DROPEFFECT_COPY) return Qt::DragCopyCursor;
  if (effect & DROPEFFECT_LINK) return Qt::DragLinkCursor;
  return Qt::ForbiddenCursor;
}

class TDragLoop : public QObject {
 public:
  TDragLoop(IDataObject* data, IDropSource* source, DWORD okEffects)
      : data_(data), source_(source), okEffects_(okEffects) {}

  ~TDragLoop() override {
    if (cursorShown_) QGuiApplication::restoreOverrideCursor();
  }

  HRESULT Run(DWORD& effect) {
    position_ = TrackedPosition();
    if (!TrackedButtons()) pressedFallback_ = MK_LBUTTON;
    qApp->installEventFilter(this);
    QTimer repeat;
    repeat.setInterval(kRepeatOverMs);
    QObject::connect(&repeat, &QTimer::timeout, [this] { Guarded([this] { RepeatOver(); }); });
    repeat.start();
    Guarded([this] { Step(false); });
    while (!done_ && !Application->Terminated()) Application->HandleMessage();
    repeat.stop();
    qApp->removeEventFilter(this);
    if (!done_) Guarded([this] { Cancel(); });
    if (failure_) std::rethrow_exception(failure_);
    if (handOver_) return HandOver(effect);
    effect = effect_;
    return result_;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (done_ || !watched->isWidgetType() || !IsInput(event->type())) return false;
    TrackInput(event);
    if (event->type() == QEvent::MouseButtonRelease) pressedFallback_ = 0;
    bool escape = false;
    if (event->type() == QEvent::KeyPress) escape = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress ||
        event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)
      position_ = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (event->type() != QEvent::ShortcutOverride) Guarded([&] { Step(escape); });
    event->accept();
    return true;
  }

 private:
  DWORD KeyState() const {
    DWORD buttons = TrackedButtons();
    if (buttons) pressedFallback_ = 0;
    return buttons | pressedFallback_ | TrackedModifiers();
  }
  POINTL Point() const { return {position_.x(), position_.y()}; }

  // One turn of the loop: ask the source, then follow the mouse or finish.
  void Step(bool escape) {
    const DWORD keys = KeyState();
    const HRESULT hr = source_->QueryContinueDrag(escape, keys);
    if (hr != S_OK && hr != DRAGDROP_S_DROP) return Cancel();
    // A button released elsewhere than the last move still drops there.
    if (hr == S_OK || position_ != followed_) Follow(keys, hr == S_OK);
    if (hr == DRAGDROP_S_DROP && !done_) Drop(keys);
  }

  // Only a drag still in progress can go on in another program.
  void Follow(DWORD keys, bool mayHandOver) {
    followed_ = position_;
    // A drag picture under the pointer is looked through.
    TControl* under = FindDragTargetAt({position_.x(), position_.y()});
    if (!under && !QApplication::widgetAt(position_) && mayHandOver && WindowSystemHasScreen()) {
      Leave();
      handOver_ = true;
      done_ = true;
      return;
    }
    HWND window = nullptr;
    TComPtr<IDropTarget> target = FindDropTarget(under, window);
    if (window != targetWindow_) {
      Leave();
      if (target) Enter(target, window, keys);
    } else if (target_) {
      Over(keys);
    }
    Feedback();
  }

  void Enter(const TComPtr<IDropTarget>& target, HWND window, DWORD keys) {
    DWORD effect = okEffects_;
    targetWindow_ = window;
    if (FAILED(target->DragEnter(data_.Get(), keys, Point(), &effect))) {
      lastEffect_ = DROPEFFECT_NONE;
      return;
    }
    target_ = target;
    lastEffect_ = effect & (okEffects_ | DROPEFFECT_SCROLL);
  }

  void Over(DWORD keys) {
    DWORD effect = okEffects_;
    HRESULT hr = target_->DragOver(keys, Point(), &effect);
    lastEffect_ = SUCCEEDED(hr) ? effect & (okEffects_ | DROPEFFECT_SCROLL) : DROPEFFECT_NONE;
  }

  void Leave() {
    if (target_) std::exchange(target_, {})->DragLeave();
    targetWindow_ = nullptr;
    lastEffect_ = DROPEFFECT_NONE;
  }

  void RepeatOver() {
    if (done_ || !target_) return;
    Over(KeyState());
    Feedback();
  }

  void Feedback() {
    const DWORD effect = target_ ? lastEffect_ : DROPEFFECT_NONE;
    if (source_->GiveFeedback(effect) == DRAGDROP_S_USEDEFAULTCURSORS) {
      if (cursorShown_) QGuiApplication::changeOverrideCursor(QCursor(CursorFor(effect)));
      else QGuiApplication::setOverrideCursor(QCursor(CursorFor(effect)));
      cursorShown_ = true;
    } else if (cursorShown_) {
      QGuiApplication::restoreOverrideCursor();
      cursorShown_ = false;
    }
  }

  void Drop(DWORD keys) {
    done_ = true;
    result_ = DRAGDROP_S_DROP;
    effect_ = DROPEFFECT_NONE;
    if (!target_) return;
    if (!(lastEffect_ & okEffects_)) return Leave();
    DWORD effect = okEffects_;
    TComPtr<IDropTarget> target = std::exchange(target_, {});
    if (SUCCEEDED(target->Drop(data_.Get(), keys, Point(), &effect))) effect_ = effect & okEffects_;
  }

  void Cancel() {
    done_ = true;
    result_ = DRAGDROP_S_CANCEL;
    effect_ = DROPEFFECT_NONE;
    Leave();
  }

  // Other programs take the drag through Qt; its answer is the effect.
  HRESULT HandOver(DWORD& effect) {
    auto* drag = new QDrag(this);
    drag->setMimeData(new TDataObjectMime(data_.Get()));
    const Qt::DropActions allowed = QtActionsFromEffects(okEffects_);
    effect = EffectsFromQt(drag->exec(allowed, QtActionFromEffect(okEffects_ & DROPEFFECT_MOVE ? DROPEFFECT_MOVE
                                                                                                : okEffects_)));
    return effect ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
  }

  // Source and target code must not throw through Qt's dispatch: the first
  // exception ends the drag and is raised again by DoDragDrop.
  template <class F>
  void Guarded(F&& call) {
    try {
      call();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
      done_ = true;
      result_ = DRAGDROP_S_CANCEL;
      try {
        Leave();
      } catch (...) {
        target_.Reset();
      }
    }
  }

  TComPtr<IDataObject> data_;
  TComPtr<IDropSource> source_;
  DWORD okEffects_;
  mutable DWORD pressedFallback_ = 0;
  QPoint position_;
  QPoint followed_{-1000000, -1000000};
  TComPtr<IDropTarget> target_;
  HWND targetWindow_ = nullptr;
  DWORD lastEffect_ = DROPEFFECT_NONE;
  bool done_ = false;
  bool handOver_ = false;
  bool cursorShown_ = false;
  HRESULT result_ = DRAGDROP_S_CANCEL;
  DWORD effect_ = DROPEFFECT_NONE;
  std::exception_ptr failure_;
};

bool& DragRunning() {
  static bool running = false;
  return running;
}

}  // namespace

HRESULT DefaultQueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  if (escapePressed || (keyState & (MK_LBUTTON | MK_RBUTTON)) == (MK_LBUTTON | MK_RBUTTON))
    return DRAGDROP_S_CANCEL;
  if (keyState & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) return S_OK;
  return DRAGDROP_S_DROP;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect) {
  if (!data || !source || !effect) return E_INVALIDARG;
  *effect = DROPEFFECT_NONE;
  if (DragRunning()) return E_UNEXPECTED;
  InitializeControls();
  InstallInputTracker();
  DragRunning() = true;
  struct Done {
    ~Done() { DragRunning() = false; }
  } done;
  TDragLoop loop(data, source, okEffects);
  return loop.Run(*effect);
}
