// Forms and the application. TForm is a top-level window: modeless (Show) or
// modal (ShowModal runs a nested loop until ModalResult is set), with the
// create, show, activate, deactivate, close-query, close and destroy events.
// Activation events fire only when activation moves between the program's
// own forms. TApplication runs the main loop on Qt's event loop, which also
// drives the user-interface thread's message queue (posted and sent messages,
// Synchronize calls, timers) in arrival order; ProcessMessages and modal
// loops nest. It routes exceptions that escape event handlers to
// OnException (or a message box) and installs the message-box hook that
// ShowMessageBox uses; a box asked for on another thread is shown on the
// user-interface thread. A window paints at most once a frame (about 60 times
// a second), everything that changed in it since its last paint at once;
// while a TPaintHold lives no window paints. Screen lists the forms in
// activation order and holds the global cursor; Mouse gives the pointer
// position.
#pragma once

#include <vector>

#include "platform/controls/Controls.h"

class TMainMenu;
class TForm;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4,
                          mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8, mrClose = 11 };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNoneForm, bsSingleForm, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  AnsiString ClassName() const override { return className_; }
  // Forms built in code name their class for the language files.
  void SetClassName(const AnsiString& name) { className_ = name; }
  bool PublishesCaption() const override { return true; }

  void Show();
  // Runs a nested message loop until ModalResult is set or the form closes;
  // returns the result.
  int ShowModal();
  void Close();
  void Release();
  bool Modal() const { return modal_; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  bool Active() const;
  // Makes the form the active one (events fire when it was not).
  void Activate();
  TWinControl* ActiveControl() const;
  void SetActiveControl(TWinControl* control);
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool value) { keyPreview_ = value; }
  bool PreviewsKeys() const override { return keyPreview_; }
  bool DialogKey(int virtualKey) override;
  TRect ClientRect() const override;
  QWidget* ContainerWidget() const override;

  // Fires OnCreate once (CreateForm does it; Show and ShowModal do it for
  // forms made directly).
  void DoCreate();
  bool CloseQuery();

  TNotifyEvent OnCreate, OnShow, OnHide, OnActivate, OnDeactivate, OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void WndProc(TMessage& message) override;
  void DefineProperties(TPropList& props) override;
  // Platform: activation moved to / away from this form; the window system
  // activated it.
  void ActivationChanged(bool active);
  void ActivatedByWindowSystem();

 protected:
  void TextChanged() override;
  void VisibleChanged() override;
  void BoundsChanged(bool sizeChanged) override;

 private:
  void PlaceOnScreen();
  void CloseDone(TCloseAction action);
  static void ForgetActivationsAsked();
  AnsiString className_ = "TForm";
  QWidget* client_;
  TMainMenu* menu_ = nullptr;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TPosition position_ = poDesigned;
  bool modal_ = false;
  int modalResult_ = mrNone;
  bool created_ = false;
  bool keyPreview_ = false;
  bool closing_ = false;
  int activationEchoes_ = 0;
  TWinControl* activeControl_ = nullptr;
};

// Holds every window's painting while it lives, for work that must not
// wait for a paint; what changed meanwhile is painted once the last hold
// has ended.
class TPaintHold {
 public:
  TPaintHold();
  ~TPaintHold();
  TPaintHold(const TPaintHold&) = delete;
  TPaintHold& operator=(const TPaintHold&) = delete;
};

// Whether a window has changes that wait for their frame to be painted.
bool PaintsWaiting();

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;
  AnsiString ClassName() const override { return "TApplication"; }

  void Initialize();
  // Creates a form owned by the application; the first becomes MainForm.
  template <class T>
  void CreateForm(T*& reference) {
    reference = new T(this);
    if (!mainForm_) mainForm_ = reference;
    reference->DoCreate();
  }
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* form) { mainForm_ = form; }
  // Shows the main form and serves events until Terminate (or the main form closes).
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();
  // Waits for at least one event and serves what arrived.
  void HandleMessage();
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& title);
  const AnsiString& HelpFile() const { return helpFile_; }
  void SetHelpFile(const AnsiString& file) { helpFile_ = file; }
  // Records the request and shows the help file, one document for every
  // context, in the user's web browser; false when no help file exists or
  // no browser starts.
  bool HelpContext(int context);
  int LastHelpContext() const { return lastHelpContext_; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value) { showHint_ = value; }
  // Hints. The mouse rests over control at a screen point: it is asked
  // (CM_HINTSHOW) and its hint shows. Leaving the hint's rectangle, a mouse
  // leave, a key or a button press hides it.
  void ActivateHint(TControl* control, TPoint screen);
  void HintMouseMove(TControl* control, TPoint screen);
  void HintMouseLeave(TControl* control);
  void CancelHint();
  // The control whose hint shows (nullptr when none does).
  TControl* HintControl() const { return hintControl_; }
  HWND Handle() const { return handle_; }
  // A message box owned by the active form; returns an ID value.
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);
  // Sends the exception to OnException, or shows it; EAbort is ignored.
  void HandleException(TObject* sender, const std::exception& e);
  void ShowException(const std::exception& e);

  TExceptionEvent OnException;
  TNotifyEvent OnActivate, OnDeactivate;

 private:
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  AnsiString title_;
  AnsiString helpFile_;
  int lastHelpContext_ = 0;
  bool showHint_ = true;
  HWND handle_ = nullptr;
  TControl* hintControl_ = nullptr;
  TControl* hintWindow_ = nullptr;
  TRect hintRect_;
  bool hintIsToolTip_ = false;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
};

class TScreen : public TComponent {
 public:
  TScreen();
  AnsiString ClassName() const override { return "TScreen"; }
  int FormCount() const { return int(forms_.size()); }
  // Forms, the most recently active first.
  TForm* Forms(int index) const;
  TForm* ActiveForm() const { return activeForm_; }
  TWinControl* ActiveControl() const;
  TCursor Cursor() const { return cursor_; }
  // A cursor other than crDefault overrides every control's own cursor.
  void SetCursor(TCursor cursor);
  int Width() const;
  int Height() const;
  int PixelsPerInch() const { return ScreenPixelsPerInch; }

  // Platform.
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  void FormActivated(TForm* form);

 private:
  std::vector<TForm*> forms_;
  TForm* activeForm_ = nullptr;
  TCursor cursor_ = crDefault;
};

class TMouse {
 public:
  TPoint CursorPos() const;
  void SetCursorPos(TPoint p);
  HWND Capture() const { return GetCapture(); }
  int WheelScrollLines() const { return 3; }
  int DragThreshold() const { return 5; }
};

extern TApplication* Application;
extern TScreen* Screen;
extern TMouse* Mouse;

// Creates the Qt application, Application, Screen and Mouse when missing.
void InitializeControls();
