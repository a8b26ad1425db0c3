// The class-library drag: an application-wide event filter follows the
// pointer while a drag of one of the program's controls runs.
#include "platform/controls/DragControl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "platform/controls/Controls.h"
#include "platform/controls/QtInternals.h"
#include "platform/graphics/Colors.h"
#include "platform/graphics/Cursors.h"
#include "platform/graphics/QtBridge.h"

namespace {

QPoint g_pointer;  // where the program last saw the pointer (screen)

// Where the window system has no screen to read (the offscreen platform),
// the desktop shows this colour.
const QColor DesktopColor(0x30, 0x50, 0x70);

// Windows kept above all others, as a window manager keeps them: menus and
// other popups, tool tips, hints and drag pictures.
bool StaysAbove(const QWidget* w) {
  const Qt::WindowType type = w->windowType();
  return type == Qt::Popup || type == Qt::ToolTip || (w->windowFlags() & Qt::WindowStaysOnTopHint);
}

class TPointerWatch : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
        if (watched->isWidgetType()) g_pointer = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        break;
      default: break;
    }
    return false;
  }
};

// What a drag carries when the source supplies nothing: the control itself.
class TControlDragObject : public TDragObject {
 public:
  using TDragObject::TDragObject;
};

bool IsMouse(QEvent::Type type) {
  return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
}

class TClassLibraryDrag : public QObject {
 public:
  TClassLibraryDrag(TControl* source, int threshold) : source_(source), threshold_(threshold), start_(g_pointer) {}
  ~TClassLibraryDrag() override {
    if (cursorShown_) QGuiApplication::restoreOverrideCursor();
  }

  TControl* Source() const { return source_; }
  void Carry(TDragObject* supplied) {
    if (!supplied) {
      own_ = std::make_unique<TControlDragObject>(source_);
      supplied = own_.get();
    }
    object_ = supplied;
  }
  void BeginAt(QPoint pointer) {
    begun_ = true;
    Follow(pointer);
  }
  void Forget(TControl* control) {
    if (control == target_) target_ = nullptr;
  }
  // Cancels: the target is left and the source's end hook runs.
  void Cancel(QPoint pointer) {
    if (target_) Send(target_, dmDragLeave, pointer);
    target_ = nullptr;
    Finish(nullptr, pointer);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (!watched->isWidgetType()) return false;
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      Guarded([&] { Cancel(g_pointer); });
      return true;
    }
    if (!IsMouse(type)) return begun_ && (type == QEvent::KeyPress || type == QEvent::KeyRelease);
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pointer = mouse->globalPosition().toPoint();
    g_pointer = pointer;
    if (type == QEvent::MouseMove) {
      if (!begun_) {
        const QPoint moved = pointer - start_;
        if (std::abs(moved.x()) < threshold_ && std::abs(moved.y()) < threshold_) return false;
        begun_ = true;
      }
      Guarded([&] { Follow(pointer); });
      return true;
    }
    if (type == QEvent::MouseButtonRelease && mouse->buttons() == Qt::NoButton)
      Guarded([&] { Drop(pointer); });
    else if (type != QEvent::MouseButtonRelease)
      Guarded([&] { Cancel(pointer); });  // a second button cancels
    return true;
  }

 private:
  LRESULT Send(TControl* control, TDragMessage message, QPoint pointer) {
    TDragRec record;
    record.Pos = {pointer.x(), pointer.y()};
    record.Source = object_;
    record.Target = control;
    return control->Perform(CM_DRAG, WPARAM(message), LPARAM(&record));
  }

  TControl* TargetAt(QPoint pointer) {
    TControl* under = FindDragTargetAt({pointer.x(), pointer.y()});
    if (!under) return nullptr;
    auto* found = reinterpret_cast<TControl*>(Send(under, dmFindTarget, pointer));
    return found ? found : under;
  }

  void Follow(QPoint pointer) {
    TControl* target = TargetAt(pointer);
    if (target != target_) {
      if (target_) Send(std::exchange(target_, nullptr), dmDragLeave, pointer);
      target_ = target;
      accepted_ = target_ && Send(target_, dmDragEnter, pointer) != 0;
    } else if (target_) {
      accepted_ = Send(target_, dmDragMove, pointer) != 0;
    }
    ShowCursor();
  }

  void Drop(QPoint pointer) {
    if (!begun_) return Finish(nullptr, pointer);
    Follow(pointer);
    TControl* target = std::exchange(target_, nullptr);
    if (!target || !accepted_) {
      if (target) Send(target, dmDragLeave, pointer);
      return Finish(nullptr, pointer);
    }
    Send(target, dmDragDrop, pointer);
    Finish(target, pointer);
  }

  void ShowCursor() {
    const QCursor cursor = NativeCursor(accepted_ ? source_->DragCursor() : crNoDrop);
    if (cursorShown_) QGuiApplication::changeOverrideCursor(cursor);
    else QGuiApplication::setOverrideCursor(cursor);
    cursorShown_ = true;
  }

  void Finish(TControl* target, QPoint pointer);

  // Handlers must not throw through Qt's dispatch; the application's handler
  // sees what they raise.
  template <class F>
  void Guarded(F&& call) {
    GuardedCall(source_, call);
  }

  TControl* source_;
  int threshold_;
  QPoint start_;
  std::unique_ptr<TDragObject> own_;
  TDragObject* object_ = nullptr;
  bool begun_ = false;
  TControl* target_ = nullptr;
  bool accepted_ = false;
  bool cursorShown_ = false;
};

TClassLibraryDrag* g_drag = nullptr;

