#include "platform/controls/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <chrono>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Menus.h"
#include "platform/controls/QtInternals.h"
#include "platform/controls/StdCtrls.h"
#include "platform/graphics/QtBridge.h"
#include "platform/rtl/FileUtils.h"
#include "platform/shell/Shell.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;
TMouse* Mouse = nullptr;

namespace {

constexpr UINT CM_RELEASE = CM_BASE + 33;

// The form whose activation this program asked for last, while the window
// system's answer is on its way.
TForm* g_activationAsked = nullptr;

QEvent::Type DrainEventType() {
  static const auto type = QEvent::Type(QEvent::registerEventType());
  return type;
}

// Posts a drain event to the pump, from any thread. The event is made here
// and read on the user-interface thread only after Qt's event queue has
// handed it over under that queue's lock; Qt is not built for the thread
// checker, which cannot see that lock, so the test programs' thread-checker
// suppressions name this function.
void PostDrainEvent(QObject* pump) { QCoreApplication::postEvent(pump, new QEvent(DrainEventType())); }

// Serves the user-interface thread's message queue from Qt's event loop:
// a wake posts a drain event; the next due timer arms a single-shot timer.
class TQueuePump : public QObject {
 public:
  TQueuePump() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Drain(); });
  }

  bool event(QEvent* e) override {
    if (e->type() != DrainEventType()) return QObject::event(e);
    Drain();
    return true;
  }

  void Wake() { PostDrainEvent(this); }

 private:
  void Drain() {
    int next = -1;
    bool failed = true;
    bool quit = false;
    GuardedCall(nullptr, [&] {
      next = DrainMainThreadQueue(&quit);
      failed = false;
    });
    // A WM_QUIT posted to the user-interface thread ends the application's
    // loop, as it ends a GetMessage loop.
    if (quit && Application && !Application->Terminated()) Application->Terminate();
    if (failed) {
      Wake();
      return;
    }
    if (next >= 0)
      timer_.start(next);
    else
      timer_.stop();
  }

  QTimer timer_;
};

TQueuePump* g_pump = nullptr;

// Windows paint at most once a frame (about 60 times a second).
constexpr auto FrameTime = std::chrono::microseconds(16667);
int g_paintHolds = 0;
int g_immediatePaints = 0;

// Qt asks a window to paint with an update request whenever something in
// it changed. A request that comes less than a frame after the window's
// last paint, or while painting is held, waits for the frame's end; what
// changed meanwhile is painted together then. The request waits at low
// priority, behind the message queue's drain, so the work that the
// changes started is served before they are painted.
class TFramePacer : public QObject {
 public:
  explicit TFramePacer(QWidget* window) : QObject(window), window_(window) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    Pacers().push_back(this);
  }
  ~TFramePacer() override { std::erase(Pacers(), this); }

  // True when the request must wait (it is asked again later).
  bool Defer() {
    const auto now = std::chrono::steady_clock::now();
    if (g_immediatePaints > 0 || (g_paintHolds == 0 && now >= nextFrame_)) {
      nextFrame_ = now + FrameTime;
      waiting_ = false;
      return false;
    }
    waiting_ = true;
    if (g_paintHolds == 0) Arm(now);
    return true;
  }

  static bool AnyWaiting() {
    return std::any_of(Pacers().begin(), Pacers().end(), [](const TFramePacer* pacer) { return pacer->waiting_; });
  }

  static void HoldsEnded() {
    const auto now = std::chrono::steady_clock::now();
    for (TFramePacer* pacer : Pacers())
      if (pacer->waiting_) pacer->Arm(now);
  }

 private:
  static std::vector<TFramePacer*>& Pacers() {
    static std::vector<TFramePacer*> pacers;
    return pacers;
  }

  void Arm(std::chrono::steady_clock::time_point now) {
    if (timer_.isActive()) return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextFrame_ - now).count();
    timer_.start(int(std::max<decltype(left)>(left, 0)));
  }

  QWidget* window_;
  QTimer timer_;
  std::chrono::steady_clock::time_point nextFrame_{};
  bool waiting_ = false;
};

