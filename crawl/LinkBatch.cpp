#include "crawl/LinkBatch.h"

#include <bit>
#include <cstring>
#include <vector>

#include "crawl/LinkText.h"

void TLinkBatch::Add(std::string_view Link) {
  if (Link.find('\0') != std::string_view::npos || FPool.size() + Link.size() > UINT32_MAX) return;
  TEntry entry{static_cast<uint32_t>(FPool.size()), static_cast<uint32_t>(Link.size()), NoKey,
               static_cast<uint32_t>(FLinks.size())};
  FPool.append(Link);
  if (HoldsUpperCase(Link)) {
    entry.Key = static_cast<uint32_t>(FFolded.size());
    FFolded.append(Link);
    for (size_t i = entry.Key; i < FFolded.size(); ++i) FFolded[i] = static_cast<char>(FoldAsciiByte(FFolded[i]));
  }
  FLinks.push_back(entry);
}

namespace {

size_t GrownCapacity(size_t Size, size_t Capacity, size_t Adding) {
  return Size + Adding <= Capacity ? Capacity : std::max(2 * Capacity, Size + Adding);
}

} // namespace

size_t TLinkBatch::BytesWith(std::string_view Link) const {
  const size_t folded = HoldsUpperCase(Link) ? Link.size() : 0;
  return GrownCapacity(FPool.size(), FPool.capacity(), Link.size()) +
         GrownCapacity(FFolded.size(), FFolded.capacity(), folded) +
         GrownCapacity(FLinks.size(), FLinks.capacity(), 1) * sizeof(TEntry);
}

std::string_view TLinkBatch::KeyOf(const TEntry& Entry) const {
  // The entries' offsets lie within the pools by construction.
  return Entry.Key == NoKey ? std::string_view(FPool.data() + Entry.Offset, Entry.Length)
                            : std::string_view(FFolded.data() + Entry.Key, Entry.Length);
}

std::string_view TLinkBatch::operator[](size_t Index) const {
  return std::string_view(FPool).substr(FLinks[Index].Offset, FLinks[Index].Length);
}

std::vector<AnsiString> TLinkBatch::ToVector() const {
  std::vector<AnsiString> links;
  links.reserve(Count());
  for (size_t i = 0; i < Count(); ++i) links.emplace_back((*this)[i]);
  return links;
}

bool TLinkBatch::Less(const TEntry& A, const TEntry& B) const {
  const int order = KeyOf(A).compare(KeyOf(B));
  return order != 0 ? order < 0 : A.Order < B.Order;
}

namespace {

// Length of the prefix that Keys[i] for every i < Count share.
template <typename TKeyOf>
size_t SharedPrefix(size_t Count, const TKeyOf& Keys) {
  const std::string_view first = Keys(0);
  size_t shared = first.size();
  for (size_t i = 1; i < Count && shared > 0; ++i) {
    const std::string_view key = Keys(i);
    shared = std::min(shared, key.size());
    shared = static_cast<size_t>(std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(shared),
                                               key.begin()).first - first.begin());
  }
  return shared;
}

