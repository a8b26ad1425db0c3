#include "platform/web/WebFetch.h"

namespace {
TWebFetchHook& Hook() {
  static TWebFetchHook hook;
  return hook;
}
}  // namespace

void TWebInbox::Deliver(uint64_t id, TWebResponse response) {
  {
    std::lock_guard guard(lock_);
    done_.emplace_back(id, std::move(response));
  }
  PostMessage(window_, message_, 0, 0);
}

std::deque<std::pair<uint64_t, TWebResponse>> TWebInbox::Collect() {
  std::lock_guard guard(lock_);
  return std::exchange(done_, {});
}

void TWebRequest::Complete(TWebResponse response) {
  if (completed_.exchange(true)) return;
  if (std::shared_ptr<TWebInbox> inbox = inbox_.lock()) inbox->Deliver(id_, std::move(response));
}

void SetWebFetchHook(TWebFetchHook hook) { Hook() = std::move(hook); }
const TWebFetchHook& WebFetchHook() { return Hook(); }
