#include "ui/main/uMainViewFetch.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "crawl/MirrorNames.h"
#include "net/HttpProt.h"
#include "platform/messages/Threads.h"
#include "platform/rtl/DateUtils.h"

namespace {

std::atomic<int> Running{0};
std::atomic<unsigned> AbortGeneration{0};
constexpr UINT WatchIntervalMs = 50;
constexpr int AbortWaitMs = 5000;

class TPreviewFetch : public TThread {
public:
  TPreviewFetch(std::shared_ptr<TWebRequest> Request, TPreviewConnection Connection)
      : FRequest(std::move(Request)), FConnection(std::move(Connection)), FGeneration(AbortGeneration.load()) {
    SetFreeOnTerminate(true);
  }

protected:
  void Execute() override {
    TWebResponse response;
    try {
      response = Fetch();
    } catch (const std::exception& e) {
      response.Ok = false;
      response.ErrorText = e.what();
    }
    FRequest->Complete(std::move(response));
    --Running;
  }

private:
  void Configure(THttpCli& Http) const {
    Http.URL = EncodeSpaces(FRequest->Url());
    Http.Agent = FConnection.Agent;
    Http.Sender = FConnection.Sender;
    Http.Reference = FConnection.Reference;
    if (FConnection.UseProxy) {
      Http.Proxy = FConnection.Proxy.Host;
      Http.ProxyPort = FConnection.Proxy.Port;
      Http.ProxyUsername = FConnection.Proxy.UserName;
      Http.ProxyPassword = FConnection.Proxy.Password;
    }
    if (FConnection.UseLogin) {
      Http.Username = FConnection.Login.UserName;
      Http.Password = FConnection.Login.Password;
    }
  }

  // Aborts the request when the pane gave it up, the program ends or the
  // time-out has passed.
  void Watch(THttpCli& Http, uint32_t Started) {
    const uint32_t limit = uint32_t(std::max(1, FConnection.TimeOutSeconds)) * 1000u;
    if (FRequest->Cancelled() || AbortGeneration.load() != FGeneration || GetTickCount() - Started > limit) {
      FStopped = true;
      Http.AbortHandle()->Abort();
    }
  }

  void Receive(THttpCli& Http, const void* Buffer, int Len) {
    const size_t room = MaxPreviewBytes - FBody.size();
    FBody.append(static_cast<const char*>(Buffer), std::min(room, size_t(std::max(0, Len))));
    if (size_t(std::max(0, Len)) > room) {
      FCut = true;
      Http.AbortHandle()->Abort();
    }
  }

  TWebResponse Fetch() {
    THttpCli http(nullptr);
    Configure(http);
    http.OnHeaderEnd = [this](TObject*) {
      FHeader = true;
      FBody.clear();  // a redirection's own body is not the page
    };
    http.OnDocData = [this, &http](TObject*, const void* Buffer, int Len) { Receive(http, Buffer, Len); };
    const uint32_t started = GetTickCount();
    HWND watch = AllocateHWnd([this, &http, started](TMessage& m) {
      if (m.Msg == WM_TIMER) Watch(http, started);
    });
    SetTimer(watch, 1, WatchIntervalMs);
    AnsiString failure;
    try {
      http.Get();
    } catch (const EHttpException& e) {
      failure = e.Message();
    }
    KillTimer(watch, 1);
    DeallocateHWnd(watch);
    http.OnHeaderEnd = nullptr;
    http.OnDocData = nullptr;
    TWebResponse response;
    response.Ok = FCut || (FHeader && !FStopped);
    response.ErrorText = failure;
    response.StatusCode = http.StatusCode();
    response.ContentType = http.ContentType();
    response.FinalUrl = http.Location();
    response.Body = std::move(FBody);
    return response;
  }

  std::shared_ptr<TWebRequest> FRequest;
  TPreviewConnection FConnection;
  unsigned FGeneration;
  AnsiString FBody;
  bool FHeader = false, FStopped = false, FCut = false;
};

}  // namespace

TPreviewConnection PreviewConnectionOf(const TProject& Project) {
  TPreviewConnection connection;
  connection.Agent = Project.Agent;
  connection.Sender = Project.Sender;
  if (!(Project.Options & poAutoReferer)) connection.Reference = Project.Reference;
  connection.UseProxy = (Project.Options & poUseProxy) != 0;
  connection.Proxy = Project.Proxy;
  connection.UseLogin = (Project.Options & poSiteLogin) != 0;
  connection.Login = Project.Web;
  if (Project.TimeOut > 0) connection.TimeOutSeconds = Project.TimeOut;
  return connection;
}

void InstallPreviewFetchHook(std::function<TPreviewConnection()> Connection) {
  SetWebFetchHook([Connection](std::shared_ptr<TWebRequest> Request) {
    auto* fetch = new TPreviewFetch(Request, Connection ? Connection() : TPreviewConnection());
    ++Running;
    try {
      fetch->Start();
    } catch (const std::exception& e) {
      --Running;
      delete fetch;
      Request->Complete(TWebResponse{false, 0, "", "", "", e.what()});
    }
  });
}

void AbortPreviewFetches() {
  ++AbortGeneration;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AbortWaitMs);
  while (Running.load() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

int RunningPreviewFetches() { return Running.load(); }
