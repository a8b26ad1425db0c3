// The link filter and the intake of the links a worker found.
#include "project/uQuere.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainFilter.h"

bool TMainForm::AcceptLink(const AnsiString& Url, bool Resume, int Level, bool Strict) {
  return CurrentParams && Store && AcceptLinkBy(*CurrentParams, *Store, Url, Resume, Level, Strict);
}

namespace {

// A loop inside a message handler lets the window serve its messages this often.
constexpr auto WorkPumpInterval = std::chrono::milliseconds(5);

}  // namespace

void TMainForm::PumpDuringWork() {
  const auto now = std::chrono::steady_clock::now();
  if (now - FLastWorkPump < WorkPumpInterval) return;
  Application->ProcessMessages();
  FLastWorkPump = std::chrono::steady_clock::now();
}

void TMainForm::WMLinksFound(WPARAM LocalFile, TStringList* List) {
  if (!List || List->Count() == 0 || !Store || !CurrentParams) return;
  ++FReportDepth;
  struct TLeave {
    int& depth;
    ~TLeave() { --depth; }
  } leave{FReportDepth};
  AddLinks(*List, LocalFile == 1);
}

void TMainForm::AddLinks(TStringList& List, bool LocalFile) {
  // The worker waits for this: the messages served between the links paint nothing.
  TPaintHold hold;
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  SiteMap.BeginUpdate();
  const int pageLevel = ObjectLevel(List.Objects(0));
  const AnsiString cookie = List[0];
  for (int i = 1; i < List.Count(); ++i) {
    const int level = ObjectLevel(List.Objects(i));
    const int limit = CurrentParams->Project.LinkLevel;
    // The worker that owns the list waits while it is read; the link is read
    // before the messages are served.
    const AnsiString& url = List[i];
    const bool wanted = !(limit != 0 && level > limit) &&
                        (LocalFile || AcceptLink(url, (RunState & rsResume) != 0, level, true)) &&
                        !url.empty() && url.find("feed:") == AnsiString::npos;
    if (wanted) {
      if (TDataObj* node = Store->AddUrl(level, url)) {
        if (node->Depth < 2) SiteMap.SetRootCount(Store->GetRootCount());
        node->SetLinkCookies(cookie);
        if (Option(poFollowNewLinks)) {
          if (level == pageLevel)
            Store->Queue->AddFirst(node);
          else
            Store->Queue->Add(node);
        }
      }
    }
    PumpDuringWork();
  }
  SiteMap.EndUpdate();
}