// The form's own window events: the close box, activation, showing, and
// the pace of its paints.
class TFormFilter : public QObject {
 public:
  TFormFilter(TForm* form, QWidget* window) : QObject(window), form_(form), pacer_(new TFramePacer(window)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != form_->Widget()) return false;
    if (event->type() == QEvent::UpdateRequest) return pacer_->Defer();
    if (event->type() == QEvent::Close) {
      if (form_->Visible()) {
        event->ignore();
        GuardedCall(form_, [&] { form_->Close(); });
        return true;
      }
      return false;
    }
    if (event->type() == QEvent::WindowActivate)
      GuardedCall(form_, [&] { form_->ActivatedByWindowSystem(); });
    return false;
  }

 private:
  TForm* form_;
  TFramePacer* pacer_;
};

struct TWidgetsFactoryInstaller {
  TWidgetsFactoryInstaller() {
    SetGuiApplicationFactory([] {
      static int argc = 1;
      static char name[] = "harvella";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    });
  }
} g_factoryInstaller;

}  // namespace

void GuardedCall(TObject* sender, const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(sender, e);
  } catch (...) {
    if (Application) Application->HandleException(sender, Exception("Unknown exception"));
  }
}

void InitializeControls() {
  if (Application) return;
  EnsureGuiApplication();
  WatchSystemColorChanges();
  Application = new TApplication();
  Screen = new TScreen();
  Mouse = new TMouse();
  g_pump = new TQueuePump();
  SetMainThreadWakeHook([] {
    if (g_pump) g_pump->Wake();
  });
  SetMainThreadPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  // A box belongs to the user-interface thread: asked for on another thread,
  // it is shown there while the caller waits for the answer.
  SetMessageBoxHook([](const AnsiString& text, const AnsiString& caption, unsigned flags) {
    int result = IDCANCEL;
    RunOnMainThread([&] { result = Application->MessageBox(text, caption, flags); });
    return result;
  });
  g_pump->Wake();
}

TImmediatePaint::TImmediatePaint() { ++g_immediatePaints; }
TImmediatePaint::~TImmediatePaint() { --g_immediatePaints; }

TPaintHold::TPaintHold() { ++g_paintHolds; }

TPaintHold::~TPaintHold() {
  if (--g_paintHolds == 0) TFramePacer::HoldsEnded();
}

bool PaintsWaiting() { return TFramePacer::AnyWaiting(); }

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  InitializeControls();
  auto* window = new QWidget(nullptr, Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  client_ = new QWidget(window);
  SetWidget(window);
  window->installEventFilter(new TFormFilter(this, window));
  Font().SetName("DejaVu Sans");
  SetVisible(false);
  SetColor(clBtnFace);
  QPalette pal = window->palette();
  pal.setColor(QPalette::Window, ToQColor(clBtnFace));
  window->setPalette(pal);
  window->setAutoFillBackground(true);
  SetBounds(100, 100, 400, 300);
  Screen->AddForm(this);
}

TForm::~TForm() {
  if (OnDestroy) GuardedCall(this, [&] { OnDestroy(this); });
  Screen->RemoveForm(this);
  if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
}

void TForm::DefineProperties(TPropList& props) { TWinControl::DefineProperties(props); }

QWidget* TForm::ContainerWidget() const { return client_; }

TRect TForm::ClientRect() const {
  int menuHeight = menu_ && menu_->MenuBar() ? menu_->MenuBar()->sizeHint().height() : 0;
  return Rect(0, 0, Width(), std::max(0, Height() - menuHeight));
}

void TForm::BoundsChanged(bool sizeChanged) {
  int menuHeight = menu_ && menu_->MenuBar() ? menu_->MenuBar()->sizeHint().height() : 0;
  client_->setGeometry(0, menuHeight, Width(), std::max(0, Height() - menuHeight));
  if (menu_ && menu_->MenuBar()) menu_->MenuBar()->setGeometry(0, 0, Width(), menuHeight);
  TWinControl::BoundsChanged(sizeChanged);
}

