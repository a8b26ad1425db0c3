// TLinkBatch: a batch of the links found on a page, held compactly (their
// texts one after another in one buffer) until it is handed on. The page
// parser fills a batch and hands it on whenever it has grown to about
// LinkBatchBytes, so a page of millions of links never holds more than one
// batch of them.
//
// Contract
// - Add takes any link but one holding a NUL.
// - SortUnique orders the links without regard to ASCII case and keeps only
//   the first of links equal but for case. It polls Stopped while it sorts;
//   a stopped sort empties the batch and returns false.
// - Links are handed out as views into the batch; they stay valid until the
//   batch changes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/SysUtils.h"

// About how many bytes a batch reaches (link texts and their index) before
// the parser hands it on.
constexpr size_t LinkBatchBytes = 1 << 20;

class TLinkBatch {
public:
  void Add(std::string_view Link);
  bool SortUnique(const std::function<bool()>& Stopped = {});
  // Adds the links of a sorted batch to this sorted one, which stays sorted
  // and keeps the first of links equal but for case.
  void Merge(const TLinkBatch& Sorted);
  void Clear();
  // The links of sorted batches in one sorted list: what merging each batch
  // in turn into the first gives, in time linear in the links but for a
  // factor of the logarithm of the number of batches.
  static std::vector<AnsiString> MergedLinks(const std::vector<TLinkBatch>& Sorted);

  size_t Count() const { return FLinks.size(); }
  bool Empty() const { return FLinks.empty(); }
  // The bytes the batch holds.
  size_t Bytes() const { return FPool.capacity() + FFolded.capacity() + FLinks.capacity() * sizeof(TEntry); }
  // The most Bytes() can be once Link is added: a buffer that must grow
  // takes twice what it had, or what it needs when that is more.
  size_t BytesWith(std::string_view Link) const;
  std::string_view operator[](size_t Index) const;
  std::vector<AnsiString> ToVector() const;

private:
  struct TEntry {
    uint32_t Offset;  // of the text in FPool
    uint32_t Length;
    uint32_t Key;     // offset of its lower-cased copy in FFolded, or NoKey when the text has no upper case
    uint32_t Order;   // position of addition
  };
  static constexpr uint32_t NoKey = UINT32_MAX;
  std::string_view KeyOf(const TEntry& Entry) const;
  bool Less(const TEntry& A, const TEntry& B) const;
  bool SortByKey(const std::function<bool()>& Stopped);
  struct TMergeStep {
    uint32_t Batch;
    uint32_t At;
    bool NewKey; // the first link of its key
  };
  static std::vector<TMergeStep> KeyOrder(const std::vector<TLinkBatch>& Sorted);
  void DropDuplicates();
  void LayOutInOrder();

  std::string FPool;
  std::string FFolded;
  std::vector<TEntry> FLinks;
};

// Sorts [First, Last) by Less unless Stopped says otherwise on the way
// (polled now and then); false when it was stopped, the order then being any.
template <typename TIter, typename TLess>
bool SortUnlessStopped(TIter First, TIter Last, TLess Less, const std::function<bool()>& Stopped);

// Sorts [First, Last) by Less when no element stands more than MaxShift
// places after where it belongs (a list in order but for small local
// swaps), in time linear in its length; false, the order then being any,
// as soon as one would move further.
template <typename TIter, typename TLess>
bool SortNearlySorted(TIter First, TIter Last, TLess Less, std::ptrdiff_t MaxShift);

// ---------------------------------------------------------------------------

template <typename TIter, typename TLess>
bool SortNearlySorted(TIter First, TIter Last, TLess Less, std::ptrdiff_t MaxShift) {
  for (TIter i = First; i != Last; ++i) {
    if (i == First || !Less(*i, *(i - 1))) continue;
    auto moving = std::move(*i);
    TIter hole = i;
    for (; hole != First && Less(moving, *(hole - 1)); --hole) {
      if (i - hole >= MaxShift) {
        *hole = std::move(moving);
        return false;
      }
      *hole = std::move(*(hole - 1));
    }
    *hole = std::move(moving);
  }
  return true;
}

struct TSortStopped {};

template <typename TIter, typename TLess>
bool SortUnlessStopped(TIter First, TIter Last, TLess Less, const std::function<bool()>& Stopped) {
  if (!Stopped) {
    std::sort(First, Last, Less);
    return true;
  }
  unsigned compares = 0;
  try {
    std::sort(First, Last, [&](const auto& A, const auto& B) {
      if ((++compares & 0xFFF) == 0 && Stopped()) throw TSortStopped();
      return Less(A, B);
    });
  } catch (const TSortStopped&) {
    return false;
  }
  return true;
}
