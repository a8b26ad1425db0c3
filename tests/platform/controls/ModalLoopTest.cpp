// Modal loops nest inside the Qt event loop and keep serving the message
// queue; exceptions and message boxes go through the application.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DemoForm.h"
#include "Support.h"
#include "platform/messages/Threads.h"

namespace {

constexpr UINT WM_POKE = WM_USER + 401;
constexpr UINT WM_ASK = WM_USER + 402;

struct Answers {
  std::vector<TDialogRequest> asked;
  std::vector<bool> onMainThread;
  int result = IDOK;
  Answers() {
    SetDialogResponder([this](const TDialogRequest& r) {
      asked.push_back(r);
      onMainThread.push_back(IsMainThread());
      TDialogAnswer a;
      a.Result = result;
      a.FileName = r.Kind == dkMessageBox ? AnsiString() : "/tmp/chosen.txt";
      a.FilterIndex = 2;
      return a;
    });
  }
  ~Answers() { SetDialogResponder(nullptr); }
};

}  // namespace

TEST(ModalLoop, ServesTimersPostedMessagesAndAWorkersBlockingSend) {
  TForm owner(nullptr);
  owner.Show();
  auto* dialog = new TForm(nullptr);
  int ticks = 0, pokes = 0;
  std::atomic<LRESULT> answered = 0;
  std::thread worker;
  dialog->WindowProc = [&, old = dialog->WindowProc](TMessage& m) {
    if (m.Msg == WM_POKE) ++pokes;
    if (m.Msg == WM_ASK) m.Result = LRESULT(m.WParam * 2);
    else old(m);
  };
  auto* timer = new TTimer(dialog);
  timer->SetInterval(5);
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 1) {
      PostMessage(dialog->Handle(), WM_POKE, 0, 0);
      worker = std::thread([&] { answered = SendMessage(dialog->Handle(), WM_ASK, 21, 0); });
    }
    if (ticks >= 3 && pokes == 1 && answered == 42) dialog->SetModalResult(mrOk);
  };
  int activations = 0, deactivations = 0;
  owner.OnDeactivate = [&](TObject*) { ++deactivations; };
  owner.OnActivate = [&](TObject*) { ++activations; };
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  worker.join();
  EXPECT_EQ(answered, 42);
  EXPECT_FALSE(dialog->Visible());
  EXPECT_EQ(std::pair(deactivations, activations), std::pair(1, 1));
  EXPECT_EQ(Screen->ActiveForm(), &owner);
  EXPECT_EQ(Screen->Forms(1), dialog);
  delete dialog;
}

TEST(ModalLoop, CloseQueryCanRefuseAndButtonsSetTheModalResult) {
  TDemoForm form(nullptr);
  int queries = 0;
  form.OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };
  form.Button1->SetModalResult(mrYes);
  PostMessage(form.Button1->Handle(), WM_NULL, 0, 0);
  auto* timer = new TTimer(&form);
  timer->SetInterval(1);
  int step = 0;
  timer->OnTimer = [&](TObject*) {
    if (++step == 1 || step == 3) form.Button1->Click();
  };
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_EQ(queries, 2);
  EXPECT_GE(step, 3);
}

TEST(Application, ExceptionsFromHandlersReachOnExceptionAndMessageBoxesAreAnswered) {
  Answers answers;
  TForm form(nullptr);
  std::vector<AnsiString> errors;
  Application->OnException = [&](TObject*, const std::exception& e) { errors.push_back(e.what()); };
  form.WindowProc = [old = form.WindowProc](TMessage& m) {
    if (m.Msg == WM_POKE) throw EConvertError("bad value");
    if (m.Msg == WM_POKE + 1) Abort();
    old(m);
  };
  for (UINT msg : {WM_POKE, WM_POKE + 1, UINT(WM_NULL)}) PostMessage(form.Handle(), msg, 0, 0);
  Application->ProcessMessages();
  Application->ProcessMessages();
  EXPECT_EQ(errors, (std::vector<AnsiString>{"bad value"}));
  Application->OnException = nullptr;

  answers.result = IDNO;
  EXPECT_EQ(ShowMessageBox("Save changes?", "Harvella", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(answers.asked.back().Flags, unsigned(MB_YESNO | MB_ICONQUESTION));
  Application->ShowException(EConvertError("shown"));
  EXPECT_EQ(answers.asked.back().Text, "shown");
  EXPECT_EQ(answers.asked.back().Flags & 0xF0, unsigned(MB_ICONERROR));
  std::atomic<int> fromWorker = 0;
  std::thread worker([&] { fromWorker = ShowMessageBox("From a worker", "Harvella", MB_YESNO); });
  while (fromWorker == 0) {
    Application->ProcessMessages();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(fromWorker, IDNO);
  EXPECT_EQ(answers.onMainThread, std::vector<bool>(answers.asked.size(), true));

  answers.result = IDOK;
  TOpenDialog dialog(nullptr);
  dialog.Filter = "Text files (*.txt)|*.TXT|All files (*.*)|*.*";
  dialog.FileName = "start.url";
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/tmp/chosen.txt");
  EXPECT_EQ(dialog.FilterIndex, 2);
  EXPECT_EQ(answers.asked.back().FileName, "start.url");
  TDemoForm form2(nullptr);
  int copies = 0;
  form2.Copy1->OnClick = [&](TObject*) { ++copies; };
  answers.result = 1;
  SimulateMouse(form2.ListView1, smDown, 5, 5, mbRight);
  SimulateContextMenu(form2.ListView1, 5, 5);
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(answers.asked.back().Kind, dkPopupMenu);
  EXPECT_EQ(answers.asked.back().Text, "pmList");

  answers.result = IDCANCEL;
  AnsiString folder = "/old";
  EXPECT_FALSE(SelectDirectory("Pick", "", folder));
  EXPECT_EQ(folder, "/old");
}

namespace {

class TWorker : public TThread {
 public:
  explicit TWorker(std::vector<AnsiString>& log, HWND target) : log_(log), target_(target) {}

 protected:
  void Execute() override {
    Synchronize([this] { log_.push_back("sync"); });
    PostMessage(target_, WM_POKE, 0, 0);
    SendMessage(target_, WM_POKE + 1, 0, 0);
  }

 private:
  std::vector<AnsiString>& log_;
  HWND target_;
};

}  // namespace

TEST(ModalLoop, SynchronizeMessagesAndOnTerminateAreServedInOrderInNestedLoops) {
  TForm form(nullptr);
  std::vector<AnsiString> log;
  form.WindowProc = [&, old = form.WindowProc](TMessage& m) {
    if (m.Msg == WM_POKE) log.push_back("posted");
    if (m.Msg == WM_POKE + 1) {
      log.push_back("sent");
      Application->ProcessMessages();  // a nested pump inside a handler
    }
    old(m);
  };
  TWorker worker(log, form.Handle());
  bool done = false;
  worker.OnTerminate = [&](TObject*) {
    log.push_back("terminate");
    done = true;
  };
  worker.Start();
  while (!done) Application->HandleMessage();
  worker.WaitFor();
  // Sends are served before posted messages, so those two may come either way.
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log.front(), "sync");
  EXPECT_EQ(log.back(), "terminate");
  EXPECT_NE(std::find(log.begin(), log.end(), "posted"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "sent"), log.end());
}
