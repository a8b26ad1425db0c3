#include "crawl/LinkSet.h"

#include <algorithm>
#include <cstring>

#include "crawl/LinkText.h"

namespace {

constexpr size_t FirstTableSlots = 1024;
constexpr size_t FirstPoolBytes = 4096;
constexpr unsigned PollEvery = 4096;

uint64_t FoldedHash(std::string_view Text) {
  uint64_t hash = 1469598103934665603ull;
  for (const char c : Text) hash = (hash ^ FoldAsciiByte(c)) * 1099511628211ull;
  return hash;
}

// Compares two NUL-ended texts without regard to ASCII case.
int CompareFolded(const char* A, const char* B) {
  for (;; ++A, ++B) {
    const unsigned char a = FoldAsciiByte(*A), b = FoldAsciiByte(*B);
    if (a != b || a == 0) return int(a) - int(b);
  }
}

struct TSortStopped {};

} // namespace

TLinkSet::TLinkSet(size_t ByteBudget) : FBudget(ByteBudget) {}

size_t TLinkSet::Cost(size_t PoolBytes, size_t Links, size_t TableSlots) const {
  return PoolBytes + (Links + TableSlots) * sizeof(uint32_t);
}

std::string_view TLinkSet::operator[](size_t Index) const { return FPool.get() + FStarts[Index]; }

std::vector<AnsiString> TLinkSet::ToVector() const {
  std::vector<AnsiString> links;
  links.reserve(Count());
  for (size_t i = 0; i < Count(); ++i) links.emplace_back((*this)[i]);
  return links;
}

// The table slot of Link: where it stands (Found) or where it would go.
size_t TLinkSet::Slot(std::string_view Link, bool& Found) const {
  const size_t mask = FTable.size() - 1;
  for (size_t slot = FoldedHash(Link) & mask;; slot = (slot + 1) & mask) {
    const uint32_t entry = FTable[slot];
    Found = entry != 0 && SameTextView((*this)[entry - 1], Link);
    if (entry == 0 || Found) return slot;
  }
}

// Makes room for one more link of LinkBytes (with its NUL) in every part;
// false when that would pass the budget. While a part grows its old and new
// blocks both count.
bool TLinkSet::Grow(size_t LinkBytes) {
  size_t pool = FPoolCapacity, starts = FStarts.capacity(), slots = FTable.size();
  const size_t poolNeed = FPoolSize + LinkBytes;
  if (poolNeed > pool) pool = std::max({poolNeed, FPoolCapacity * 2, FirstPoolBytes});
  if (FStarts.size() == starts) starts = std::max<size_t>(starts * 2, 256);
  if ((FStarts.size() + 1) * 2 > slots) slots = std::max(slots * 2, FirstTableSlots);
  const size_t transient = (pool != FPoolCapacity ? FPoolCapacity : 0) +
                           (starts != FStarts.capacity() ? FStarts.capacity() * sizeof(uint32_t) : 0) +
                           (slots != FTable.size() ? FTable.size() * sizeof(uint32_t) : 0);
  if (poolNeed > UINT32_MAX || Cost(pool, starts, slots) + transient > FBudget) return false;
  if (pool != FPoolCapacity) {
    std::unique_ptr<char[]> grown(new char[pool]);
    if (FPoolSize > 0) std::memcpy(grown.get(), FPool.get(), FPoolSize);
    FPool = std::move(grown);
    FPoolCapacity = pool;
  }
  FStarts.reserve(starts);
  if (slots != FTable.size()) {
    FTable.assign(slots, 0);
    for (size_t i = 0; i < FStarts.size(); ++i) {
      bool found = false;
      FTable[Slot((*this)[i], found)] = static_cast<uint32_t>(i + 1);
    }
  }
  return true;
}

bool TLinkSet::Add(std::string_view Link) {
  if (Link.find('\0') != std::string_view::npos) return true;
  if (!FTable.empty()) {
    bool found = false;
    Slot(Link, found);
    if (found) return true;
  }
  if (!Grow(Link.size() + 1)) return false;
  bool found = false;
  const size_t slot = Slot(Link, found);
  std::memcpy(FPool.get() + FPoolSize, Link.data(), Link.size());
  FPool[FPoolSize + Link.size()] = '\0';
  FStarts.push_back(static_cast<uint32_t>(FPoolSize));
  FTable[slot] = static_cast<uint32_t>(FStarts.size());
  FPoolSize += Link.size() + 1;
  return true;
}

bool TLinkSet::Sort(const std::function<bool()>& Stopped) {
  std::vector<uint32_t>().swap(FTable);
  unsigned compares = 0;
  const char* pool = FPool.get();
  try {
    std::sort(FStarts.begin(), FStarts.end(), [&](uint32_t a, uint32_t b) {
      if (++compares % PollEvery == 0 && Stopped && Stopped()) throw TSortStopped();
      return CompareFolded(pool + a, pool + b) < 0;
    });
  } catch (const TSortStopped&) {
    std::vector<uint32_t>().swap(FStarts);
    FPool.reset();
    FPoolSize = FPoolCapacity = 0;
    return false;
  }
  return true;
}