void TForm::SetMenu(TMainMenu* menu) {
  if (menu_ && menu_->MenuBar()) menu_->MenuBar()->setParent(nullptr);
  menu_ = menu;
  if (menu_ && menu_->MenuBar()) {
    menu_->MenuBar()->setParent(Widget());
    menu_->MenuBar()->show();
  }
  BoundsChanged(true);
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  borderStyle_ = style;
  Qt::WindowFlags flags = Qt::Window;
  switch (style) {
    case bsNoneForm: flags |= Qt::FramelessWindowHint; break;
    case bsDialog: flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint; break;
    case bsToolWindow: case bsSizeToolWin: flags = Qt::Tool; break;
    default: break;
  }
  bool shown = Widget()->isVisible();
  Widget()->setWindowFlags(flags);
  if (shown) Widget()->show();
}

void TForm::TextChanged() { Widget()->setWindowTitle(ToQString(Caption())); }

void TForm::VisibleChanged() {
  if (Visible()) {
    Widget()->show();
    if (OnShow) OnShow(this);
  } else {
    Widget()->hide();
    if (OnHide) OnHide(this);
  }
}

void TForm::DoCreate() {
  if (created_) return;
  created_ = true;
  if (OnCreate) OnCreate(this);
}

void TForm::PlaceOnScreen() {
  if (position_ != poScreenCenter && position_ != poDesktopCenter && position_ != poMainFormCenter &&
      position_ != poOwnerFormCenter)
    return;
  QRect area(0, 0, 1024, 768);
  if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
  SetBounds(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2,
            Width(), Height());
}

void TForm::Show() {
  DoCreate();
  if (!Visible()) PlaceOnScreen();
  SetVisible(true);
  Activate();
}

bool TForm::Active() const { return Screen && Screen->ActiveForm() == this; }

void TForm::Activate() {
  // While an activation asked for is on its way, the window system's active
  // window is about to be that one, not the one it reports now.
  const bool answerAwaited = g_activationAsked && g_activationAsked->Widget()->isVisible();
  QWidget* activeOnceAnswered = answerAwaited ? g_activationAsked->Widget() : QApplication::activeWindow();
  if (Widget()->isVisible() && activeOnceAnswered != Widget()) {
    ++activationEchoes_;
    g_activationAsked = this;
    Widget()->raise();
    Widget()->activateWindow();
  }
  Screen->FormActivated(this);
}

void TForm::ActivatedByWindowSystem() {
  // The window system answers the activations this program asked for later,
  // in order; those were handled when they were asked for. The answer to
  // the last one ends the waiting. An activation nobody asked for (the
  // window manager's own) is taken, and the answers still awaited then no
  // longer tell which window is active.
  if (activationEchoes_ > 0) {
    if (--activationEchoes_ == 0 && g_activationAsked == this) ForgetActivationsAsked();
    return;
  }
  ForgetActivationsAsked();
  Screen->FormActivated(this);
}

void TForm::ForgetActivationsAsked() {
  for (int i = 0; i < Screen->FormCount(); ++i) Screen->Forms(i)->activationEchoes_ = 0;
  g_activationAsked = nullptr;
}

void TForm::ActivationChanged(bool active) {
  if (active) {
    if (activeControl_ && activeControl_->CanFocus()) activeControl_->SetFocus();
    if (OnActivate) OnActivate(this);
  } else if (OnDeactivate) {
    OnDeactivate(this);
  }
}

TWinControl* TForm::ActiveControl() const {
  TControl* c = TControl::FromWidget(QApplication::focusWidget());
  auto* w = dynamic_cast<TWinControl*>(c);
  return w && ContainsControl(w) ? w : activeControl_;
}

void TForm::SetActiveControl(TWinControl* control) {
  activeControl_ = control;
  if (control && Visible()) control->SetFocus();
}

