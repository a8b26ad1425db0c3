// TLinkSet: the links found on one page, held compactly within a byte budget
// so that a hostile page of millions of links costs a bounded multiple of its
// own size. The links lie one after another in one buffer, each ended by a
// NUL; a table of their offsets finds a link again without regard to case.
//
// Contract
// - Add keeps the first of links equal but for case; it refuses a link that
//   holds a NUL, and every link once the next one would pass the budget
//   (counting the buffer, the offsets and the lookup table). Memory is taken
//   as links come, never beyond the budget.
// - Sort orders the links without regard to case (ASCII) and frees the
//   lookup table. Stopped is polled while it sorts; a stopped sort empties
//   the set.
// - Links are handed out as views into the set; they stay valid until the
//   set changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/rtl/SysUtils.h"

class TLinkSet {
public:
  explicit TLinkSet(size_t ByteBudget = SIZE_MAX);

  // False when the budget is spent (Link is not added); true otherwise,
  // also when an equal link is there already.
  bool Add(std::string_view Link);
  bool Sort(const std::function<bool()>& Stopped = {});

  size_t Count() const { return FStarts.size(); }
  bool Empty() const { return FStarts.empty(); }
  std::string_view operator[](size_t Index) const;
  std::vector<AnsiString> ToVector() const;

private:
  bool Grow(size_t LinkBytes);
  size_t Slot(std::string_view Link, bool& Found) const;
  size_t Cost(size_t PoolBytes, size_t Links, size_t TableSlots) const;

  size_t FBudget;
  std::unique_ptr<char[]> FPool;
  size_t FPoolSize = 0;
  size_t FPoolCapacity = 0;
  std::vector<uint32_t> FStarts; // offset of each link in the buffer, in order of addition
  std::vector<uint32_t> FTable;  // 0 empty, else 1 + index into FStarts
};
