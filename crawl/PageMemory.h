// The memory budget of the whole program for pages held to be parsed: every
// download worker that holds a page (and the links it finds on it) takes its
// share from one budget, so that the program stays within a fixed amount at
// any number of connections.
//
// Contract
// - PageMemoryCost(P, U) is what a page of P bytes from a URL of U bytes
//   takes first while it is held and parsed: the page, its link candidates
//   (at most as large as the page) and a first room for its links
//   (FirstLinkRoom). The links' room then grows as they are found, by
//   TryGrow; where it cannot, the worker hands its links on sooner.
// - TPageMemoryGrant is one worker's share. TryGrow never waits: it takes
//   more or says no. Wait is for a grant that holds nothing: it waits until
//   the budget has room (or Stopped says so), so no worker ever waits while
//   it holds memory another one waits for, and the budget cannot deadlock.
//   Waiters are served in turn; while one waits, TryGrow of others takes
//   only what leaves room for it. A grant larger than the whole budget is
//   never given (the page limit keeps pages below it).
// - The grant gives its share back when it is released or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The budget: 160 MiB, room for one page at the page limit (64 MiB) beside
// smaller ones.
constexpr int64_t PageMemoryBudget = int64_t{160} << 20;
// The most a page's links start with: about two batches of LinkBatchBytes.
constexpr int64_t PageMemoryOverhead = int64_t{4} << 20;

// The longest link a page of PageBytes from a URL of UrlBytes can give: its
// text and its base come from the page or its URL, and escaping at most
// triples them.
constexpr int64_t LongestLinkBytes(int64_t PageBytes, int64_t UrlBytes) { return 3 * (UrlBytes + 2 * PageBytes); }

// Room for a batch of the page's longest link (its text, its lower-case copy
// and its entry), within PageMemoryOverhead.
constexpr int64_t FirstLinkRoom(int64_t PageBytes, int64_t UrlBytes) {
  const int64_t oneLink = 2 * LongestLinkBytes(PageBytes, UrlBytes) + 128;
  return oneLink < PageMemoryOverhead ? oneLink : PageMemoryOverhead;
}

constexpr int64_t PageMemoryCost(int64_t PageBytes, int64_t UrlBytes = 0) {
  return 2 * PageBytes + FirstLinkRoom(PageBytes, UrlBytes);
}

class TPageMemoryGrant {
public:
  TPageMemoryGrant() = default;
  TPageMemoryGrant(const TPageMemoryGrant&) = delete;
  TPageMemoryGrant& operator=(const TPageMemoryGrant&) = delete;
  ~TPageMemoryGrant() { Release(); }

  // Grows the share to Bytes at once, or not at all (false).
  bool TryGrow(int64_t Bytes);
  // Releases the share, then waits until Bytes can be had; false when
  // Stopped ended the wait or Bytes is above the whole budget.
  bool Wait(int64_t Bytes, const std::function<bool()>& Stopped);
  // Gives back what lies above Bytes.
  void ShrinkTo(int64_t Bytes);
  void Release() { ShrinkTo(0); }
  int64_t Bytes() const { return FBytes; }

private:
  int64_t FBytes = 0;
};

// What the budget has given out now, and how many grants wait (for tests
// and benchmarks).
int64_t PageMemoryInUse();
int PageMemoryWaiters();