TWindowState TForm::WindowState() const {
  if (Widget()->isMinimized()) return wsMinimized;
  if (Widget()->isMaximized()) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
  if (state == wsMinimized) Widget()->showMinimized();
  else if (state == wsMaximized) Widget()->showMaximized();
  else if (Visible()) Widget()->showNormal();
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

int TForm::ShowModal() {
  DoCreate();
  TForm* previous = Screen->ActiveForm();
  modal_ = true;
  modalResult_ = mrNone;
  Widget()->setWindowModality(Qt::ApplicationModal);
  Show();
  for (;;) {
    while (modalResult_ == mrNone && !Application->Terminated()) Application->HandleMessage();
    if (Application->Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
    if (!CloseQuery() && !Application->Terminated()) {
      modalResult_ = mrNone;
      continue;
    }
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone && !Application->Terminated()) {
      modalResult_ = mrNone;
      continue;
    }
    const int result = modalResult_;
    modal_ = false;
    // Qt lets other windows take input again when a modal window hides; a
    // window that stops being modal while it shows stays blocking them.
    SetVisible(false);
    Widget()->setWindowModality(Qt::NonModal);
    if (previous && previous != this && previous->Visible()) previous->Activate();
    if (action == caFree) Release();
    return result;
  }
}

void TForm::Close() {
  if (closing_) return;
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  closing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{closing_};
  if (!CloseQuery()) return;
  TCloseAction action = Application && Application->MainForm() == this ? caFree : caHide;
  if (OnClose) OnClose(this, action);
  CloseDone(action);
}

void TForm::CloseDone(TCloseAction action) {
  if (action == caNone) return;
  const bool isMain = Application && Application->MainForm() == this;
  if (action == caMinimize) {
    Widget()->showMinimized();
    return;
  }
  SetVisible(false);
  if (Screen->ActiveForm() == this)
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i) != this && Screen->Forms(i)->Visible()) {
        Screen->Forms(i)->Activate();
        break;
      }
  if (isMain) Application->Terminate();
  if (action == caFree) Release();
}

namespace {

TButton* FindButton(TWinControl* parent, bool wantDefault) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (auto* b = dynamic_cast<TButton*>(c); b && (wantDefault ? b->Default() : b->Cancel())) return b;
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (TButton* found = FindButton(w, wantDefault)) return found;
  }
  return nullptr;
}

}  // namespace

bool TForm::DialogKey(int virtualKey) {
  TButton* button = FindButton(this, virtualKey == VK_RETURN);
  if (!button) return false;
  button->Click();
  return true;
}

void TForm::Release() { PostMessage(Handle(), CM_RELEASE, 0, 0); }