void TClassLibraryDrag::Finish(TControl* target, QPoint pointer) {
  // The drag ends before the hook runs, so the hook may start another.
  std::unique_ptr<TClassLibraryDrag> self(this);
  g_drag = nullptr;
  qApp->removeEventFilter(this);
  TControl* source = source_;
  if (!source) return;
  const TPoint at = (target ? target : source)->ScreenToClient({pointer.x(), pointer.y()});
  source->DoEndDrag(target, at.X, at.Y);
}

}  // namespace

void WatchDragInput() {
  static TPointerWatch* watch = nullptr;
  if (watch || !qApp) return;
  watch = new TPointerWatch;
  qApp->installEventFilter(watch);
}

TControl* DragSourceControl() { return g_drag ? g_drag->Source() : nullptr; }

void CancelDrag() {
  if (g_drag) g_drag->Cancel(g_pointer);
}

void ForgetDragControl(TControl* control) {
  if (!g_drag) return;
  if (g_drag->Source() != control) return g_drag->Forget(control);
  // A source that goes away ends its drag without its hooks.
  g_drag->Forget(control);
  qApp->removeEventFilter(g_drag);
  delete std::exchange(g_drag, nullptr);
}

void TControl::BeginDrag(bool immediate, int threshold) {
  if (g_drag || !qApp) return;
  WatchDragInput();
  if (threshold < 0) threshold = GetSystemMetrics(SM_CXDRAG);
  g_drag = new TClassLibraryDrag(this, std::max(1, threshold));
  TDragObject* supplied = nullptr;
  DoStartDrag(supplied);
  if (!g_drag) return;  // the handler destroyed the source
  g_drag->Carry(supplied);
  qApp->installEventFilter(g_drag);
  if (immediate) g_drag->BeginAt(g_pointer);
}

bool TControl::Dragging() const { return g_drag && g_drag->Source() == this; }

void TControl::DoStartDrag(TDragObject*& dragObject) {
  if (OnStartDrag) OnStartDrag(this, dragObject);
}

void TControl::DoEndDrag(TObject* target, int x, int y) {
  if (OnEndDrag) OnEndDrag(this, target, x, y);
}

void TControl::DragOver(TObject* source, int x, int y, TDragMessage state, bool& accept) {
  accept = bool(OnDragOver);
  if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}

void TControl::DragDrop(TObject* source, int x, int y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

void TControl::DefaultDragMessage(TMessage& m) {
  auto& record = *reinterpret_cast<TDragRec*>(m.LParam);
  TObject* source = record.Source;
  if (dynamic_cast<TControlDragObject*>(record.Source)) source = record.Source->Control();
  const TPoint at = ScreenToClient(record.Pos);
  switch (TDragMessage(m.WParam)) {
    case dmFindTarget: m.Result = LRESULT(this); break;
    case dmDragEnter:
    case dmDragMove:
    case dmDragLeave: {
      bool accept = false;
      DragOver(source, at.X, at.Y, TDragMessage(m.WParam), accept);
      m.Result = accept ? 1 : 0;
      break;
    }
    case dmDragDrop: DragDrop(source, at.X, at.Y); break;
    default: break;
  }
}

bool WindowSystemHasScreen() {
  const QString name = QGuiApplication::platformName();
  return name != "offscreen" && name != "minimal";
}

bool LetsMouseThrough(const QWidget* window) {
  return window->testAttribute(Qt::WA_TransparentForMouseEvents) ||
         (window->windowFlags() & Qt::WindowTransparentForInput);
}

std::vector<QWidget*> WindowsTopFirst() {
  std::vector<QWidget*> order;
  auto add = [&](QWidget* w) {
    if (w && w->isVisible() && w->windowHandle() && std::find(order.begin(), order.end(), w) == order.end())
      order.push_back(w);
  };
  const QWidgetList all = QApplication::topLevelWidgets();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (StaysAbove(*it)) add(*it);
  add(QApplication::activePopupWidget());
  add(QApplication::activeModalWidget());
  add(QApplication::activeWindow());
  for (auto it = all.rbegin(); it != all.rend(); ++it) add(*it);
  return order;
}

TControl* FindDragTargetAt(TPoint screen) {
  const QPoint p(screen.X, screen.Y);
  for (QWidget* window : WindowsTopFirst()) {
    if (LetsMouseThrough(window) || !window->geometry().contains(p)) continue;
    QWidget* child = window->childAt(window->mapFromGlobal(p));
    return TControl::FromWidget(child ? child : window);
  }
  return nullptr;
}

bool GrabScreen(const TRect& area, TBitmap& picture) {
  picture.SetSize(std::max(0, area.Width()), std::max(0, area.Height()));
  picture.Canvas()->Brush().SetColor(clWindow);
  picture.Canvas()->FillRect(Rect(0, 0, picture.Width(), picture.Height()));
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || area.Width() <= 0 || area.Height() <= 0) return false;
  QPainter painter(&NativeImage(picture));
  if (!WindowSystemHasScreen()) {
    // No screen to read: it shows the program's windows over the desktop.
    const QRect wanted(area.Left, area.Top, area.Width(), area.Height());
    painter.fillRect(QRect(QPoint(0, 0), wanted.size()), DesktopColor);
    const std::vector<QWidget*> windows = WindowsTopFirst();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      const QRect part = (*it)->geometry() & wanted;
      if (!part.isEmpty())
        painter.drawPixmap(part.topLeft() - wanted.topLeft(), (*it)->grab(part.translated(-(*it)->geometry().topLeft())));
    }
    return true;
  }
  const QPixmap shot = screen->grabWindow(0, area.Left, area.Top, area.Width(), area.Height());
  if (shot.isNull()) return false;
  painter.drawPixmap(0, 0, shot);
  return true;
}