// Eight bytes from P as one number that orders as they do.
uint64_t OrderedWord(const char* P) {
  uint64_t word;
  std::memcpy(&word, P, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

// A.compare(B), eight bytes at a time.
int CompareBytes(std::string_view A, std::string_view B) {
  const size_t common = std::min(A.size(), B.size());
  size_t i = 0;
  for (; i + 8 <= common; i += 8) {
    const uint64_t a = OrderedWord(A.data() + i), b = OrderedWord(B.data() + i);
    if (a != b) return a < b ? -1 : 1;
  }
  for (; i < common; ++i)
    if (A[i] != B[i]) return static_cast<unsigned char>(A[i]) < static_cast<unsigned char>(B[i]) ? -1 : 1;
  return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
}

// Eight bytes of Key from From on as one number that orders as they do, the
// bytes past its end taken as NUL, which no link holds.
uint64_t WordAt(std::string_view Key, size_t From) {
  if (From + 8 <= Key.size()) return OrderedWord(Key.data() + From);
  uint64_t word = 0;
  for (size_t i = From; i < From + 8; ++i) word = word << 8 | (i < Key.size() ? static_cast<unsigned char>(Key[i]) : 0u);
  return word;
}

// The 24 bytes of a key past the prefix that the keys compared share, as
// three numbers that order as the bytes do.
struct TKeyWords {
  uint64_t Word[3];
};

TKeyWords KeyWords(std::string_view Key, size_t Shared) {
  return {{WordAt(Key, Shared), WordAt(Key, Shared + 8), WordAt(Key, Shared + 16)}};
}

// How two keys that share their first Shared bytes compare: by their words
// and, where those are equal and the keys go on past them, by the rest, read
// only then (KeyA and KeyB give the keys).
template <typename TKeyA, typename TKeyB>
int CompareKeys(const TKeyWords& WordsA, const TKeyA& KeyA, const TKeyWords& WordsB, const TKeyB& KeyB, size_t Shared) {
  for (size_t w = 0; w < 3; ++w)
    if (WordsA.Word[w] != WordsB.Word[w]) return WordsA.Word[w] < WordsB.Word[w] ? -1 : 1;
  // Equal words that end in a NUL belong to keys that ended in them.
  if ((WordsA.Word[2] & 0xFF) == 0) return 0;
  const size_t rest = Shared + 24;
  const std::string_view a = KeyA(), b = KeyB();
  return CompareBytes(a.substr(std::min(rest, a.size())), b.substr(std::min(rest, b.size())));
}

} // namespace

// Sorts the entries by Less. The keys are compared first by their 24 bytes
// past the prefix they all share, held beside the entry, so that most
// comparisons read neither the entries nor their texts, which lie all over
// the batch: the links of a page mostly share their scheme, host and first
// folders.
bool TLinkBatch::SortByKey(const std::function<bool()>& Stopped) {
  if (FLinks.size() < 2) return true;
  // A batch of a few links (that of a small page) is sorted where it
  // stands: its texts are close together, and the keys beside the entries
  // would cost more to make than they save.
  constexpr size_t FewLinks = 16;
  if (FLinks.size() <= FewLinks) {
    std::sort(FLinks.begin(), FLinks.end(), [this](const TEntry& A, const TEntry& B) { return Less(A, B); });
    return true;
  }
  const size_t shared = SharedPrefix(FLinks.size(), [this](size_t I) { return KeyOf(FLinks[I]); });
  struct TSortKey {
    TKeyWords Words;
    uint32_t Index;
    uint32_t Order;
  };
  std::vector<TSortKey> keys(FLinks.size());
  for (size_t i = 0; i < FLinks.size(); ++i)
    keys[i] = {KeyWords(KeyOf(FLinks[i]), shared), static_cast<uint32_t>(i), FLinks[i].Order};
  const auto less = [&](const TSortKey& A, const TSortKey& B) {
    const int order = CompareKeys(A.Words, [&] { return KeyOf(FLinks[A.Index]); }, B.Words,
                                  [&] { return KeyOf(FLinks[B.Index]); }, shared);
    return order != 0 ? order < 0 : A.Order < B.Order;
  };
  if (!SortUnlessStopped(keys.begin(), keys.end(), less, Stopped)) return false;
  std::vector<TEntry> sorted;
  sorted.reserve(keys.size());
  for (const TSortKey& key : keys) sorted.push_back(FLinks[key.Index]);
  FLinks.assign(sorted.begin(), sorted.end());
  return true;
}

void TLinkBatch::DropDuplicates() {
  FLinks.erase(std::unique(FLinks.begin(), FLinks.end(),
                           [this](const TEntry& A, const TEntry& B) { return KeyOf(A) == KeyOf(B); }),
               FLinks.end());
}

bool TLinkBatch::SortUnique(const std::function<bool()>& Stopped) {
  if (!SortByKey(Stopped)) {
    Clear();
    return false;
  }
  DropDuplicates();
  LayOutInOrder();
  return true;
}

// Lays the texts and their folded keys out in the order of the links, so
// that whoever reads the sorted links (a merge of many batches above all)
// reads memory in order rather than all over the batch.
void TLinkBatch::LayOutInOrder() {
  std::string pool, folded;
  pool.reserve(FPool.size());
  folded.reserve(FFolded.size());
  for (TEntry& entry : FLinks) {
    if (entry.Key != NoKey) {
      const auto key = static_cast<uint32_t>(folded.size());
      folded.append(FFolded, entry.Key, entry.Length);
      entry.Key = key;
    }
    const auto offset = static_cast<uint32_t>(pool.size());
    pool.append(FPool, entry.Offset, entry.Length);
    entry.Offset = offset;
  }
  FPool.swap(pool);
  FFolded.swap(folded);
}

void TLinkBatch::Merge(const TLinkBatch& Sorted) {
  const size_t middle = FLinks.size();
  for (size_t i = 0; i < Sorted.Count(); ++i) Add(Sorted[i]);
  std::inplace_merge(FLinks.begin(), FLinks.begin() + static_cast<std::ptrdiff_t>(middle), FLinks.end(),
                     [this](const TEntry& A, const TEntry& B) { return Less(A, B); });
  DropDuplicates();
}

// The links of the sorted batches in the order of their keys, and of equal
// keys in the order of the batches. The keys are compared past the prefix
// that all share (that of the first and the last key of each batch), by
// their next 24 bytes first, held in each batch's cursor. The cursors form a
// heap with the least key on top, and of equal keys the earliest batch's.
std::vector<TLinkBatch::TMergeStep> TLinkBatch::KeyOrder(const std::vector<TLinkBatch>& Sorted) {
  struct TCursor {
    TKeyWords Words;
    uint32_t Batch;
    uint32_t At;
  };
  std::vector<TCursor> heads;
  size_t total = 0;
  for (size_t b = 0; b < Sorted.size(); ++b) {
    if (Sorted[b].Empty()) continue;
    heads.push_back({{}, static_cast<uint32_t>(b), 0});
    total += Sorted[b].Count();
  }
  const auto keyOf = [&Sorted](const TCursor& C) { return Sorted[C.Batch].KeyOf(Sorted[C.Batch].FLinks[C.At]); };
  size_t shared = heads.empty() ? 0 : keyOf(heads[0]).size();
  for (const TCursor& head : heads) {
    const TLinkBatch& batch = Sorted[head.Batch];
    const std::string_view first = keyOf(heads[0]);
    shared = std::min({shared, SharedPrefix(2, [&](size_t I) { return I == 0 ? first : keyOf(head); }),
                       SharedPrefix(2, [&](size_t I) { return batch.KeyOf(batch.FLinks[I == 0 ? 0 : batch.Count() - 1]); })});
  }
  for (TCursor& head : heads) head.Words = KeyWords(keyOf(head), shared);
  const auto before = [&](const TCursor& A, const TCursor& B) {
    const int order = CompareKeys(A.Words, [&] { return keyOf(A); }, B.Words, [&] { return keyOf(B); }, shared);
    return order != 0 ? order < 0 : A.Batch < B.Batch;
  };
  // Moves the cursor at Hole down to where it keeps the heap in order.
  const auto siftDown = [&](size_t Hole) {
    for (;;) {
      size_t least = Hole;
      for (size_t child = 2 * Hole + 1; child <= 2 * Hole + 2 && child < heads.size(); ++child)
        if (before(heads[child], heads[least])) least = child;
      if (least == Hole) return;
      std::swap(heads[Hole], heads[least]);
      Hole = least;
    }
  };
  for (size_t i = heads.size() / 2; i-- > 0;) siftDown(i);
  std::vector<TMergeStep> steps;
  steps.reserve(total);
  std::string_view lastKey;
  while (!heads.empty()) {
    TCursor& head = heads.front();
    const std::string_view key = keyOf(head);
    steps.push_back({head.Batch, head.At, steps.empty() || key != lastKey});
    lastKey = key;
    if (++head.At < Sorted[head.Batch].Count()) {
      head.Words = KeyWords(keyOf(head), shared);
    } else {
      head = heads.back();
      heads.pop_back();
    }
    siftDown(0);
  }
  return steps;
}

// Merge into the first batch gives each link it adds the place of its
// addition, counted from the links the batch holds then; of links equal but
// for case the one added first by that count is kept. The same choice is
// made here, from the links the merged batch would hold before each batch.
std::vector<AnsiString> TLinkBatch::MergedLinks(const std::vector<TLinkBatch>& Sorted) {
  const std::vector<TMergeStep> steps = KeyOrder(Sorted);
  std::vector<size_t> heldBefore(Sorted.size() + 1, 0);
  for (const TMergeStep& step : steps) heldBefore[step.Batch + 1] += step.NewKey;
  for (size_t b = 1; b < heldBefore.size(); ++b) heldBefore[b] += heldBefore[b - 1];
  // The first batch with links is the one merged into: its links keep
  // their own places of addition.
  size_t into = 0;
  while (into < Sorted.size() && Sorted[into].Empty()) ++into;
  std::vector<AnsiString> links;
  links.reserve(heldBefore.back());
  uint64_t keptOrder = 0;
  for (const TMergeStep& step : steps) {
    const uint64_t order = step.Batch == into ? Sorted[into].FLinks[step.At].Order : heldBefore[step.Batch] + step.At;
    if (step.NewKey)
      links.emplace_back(Sorted[step.Batch][step.At]);
    else if (order < keptOrder)
      links.back() = AnsiString(Sorted[step.Batch][step.At]);
    else
      continue;
    keptOrder = order;
  }
  return links;
}

void TLinkBatch::Clear() {
  std::string().swap(FPool);
  std::string().swap(FFolded);
  std::vector<TEntry>().swap(FLinks);
}