void TForm::WndProc(TMessage& m) {
  if (m.Msg == CM_RELEASE) {
    delete this;
    return;
  }
  if (m.Msg == WM_CLOSE) {
    Close();
    return;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication() : TComponent(nullptr) {
  handle_ = AllocateHWnd([](TMessage&) {});
}

TApplication::~TApplication() { DeallocateHWnd(handle_); }

void TApplication::Initialize() { InitializeControls(); }

void TApplication::SetTitle(const AnsiString& title) {
  title_ = title;
  QGuiApplication::setApplicationDisplayName(ToQString(title));
}

void TApplication::Run() {
  if (mainForm_ && !mainForm_->Visible()) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  terminated_ = true;
  MarkProgramTerminating();
  if (g_pump) g_pump->Wake();
}

void TApplication::ProcessMessages() {
  // A handler's exception goes to the handler of the application; the rest
  // of the queue is served afterwards.
  for (;;) {
    try {
      if (!::ProcessMessages()) Terminate();
      return;
    } catch (const std::exception& e) {
      HandleException(this, e);
    }
  }
}

void TApplication::HandleMessage() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

bool TApplication::HelpContext(int context) {
  lastHelpContext_ = context;
  if (helpFile_.empty()) return false;
  const AnsiString file = ExpandFileName(helpFile_);
  return FileExists(file) && OpenUrl(file);
}

namespace {

// Tool tips and default hints show this far below the mouse pointer.
constexpr int HintCursorHeight = 20;

}  // namespace

void TApplication::ActivateHint(TControl* control, TPoint screen) {
  if (!control) return;
  const TPoint client = control->ScreenToClient(screen);
  if (control == hintControl_ && PtInRect(hintRect_, client)) return;
  CancelHint();
  if (!showHint_ || !control->ShowHint()) return;
  THintInfo info;
  info.HintControl = control;
  info.CursorPos = client;
  info.HintPos = {screen.X, screen.Y + HintCursorHeight};
  info.HintStr = control->Hint();
  info.CursorRect = control->ClientRect();
  if (control->Perform(CM_HINTSHOW, 0, LPARAM(&info)) != 0) return;
  if (!info.HintWindow && info.HintStr.empty()) return;
  hintIsToolTip_ = !info.HintWindow;
  if (hintIsToolTip_) QToolTip::showText(QPoint(info.HintPos.X, info.HintPos.Y), ToQString(info.HintStr));
  hintControl_ = control;
  hintWindow_ = info.HintWindow;
  hintRect_ = info.CursorRect;
  control->FreeNotification(this);
  if (hintWindow_) hintWindow_->FreeNotification(this);
}

void TApplication::HintMouseMove(TControl* control, TPoint screen) {
  if (!hintControl_ || !control || control == hintWindow_) return;
  if (control == hintControl_ && PtInRect(hintRect_, control->ScreenToClient(screen))) return;
  int pause = 500;
  control->Perform(CM_HINTSHOWPAUSE, 1, LPARAM(&pause));
  CancelHint();
  if (pause == 0) ActivateHint(control, screen);
}

void TApplication::HintMouseLeave(TControl* control) {
  if (!hintControl_ || (control != hintControl_ && control != hintWindow_)) return;
  // The hint's own window appearing under the mouse is no leave.
  const TPoint screen = GetCursorPos();
  const TControl* over = FindControlAtPos(screen);
  if (over && over == hintWindow_) return;
  if (over == hintControl_ && PtInRect(hintRect_, hintControl_->ScreenToClient(screen))) return;
  CancelHint();
}

void TApplication::CancelHint() {
  if (!hintControl_) return;
  if (hintIsToolTip_) QToolTip::hideText();
  TControl* window = hintWindow_;
  hintControl_ = hintWindow_ = nullptr;
  hintRect_ = TRect{};
  if (window) window->Hide();
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == hintWindow_) hintWindow_ = nullptr;
  if (component == hintControl_) CancelHint();
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  return RunMessageBox(text, caption.empty() ? title_ : caption, flags);
}

void TApplication::HandleException(TObject* sender, const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return;
  if (OnException)
    OnException(sender, e);
  else
    ShowException(e);
}

void TApplication::ShowException(const std::exception& e) {
  AnsiString text = e.what();
  if (auto* ex = dynamic_cast<const Exception*>(&e)) text = ex->Message();
  MessageBox(text, title_, MB_OK | MB_ICONERROR);
}

// ---------------------------------------------------------------------------
// TScreen, TMouse

TScreen::TScreen() : TComponent(nullptr) {}

TForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return forms_[size_t(index)];
}

TWinControl* TScreen::ActiveControl() const {
  return activeForm_ ? activeForm_->ActiveControl() : nullptr;
}

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  if (cursor_ != crDefault) QGuiApplication::restoreOverrideCursor();
  cursor_ = cursor;
  if (cursor_ != crDefault) QGuiApplication::setOverrideCursor(NativeCursor(cursor_));
}

int TScreen::Width() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 1024;
}

int TScreen::Height() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

void TScreen::AddForm(TForm* form) { forms_.push_back(form); }

void TScreen::RemoveForm(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (activeForm_ == form) activeForm_ = nullptr;
  if (g_activationAsked == form) g_activationAsked = nullptr;
}

void TScreen::FormActivated(TForm* form) {
  if (activeForm_ == form) return;
  auto it = std::find(forms_.begin(), forms_.end(), form);
  if (it == forms_.end()) return;
  forms_.erase(it);
  forms_.insert(forms_.begin(), form);
  TForm* old = activeForm_;
  activeForm_ = form;
  if (old) old->ActivationChanged(false);
  form->ActivationChanged(true);
}

TPoint TMouse::CursorPos() const { return GetCursorPos(); }

void TMouse::SetCursorPos(TPoint p) { QCursor::setPos(p.X, p.Y); }
