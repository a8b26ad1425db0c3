#include "project/SiteTreeNode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/rtl/RecordPool.h"
#include "project/SiteTree.h"

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Eight bytes at once with "A" to "Z" made lower case: a byte gets 0x20
// where, below 0x80, it is at least "A" and not beyond "Z".
uint64_t FoldedWord(uint64_t bytes) {
  constexpr uint64_t Ones = 0x0101010101010101ULL, High = Ones * 0x80;
  const uint64_t low7 = bytes & ~High;
  const uint64_t atLeastA = low7 + Ones * (0x80 - 'A');
  const uint64_t beyondZ = low7 + Ones * (0x80 - 'Z' - 1);
  return bytes | ((atLeastA & ~beyondZ & ~bytes & High) >> 2);
}

// A hash of a name without regard to ASCII case, eight bytes a step, all of
// its 64 bits mixed: the index takes its slot from some and keeps others.
uint64_t FoldedHash(std::string_view s) {
  constexpr uint64_t Multiplier = 0x9E3779B97F4A7C15ULL;
  uint64_t h = s.size() * Multiplier;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    h = std::rotl((h ^ FoldedWord(word)) * Multiplier, 31);
  }
  if (i < s.size()) {
    uint64_t word = 0;
    std::memcpy(&word, s.data() + i, s.size() - i);
    h = std::rotl((h ^ FoldedWord(word)) * Multiplier, 31);
  }
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  return h ^ (h >> 33);
}

int CompareFolded(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool IsPlain(const TDataObj* node) { return !(node->State & snFolder); }

// The eight bytes at a and at b are the same without regard to ASCII case;
// words that are the same as they stand need no folding.
bool SameFoldedWord(const char* a, const char* b) {
  uint64_t x, y;
  std::memcpy(&x, a, 8);
  std::memcpy(&y, b, 8);
  return x == y || FoldedWord(x) == FoldedWord(y);
}

}  // namespace

// A name of a word or more goes a word a step, its last word ending with it
// (and overlapping the one before when the length is no multiple of eight).
bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() < 8) {
    for (size_t i = 0; i < a.size(); ++i)
      if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
  }
  for (size_t i = 0; i + 8 < a.size(); i += 8)
    if (!SameFoldedWord(a.data() + i, b.data() + i)) return false;
  return SameFoldedWord(a.data() + a.size() - 8, b.data() + b.size() - 8);
}

namespace {

// A zero-filled array from calloc. A large one comes as fresh pages from the
// system, which cost nothing until they are first written: a folder's index
// that grows to millions of slots is not cleared (and paged in) all at once.
template <class T>
class TZeroArray {
public:
  TZeroArray() = default;
  explicit TZeroArray(size_t count) : FData(static_cast<T*>(std::calloc(count, sizeof(T)))), FSize(count) {
    if (!FData && count > 0) throw std::bad_alloc();
  }
  ~TZeroArray() { std::free(FData); }
  TZeroArray(TZeroArray&& other) noexcept
      : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)) {}
  TZeroArray& operator=(TZeroArray&& other) noexcept {
    std::swap(FData, other.FData);
    std::swap(FSize, other.FSize);
    return *this;
  }

  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  T& operator[](size_t i) { return FData[i]; }
  const T& operator[](size_t i) const { return FData[i]; }

private:
  T* FData = nullptr;
  size_t FSize = 0;
};

}  // namespace

// A block of a child list: a leaf of children or a branch of blocks, with
// the number of children below it and of those without the folder bit.
struct TChildBranch;
struct TChildBlock {
  explicit TChildBlock(bool leaf) : Leaf(leaf) {}
  TChildBranch* Up = nullptr;
  uint32_t Count = 0;
  uint32_t Plain = 0;
  const bool Leaf;
};

// A leaf entry: the child's address with bit 0 set when it lacks the folder bit.
using TChildEntry = uintptr_t;

// A slot of a folder's name index: the child's address with the top 16 bits
// of its folded name's hash above it.
using TIndexSlot = uint64_t;

struct TChildLeaf : TChildBlock {
  TChildLeaf() : TChildBlock(true) {}
  std::vector<TChildEntry> Entries;
};

struct TChildBranch : TChildBlock {
  TChildBranch() : TChildBlock(false) {}
  std::vector<TChildBlock*> Kids;
};

// The children of a node, in their order, in blocks: leaves of at most
// LeafSize children under branches of at most BranchSize blocks, each block
// counting its children and those of them without the folder bit. A folder
// of up to LeafSize children is one leaf, a plain array. A folder of more
// than IndexFrom children also has an open-addressing hash index over the
// names (linear probing; a slot of 8 bytes holds the child's address with 16
// bits of its name's hash, so probing reads a node only when those match; 0
// marks a free slot); a smaller one is searched in its leaf.
struct TChildList {
  static constexpr uint32_t LeafSize = 128;
  static constexpr size_t BranchSize = 64;
  static constexpr size_t MinSlots = 16;
  static constexpr uint32_t IndexFrom = 8;

  TChildBlock* Top = nullptr;
  // The first leaf lives here: a small folder needs no block of its own.
  TChildLeaf FirstLeaf;
  TZeroArray<TIndexSlot> Slots;
  // The table the index is moving out of, and how many of its slots have moved.
  TZeroArray<TIndexSlot> OldSlots;
  size_t MovedUpTo = 0;
  // The tree that owns this node; set on the root of a TListObj only.
  TListObj* Owner = nullptr;

  TChildList() = default;
  TChildList(const TChildList&) = delete;
  TChildList& operator=(const TChildList&) = delete;
  ~TChildList() { FreeBlocks(); }

  static TDataObj* NodeOf(TChildEntry e) { return reinterpret_cast<TDataObj*>(e & ~TChildEntry(1)); }
  static bool PlainEntry(TChildEntry e) { return (e & 1) != 0; }
  static TChildEntry EntryOf(TDataObj* node) { return reinterpret_cast<TChildEntry>(node) | (IsPlain(node) ? 1 : 0); }
  static TChildLeaf* AsLeaf(TChildBlock* b) { return static_cast<TChildLeaf*>(b); }
  static TChildBranch* AsBranch(TChildBlock* b) { return static_cast<TChildBranch*>(b); }

  uint32_t Count() const { return Top ? Top->Count : 0; }

  static void AddUp(TChildBlock* b, int32_t count, int32_t plain) {
    for (; b; b = b->Up) {
      b->Count += uint32_t(count);
      b->Plain += uint32_t(plain);
    }
  }

  static size_t IndexIn(const TChildBranch* up, const TChildBlock* kid) {
    return size_t(std::find(up->Kids.begin(), up->Kids.end(), kid) - up->Kids.begin());
  }

  static size_t IndexIn(const TChildLeaf* leaf, const TDataObj* node) {
    size_t i = 0;
    while (NodeOf(leaf->Entries[i]) != node) ++i;
    return i;
  }

  // The leaf holding a position, which becomes the offset in it; the end of
  // the list is the end of the last leaf.
  TChildLeaf* LeafAt(uint32_t& position) const {
    TChildBlock* b = Top;
    while (!b->Leaf) {
      const TChildBranch* branch = AsBranch(b);
      size_t k = 0;
      for (; k + 1 < branch->Kids.size() && position >= branch->Kids[k]->Count; ++k)
        position -= branch->Kids[k]->Count;
      b = branch->Kids[k];
    }
    return AsLeaf(b);
  }

  static void Recount(TChildLeaf* leaf) {
    leaf->Count = uint32_t(leaf->Entries.size());
    leaf->Plain = uint32_t(std::count_if(leaf->Entries.begin(), leaf->Entries.end(), PlainEntry));
  }

  static void Recount(TChildBranch* branch) {
    branch->Count = branch->Plain = 0;
    for (const TChildBlock* kid : branch->Kids) {
      branch->Count += kid->Count;
      branch->Plain += kid->Plain;
    }
  }

  // Puts a new block right after its left neighbour, splitting full branches
  // on the way up (when appending, the left one keeps all it can). The new
  // block's children are not yet counted above it.
  void AttachAfter(TChildBlock* left, TChildBlock* right, bool appending) {
    TChildBranch* up = left->Up;
    if (!up) {
      up = new TChildBranch;
      up->Kids.push_back(left);
      left->Up = up;
      Recount(up);
      Top = up;
    } else if (up->Kids.size() == BranchSize) {
      auto* sibling = new TChildBranch;
      const size_t keep = appending ? BranchSize - 1 : BranchSize / 2;
      sibling->Kids.assign(up->Kids.begin() + ptrdiff_t(keep), up->Kids.end());
      up->Kids.resize(keep);
      for (TChildBlock* kid : sibling->Kids) kid->Up = sibling;
      Recount(up);
      Recount(sibling);
      AddUp(up->Up, -int32_t(sibling->Count), -int32_t(sibling->Plain));
      AttachAfter(up, sibling, appending);
      up = left->Up;
    }
    up->Kids.insert(up->Kids.begin() + ptrdiff_t(IndexIn(up, left)) + 1, right);
    right->Up = up;
    AddUp(up, int32_t(right->Count), int32_t(right->Plain));
  }

  // Splits a full leaf; the offset follows its entry into the half it lands in.
  TChildLeaf* SplitLeaf(TChildLeaf* leaf, uint32_t& offset, bool appending) {
    auto* right = new TChildLeaf;
    const uint32_t keep = appending ? LeafSize : LeafSize / 2;
    right->Entries.assign(leaf->Entries.begin() + keep, leaf->Entries.end());
    leaf->Entries.resize(keep);
    for (TChildEntry e : right->Entries) NodeOf(e)->FLeaf = right;
    Recount(leaf);
    Recount(right);
    AddUp(leaf->Up, -int32_t(right->Count), -int32_t(right->Plain));
    AttachAfter(leaf, right, appending);
    if (offset < keep) return leaf;
    offset -= keep;
    return right;
  }

  TChildLeaf* LastLeaf(uint32_t& position) const {
    TChildLeaf* leaf = AsLeaf(Edge(Top, true));
    position = uint32_t(leaf->Entries.size());
    return leaf;
  }

  void InsertAt(uint32_t position, TDataObj* child) {
    const bool appending = position == Count();
    if (!Top) NewTop();
    TChildLeaf* leaf = appending ? LastLeaf(position) : LeafAt(position);
    if (leaf->Entries.size() == LeafSize) leaf = SplitLeaf(leaf, position, appending);
    const TChildEntry entry = EntryOf(child);
    leaf->Entries.insert(leaf->Entries.begin() + position, entry);
    child->FLeaf = leaf;
    AddUp(leaf, 1, PlainEntry(entry) ? 1 : 0);
    Index(child);
  }

  // Frees a block that has become empty, and a branch left without blocks;
  // a top branch with one block gives way to it.
  void Unlink(TChildBlock* b) {
    TChildBranch* up = b->Up;
    if (up) up->Kids.erase(up->Kids.begin() + ptrdiff_t(IndexIn(up, b)));
    FreeBlock(b);
    if (!up) {
      Top = nullptr;
      return;
    }
    if (up->Kids.empty()) {
      Unlink(up);
    } else if (up == Top && up->Kids.size() == 1) {
      Top = up->Kids.front();
      Top->Up = nullptr;
      up->Kids.clear();
      FreeBlock(up);
    }
  }

  void Erase(TDataObj* child) {
    TChildLeaf* leaf = child->FLeaf;
    const size_t i = IndexIn(leaf, child);
    const bool plain = PlainEntry(leaf->Entries[i]);
    leaf->Entries.erase(leaf->Entries.begin() + ptrdiff_t(i));
    AddUp(leaf, -1, plain ? -1 : 0);
    child->FLeaf = nullptr;
    Unindex(child);
    if (leaf->Entries.empty()) Unlink(leaf);
  }

  static void FolderBitChanged(TDataObj* child) {
    TChildLeaf* leaf = child->FLeaf;
    if (!leaf) return;
    TChildEntry& entry = leaf->Entries[IndexIn(leaf, child)];
    const bool plain = IsPlain(child);
    if (plain == PlainEntry(entry)) return;
    entry = EntryOf(child);
    AddUp(leaf, 0, plain ? 1 : -1);
  }

  static uint32_t PositionOf(const TDataObj* child) {
    const TChildLeaf* leaf = child->FLeaf;
    uint32_t position = uint32_t(IndexIn(leaf, child));
    for (const TChildBlock* b = leaf; b->Up; b = b->Up)
      for (const TChildBlock* kid : b->Up->Kids) {
        if (kid == b) break;
        position += kid->Count;
      }
    return position;
  }

  TDataObj* At(uint32_t position) const { return NodeOf(LeafAt(position)->Entries[position]); }

  static TChildBlock* Edge(TChildBlock* b, bool last) {
    while (!b->Leaf) b = last ? AsBranch(b)->Kids.back() : AsBranch(b)->Kids.front();
    return b;
  }

  TDataObj* Last() const { return Top ? NodeOf(AsLeaf(Edge(Top, true))->Entries.back()) : nullptr; }

  static TDataObj* Successor(const TDataObj* child) {
    const TChildLeaf* leaf = child->FLeaf;
    const size_t i = IndexIn(leaf, child);
    if (i + 1 < leaf->Entries.size()) return NodeOf(leaf->Entries[i + 1]);
    for (const TChildBlock* b = leaf; b->Up; b = b->Up) {
      const size_t k = IndexIn(b->Up, b);
      if (k + 1 < b->Up->Kids.size()) return NodeOf(AsLeaf(Edge(b->Up->Kids[k + 1], false))->Entries.front());
    }
    return nullptr;
  }

  // Position of the first child without the folder bit; Count() when every
  // child has it.
  uint32_t FirstPlainPosition() const {
    if (!Top || Top->Plain == 0) return Count();
    uint32_t position = 0;
    const TChildBlock* b = Top;
    while (!b->Leaf)
      for (const TChildBlock* kid : static_cast<const TChildBranch*>(b)->Kids) {
        if (kid->Plain > 0) {
          b = kid;
          break;
        }
        position += kid->Count;
      }
    const auto& entries = static_cast<const TChildLeaf*>(b)->Entries;
    return position + uint32_t(std::find_if(entries.begin(), entries.end(), PlainEntry) - entries.begin());
  }

  // The children in order; tick, when given, is called every few thousand
  // children, and when it returns false the collecting ends there (false).
  bool Collect(std::vector<TDataObj*>& out, const std::function<bool()>& tick = {}) const {
    if (!Top) return true;
    std::vector<const TChildBlock*> pending{Top};
    size_t leaves = 0;
    while (!pending.empty()) {
      const TChildBlock* b = pending.back();
      pending.pop_back();
      if (b->Leaf) {
        for (TChildEntry e : static_cast<const TChildLeaf*>(b)->Entries) out.push_back(NodeOf(e));
        if (tick && ++leaves % 32 == 0 && !tick()) return false;
      } else {
        const auto& kids = static_cast<const TChildBranch*>(b)->Kids;
        pending.insert(pending.end(), kids.rbegin(), kids.rend());
      }
    }
    return true;
  }

  // Puts the children (the same ones) in a new order; tick, when given, is
  // called every few thousand children (the list then holds those placed so
  // far; the rebuilding goes on whatever it returns).
  void Rebuild(const std::vector<TDataObj*>& nodes, const std::function<bool()>& tick = {}) {
    FreeBlocks(tick);
    size_t placed = 0;
    for (TDataObj* node : nodes) {
      if (tick && ++placed % 4096 == 0) tick();
      uint32_t position = 0;
      if (!Top) NewTop();
      TChildLeaf* leaf = LastLeaf(position);
      if (leaf->Entries.size() == LeafSize) leaf = SplitLeaf(leaf, position, true);
      const TChildEntry entry = EntryOf(node);
      leaf->Entries.push_back(entry);
      node->FLeaf = leaf;
      AddUp(leaf, 1, PlainEntry(entry) ? 1 : 0);
    }
  }

  TChildLeaf* NewTop() {
    FirstLeaf.Up = nullptr;
    FirstLeaf.Count = FirstLeaf.Plain = 0;
    Top = &FirstLeaf;
    return &FirstLeaf;
  }

  void FreeBlock(TChildBlock* b) {
    if (b == &FirstLeaf)
      FirstLeaf.Entries = {};
    else if (b->Leaf)
      delete AsLeaf(b);
    else
      delete AsBranch(b);
  }

  // Frees every block; tick, when given, is called every few thousand
  // children's blocks (the freeing goes on whatever it returns).
  void FreeBlocks(const std::function<bool()>& tick = {}) {
    std::vector<TChildBlock*> pending;
    if (Top) pending.push_back(Top);
    Top = nullptr;
    size_t freed = 0;
    while (!pending.empty()) {
      TChildBlock* b = pending.back();
      pending.pop_back();
      if (!b->Leaf) pending.insert(pending.end(), AsBranch(b)->Kids.begin(), AsBranch(b)->Kids.end());
      FreeBlock(b);
      if (tick && ++freed % 32 == 0) tick();
    }
  }

  // --- Hash index by folded name ---
  //
  // A growing index moves to a table twice as large a few slots at a time:
  // every insertion moves MoveStep slots of the old table, so no insertion
  // (one line of a site-tree load, one found link) pays for rehashing a
  // folder of millions at once. While it moves, a name is looked up in both
  // tables; the old one only loses entries (a moved or removed entry leaves
  // a tombstone, so the probe runs stay whole) and goes once its last slot
  // has moved. A slot keeps no full hash: the home of an entry that moves is
  // found from its node's name.

  static constexpr size_t MoveStep = 16;
  static constexpr TIndexSlot Tombstone = 1;  // no node sits at address 1
  static constexpr unsigned TagShift = 48;    // user addresses fit below bit 48

  size_t Mask() const { return Slots.size() - 1; }
  bool Moving() const { return !OldSlots.empty(); }
  static size_t Home(uint64_t hash, size_t mask) { return size_t(hash) & mask; }
  static TIndexSlot Tag(uint64_t hash) { return hash >> TagShift; }
  static TDataObj* NodeAt(TIndexSlot slot) {
    return reinterpret_cast<TDataObj*>(slot & ((TIndexSlot(1) << TagShift) - 1));
  }
  static TIndexSlot SlotOf(TDataObj* node, uint64_t hash) {
    const auto address = reinterpret_cast<TIndexSlot>(node);
    if (address >> TagShift) throw std::length_error("A site-tree node lies beyond the index's address range");
    return Tag(hash) << TagShift | address;
  }

  // The slot of a name (or of one node, when node is given) in a table; npos
  // when it is not there.
  static size_t Probe(const TZeroArray<TIndexSlot>& slots, std::string_view name, const TDataObj* node = nullptr) {
    if (slots.empty()) return std::string_view::npos;
    const size_t mask = slots.size() - 1;
    const uint64_t hash = FoldedHash(name);
    const TIndexSlot tag = Tag(hash);
    for (size_t i = Home(hash, mask); slots[i]; i = (i + 1) & mask) {
      if (slots[i] >> TagShift != tag || slots[i] == Tombstone) continue;
      const TDataObj* candidate = NodeAt(slots[i]);
      if (node ? candidate == node : SameFolded(candidate->FName, name)) return i;
    }
    return std::string_view::npos;
  }

  TDataObj* Find(std::string_view name) const {
    if (Slots.empty()) {
      // Not indexed yet: all children are in the first leaf.
      if (!Top) return nullptr;
      for (TChildEntry e : FirstLeaf.Entries)
        if (SameFolded(NodeOf(e)->FName, name)) return NodeOf(e);
      return nullptr;
    }
    size_t i = Probe(Slots, name);
    if (i != std::string_view::npos) return NodeAt(Slots[i]);
    i = Probe(OldSlots, name);
    return i != std::string_view::npos ? NodeAt(OldSlots[i]) : nullptr;
  }

  void Place(TDataObj* node) {
    const uint64_t hash = FoldedHash(node->FName);
    size_t i = Home(hash, Mask());
    while (Slots[i]) i = (i + 1) & Mask();
    Slots[i] = SlotOf(node, hash);
  }

  // A folder gets its index once it holds more than IndexFrom children.
  void Index(TDataObj* node) {
    if (Slots.empty()) {
      if (Count() <= IndexFrom) return;
      std::vector<TDataObj*> all;
      Collect(all);
      Grow(all.size());
      for (TDataObj* n : all) Place(n);
      return;
    }
    MoveSome(MoveStep);
    Grow(Count());
    Place(node);
  }

  // At most three quarters of the slots are used; a fuller table makes way
  // for one twice as large (or larger), into which MoveSome moves it. A
  // move still going on when the new table fills up is finished first.
  void Grow(size_t count) {
    size_t needed = std::max(MinSlots, Slots.size());
    while (count * 4 > needed * 3) needed *= 2;
    if (needed == Slots.size()) return;
    MoveSome(OldSlots.size());
    OldSlots = std::move(Slots);
    Slots = TZeroArray<TIndexSlot>(needed);
    MovedUpTo = 0;
  }

  // Moves up to slots slots of the old table into the current one; the names
  // of the nodes to move are fetched into the cache together before they are
  // hashed.
  void MoveSome(size_t slots) {
    if (!Moving()) return;
    const size_t end = std::min(OldSlots.size(), MovedUpTo + slots);
    for (size_t i = MovedUpTo; i < end; ++i)
      if (OldSlots[i] > Tombstone) __builtin_prefetch(&NodeAt(OldSlots[i])->FName);
    for (; MovedUpTo < end; ++MovedUpTo) {
      TIndexSlot& slot = OldSlots[MovedUpTo];
      if (slot <= Tombstone) continue;
      Place(NodeAt(slot));
      slot = Tombstone;
    }
    if (MovedUpTo < OldSlots.size()) return;
    OldSlots = TZeroArray<TIndexSlot>();
  }

  // Removes a node's slot: in the current table moving later entries of its
  // probe run back, in the old one leaving a tombstone.
  void Unindex(TDataObj* node) {
    if (Slots.empty()) return;
    size_t i = Probe(Slots, node->FName, node);
    if (i == std::string_view::npos) {
      i = Probe(OldSlots, node->FName, node);
      if (i != std::string_view::npos) OldSlots[i] = Tombstone;
      return;
    }
    for (size_t j = (i + 1) & Mask(); Slots[j]; j = (j + 1) & Mask()) {
      const size_t home = Home(FoldedHash(NodeAt(Slots[j])->FName), Mask());
      const bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
      if (movable) {
        Slots[i] = Slots[j];
        i = j;
      }
    }
    Slots[i] = 0;
  }

  void Reset() {
    FreeBlocks();
    Slots = TZeroArray<TIndexSlot>();
    OldSlots = TZeroArray<TIndexSlot>();
  }
};

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Below the root, blanks and empty components ("//") in front of a tail are dropped.
std::string_view SkipEmptyComponents(std::string_view s) {
  while (!s.empty() && (s.front() == '/' || IsBlank(s.front()))) s.remove_prefix(1);
  return TrimmedView(s);
}

// One step of a path walk: the component, its lookup name and the tail. The
// name is a view of the walked text, or of NameText when the text lacks the
// scheme a host's name starts with; a step is filled in place, never copied.
// A host found under neither name may go by the other one (with or without
// "www."): Scheme and Host are kept for it.
struct TPathStep {
  TPathStep() = default;
  TPathStep(const TPathStep&) = delete;
  TPathStep& operator=(const TPathStep&) = delete;

  std::string_view Name;
  AnsiString NameText;
  bool HasAlias = false;
  std::string_view Scheme;
  std::string_view Host;
  std::string_view Tail;
  bool Folder = false;
  bool Empty = false;
};

// At the root the name is the scheme and the host: start, the walked text,
// holds them side by side when the scheme was taken from it.
void SetNames(TPathStep& step, bool atRoot, bool www, std::string_view scheme, std::string_view start,
              std::string_view comp) {
  step.Empty = comp.empty();
  if (!atRoot) {
    step.Name = comp;
    return;
  }
  if (comp.data() == start.data() + scheme.size()) {
    step.Name = start.substr(0, scheme.size() + comp.size());
  } else {
    step.NameText.assign(scheme).append(comp);
    step.Name = step.NameText;
  }
  step.HasAlias = www;
  step.Scheme = scheme;
  step.Host = comp;
}

// The host's other name: without its "www." or with one in front.
AnsiString AliasName(const TPathStep& step) {
  AnsiString alias(step.Scheme);
  if (step.Host.size() >= 4 && SameFolded(step.Host.substr(0, 4), "www."))
    alias.append(step.Host.substr(4));
  else
    alias.append("www.").append(step.Host);
  return alias;
}

// The position of the first character for which stops holds, or npos.
template <class TStops>
size_t FindFirst(std::string_view s, TStops stops) {
  for (size_t i = 0; i < s.size(); ++i)
    if (stops(s[i])) return i;
  return std::string_view::npos;
}

constexpr auto EndsAddedComponent = [](char c) { return c == '/' || c == '?' || c == '=' || c == ':'; };

constexpr auto MarksFileName = [](char c) { return c == '.' || c == '?' || c == ':' || c == '='; };

// At the root a ":" followed by digits up to the next "/" (or the end) is a
// host's port, not a stop: the position after the port is returned then.
size_t SkipHostPort(std::string_view u, size_t colon) {
  if (colon == std::string_view::npos || u[colon] != ':') return colon;
  size_t end = colon + 1;
  while (end < u.size() && u[end] >= '0' && u[end] <= '9') ++end;
  if (end == colon + 1 || (end < u.size() && u[end] != '/')) return colon;
  return end < u.size() ? end : std::string_view::npos;
}

// AddPath's rule: the first "/" splits when it ends the text or comes before
// every "?", "=" and ":" (a host's port aside); an unsplit component is a
// folder when it holds none of ".", "?", ":" and "=".
void SplitForAdd(TPathStep& step, std::string_view u, bool atRoot, bool www) {
  const std::string_view start = u;
  const std::string_view scheme = atRoot ? TakeSchemeView(u) : std::string_view();
  // Only the text up to the first of these characters is looked at, so a long
  // path is split in linear time.
  size_t first = FindFirst(u, EndsAddedComponent);
  if (atRoot) first = SkipHostPort(u, first);
  size_t s = first;
  if (first != std::string_view::npos && u[first] != '/') {
    s = u.find('/', first);
    if (s + 1 != u.size()) s = std::string_view::npos;
  }
  std::string_view comp = u;
  if (s != std::string_view::npos) {
    comp = u.substr(0, s);
    step.Tail = SkipEmptyComponents(u.substr(s + 1));
    step.Folder = true;
  } else {
    step.Folder = FindFirst(comp, MarksFileName) == std::string_view::npos;
  }
  SetNames(step, atRoot, www, scheme, start, comp);
}

// FindPath's rule: the text is always cut at its first "/".
void SplitForFind(TPathStep& step, std::string_view u, bool atRoot, bool www) {
  const std::string_view start = u;
  const std::string_view scheme = atRoot ? TakeSchemeView(u) : std::string_view();
  size_t s = u.find('/');
  std::string_view comp = u.substr(0, s);
  if (s != std::string_view::npos) step.Tail = SkipEmptyComponents(u.substr(s + 1));
  SetNames(step, atRoot, www, scheme, start, comp);
}

TDataObj* FindStepChild(const TDataObj* node, const TPathStep& step) {
  TDataObj* child = node->FindChild(step.Name);
  if (!child && step.HasAlias) child = node->FindChild(AliasName(step));
  return child;
}

bool IsRootNode(const TDataObj* node) { return node->Parent == nullptr && node->Depth == 0; }

bool IsUnsafe(unsigned char c) { return c < 0x20 || c == '|'; }

// Whether one of the eight bytes at p is unsafe: a byte below 0x20, or one
// that is "|" (zero once "|" is taken away), borrows in the subtraction,
// which sets its high bit where the byte had none.
bool HasUnsafeByteInWord(const char* p) {
  constexpr uint64_t Ones = 0x0101010101010101ULL, High = Ones * 0x80;
  uint64_t word;
  std::memcpy(&word, p, 8);
  const uint64_t bars = word ^ (Ones * '|');
  return ((((word - Ones * 0x20) & ~word) | ((bars - Ones) & ~bars)) & High) != 0;
}

// The path walk's starting text: trimmed, unsafe bytes encoded, and below the
// root without leading empty components.
std::string_view StartText(const TDataObj* node, std::string_view url, AnsiString& buffer) {
  const std::string_view text = TreeSafeText(url, buffer);
  return IsRootNode(node) ? text : SkipEmptyComponents(text);
}

}  // namespace

// A text of a word or more goes a word a step, its last word ending with it.
bool HasTreeUnsafeByte(std::string_view s) {
  if (s.size() < 8) return std::any_of(s.begin(), s.end(), [](char c) { return IsUnsafe(c); });
  for (size_t i = 0; i + 8 < s.size(); i += 8)
    if (HasUnsafeByteInWord(s.data() + i)) return true;
  return HasUnsafeByteInWord(s.data() + s.size() - 8);
}

std::string_view TreeSafeText(std::string_view text, AnsiString& buffer) {
  text = TrimmedView(text);
  if (!HasTreeUnsafeByte(text)) return text;
  buffer.clear();
  buffer.reserve(text.size() + 8);
  AppendPercentEncoded(buffer, text, IsUnsafe);
  return buffer;
}

std::string_view TakeSchemeView(std::string_view& url) {
  // "://" within the first eleven characters starts before the ninth.
  const size_t reach = std::min<size_t>(url.size(), 11);
  for (size_t p = 0; p + 3 <= reach; ++p)
    if (url[p] == ':' && url[p + 1] == '/' && url[p + 2] == '/') {
      const std::string_view scheme = url.substr(0, p + 3);
      url.remove_prefix(p + 3);
      return scheme;
    }
  return "http://";
}

AnsiString TakeScheme(std::string_view& url) { return AnsiString(TakeSchemeView(url)); }

void AppendPercentEncoded(AnsiString& out, std::string_view s, bool (*mustEncode)(unsigned char)) {
  static const char hex[] = "0123456789ABCDEF";
  for (unsigned char c : s) {
    if (!mustEncode(c)) {
      out += char(c);
      continue;
    }
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
  }
}

TNodeState& TNodeState::operator=(uint8_t bits) {
  const bool folderChanged = ((FBits ^ bits) & snFolder) != 0;
  FBits = bits;
  // State is the first member of the holder, which is a base of the node.
  if (folderChanged) static_cast<TDataObj*>(reinterpret_cast<TNodeStateHolder*>(this))->FolderBitChanged();
  return *this;
}

TDataObj::TDataObj(int32_t depth) : Depth(depth) {}

namespace {

// The cookie texts of the nodes that have one, beside the nodes, so that the
// millions of nodes without one do not carry room for it. The links of one
// page come with one text, which they share.
class TCookieTable {
public:
  AnsiString Get(const TDataObj* node) {
    if (FCount.load(std::memory_order_acquire) == 0) return AnsiString();
    std::lock_guard<std::mutex> lock(FMutex);
    const auto found = FTexts.find(node);
    return found == FTexts.end() ? AnsiString() : *found->second;
  }
  void Set(const TDataObj* node, const AnsiString& text) {
    if (text.empty()) return Drop(node);
    std::lock_guard<std::mutex> lock(FMutex);
    if (!FLast || *FLast != text) FLast = std::make_shared<const AnsiString>(text);
    FTexts[node] = FLast;
    FCount.store(FTexts.size(), std::memory_order_release);
  }
  void Drop(const TDataObj* node) {
    if (FCount.load(std::memory_order_acquire) == 0) return;
    std::lock_guard<std::mutex> lock(FMutex);
    FTexts.erase(node);
    FCount.store(FTexts.size(), std::memory_order_release);
    if (FTexts.empty()) FLast.reset();
  }

  size_t Count() const { return FCount.load(std::memory_order_acquire); }

private:
  std::mutex FMutex;
  std::unordered_map<const TDataObj*, std::shared_ptr<const AnsiString>> FTexts;
  std::shared_ptr<const AnsiString> FLast;  // the text set last
  std::atomic<size_t> FCount{0};
};

TCookieTable& Cookies() {
  static TCookieTable table;
  return table;
}

// The records of every tree's nodes. Nodes are made on the user-interface
// thread (tests make them on any), a closed tree is freed on a thread of its
// own: the lock is seldom contended. The pool outlives every static tree.
struct TNodePool {
  std::mutex Mutex;
  TRecordPool Records;
};

TNodePool& NodePool() {
  static auto* pool = new TNodePool;
  return *pool;
}

}  // namespace

static_assert(sizeof(void*) != 8 || sizeof(TDataObj) <= 104, "a node outgrows its 104-byte record");

void* TDataObj::operator new(size_t size) {
  std::lock_guard<std::mutex> lock(NodePool().Mutex);
  return NodePool().Records.Allocate(size);
}

void TDataObj::operator delete(void* node) {
  std::lock_guard<std::mutex> lock(NodePool().Mutex);
  NodePool().Records.Release(node);
}

size_t TDataObj::PooledNodes() {
  std::lock_guard<std::mutex> lock(NodePool().Mutex);
  return NodePool().Records.InUse();
}

size_t TDataObj::PooledBlocks() {
  std::lock_guard<std::mutex> lock(NodePool().Mutex);
  return NodePool().Records.BlockCount();
}

TDataObj::~TDataObj() {
  if (FKids && FKids->Top) Clear();
  delete FKids;
  Cookies().Drop(this);
}

AnsiString TDataObj::LinkCookies() const { return Cookies().Get(this); }

void TDataObj::SetLinkCookies(const AnsiString& cookies) { Cookies().Set(this, cookies); }

size_t TDataObj::LinkCookieCount() { return Cookies().Count(); }

TListObj* TDataObj::OwnerTree() const {
  const TDataObj* top = this;
  while (top->Parent) top = top->Parent;
  return top->FKids ? top->FKids->Owner : nullptr;
}

void TDataObj::SetOwnerTree(TListObj* owner) {
  if (!FKids) FKids = new TChildList;
  FKids->Owner = owner;
}

void TDataObj::FolderBitChanged() {
  TChildList::FolderBitChanged(this);
}

void TDataObj::DetachChildren(std::vector<TDataObj*>& out) {
  if (!FKids) return;
  FKids->Collect(out);
  FKids->Reset();
}

void TDataObj::Clear(const std::function<void()>& pause) {
  Descendants = 0;
  if (!FKids || !FKids->Top) return;
  TListObj* owner = OwnerTree();
  std::vector<TDataObj*> pending;
  DetachChildren(pending);
  for (size_t freed = 1; !pending.empty(); ++freed) {
    TDataObj* node = pending.back();
    pending.pop_back();
    node->DetachChildren(pending);
    if (owner) owner->NodeFreed(node);
    node->Parent = nullptr;
    delete node;
    if (pause && freed % 1024 == 0) pause();
  }
}

// A file goes to the end; a folder before the first child without the folder bit.
TDataObj* TDataObj::CreateChild(std::string_view name, bool folder) {
  if (!FKids) FKids = new TChildList;
  if (FKids->Count() >= 0x7FFFFFFEu) throw EIntOverflow("Too many entries in one site-tree folder");
  auto child = std::make_unique<TDataObj>(Depth + 1);
  child->FName = name;
  if (folder) child->State |= snFolder;
  FKids->InsertAt(folder ? FKids->FirstPlainPosition() : FKids->Count(), child.get());
  child->Parent = this;
  return child.release();
}

void TDataObj::RemoveChild(TDataObj* child) {
  if (child->Parent != this || !FKids) return;
  FKids->Erase(child);
  child->Parent = nullptr;
}

TDataObj* TDataObj::AddPath(std::string_view url, bool www) {
  bool refused = false;
  return Insert(url, www, refused);
}

size_t TDataObj::UrlLength() const {
  size_t length = 0;
  for (const TDataObj* n = this; n && n->Depth >= 1; n = n->Parent) length += n->FName.size() + (n->Depth > 1 ? 1 : 0);
  return length;
}

TDataObj* TDataObj::Insert(std::string_view url, bool www, bool& refused, size_t prefixLength) {
  refused = prefixLength + TrimmedView(url).size() > MaxUrlLength;
  if (refused) return nullptr;
  AnsiString buffer;
  std::string_view rest = StartText(this, url, buffer);
  // The path runs from this node down to node, through the parents' links;
  // its steps are counted, the first one that created a node remembered.
  size_t steps = 0;
  size_t firstCreated = SIZE_MAX;
  TDataObj* firstMade = nullptr;
  TDataObj* node = this;
  while (!rest.empty()) {
    TPathStep step;
    SplitForAdd(step, rest, IsRootNode(node), www);
    if (step.Empty) return nullptr;  // a URL without a host
    TDataObj* child = FindStepChild(node, step);
    if (!child && node->Depth > MaxPathComponents) {
      // Too deep: what this call made goes again.
      refused = true;
      if (firstMade) {
        firstMade->Parent->RemoveChild(firstMade);
        delete firstMade;
      }
      return nullptr;
    }
    if (!child) {
      child = node->CreateChild(step.Name, step.Folder);
      if (step.Folder && !step.Tail.empty()) child->Level = FolderLevel;
      if (!firstMade) {
        firstMade = child;
        firstCreated = steps;
      }
    }
    ++steps;
    node = child;
    rest = step.Tail;
  }
  if (steps == 0) return nullptr;
  CountInserted(node, steps, firstCreated);
  node->Queued = 1;
  node->New = firstMade != nullptr;
  return node;
}

// Every node an insertion created (from step firstCreated of the path of
// steps nodes that ends at leaf) counts for each node above it up to this
// node's parent; the nodes above the leaf are folders.
void TDataObj::CountInserted(TDataObj* leaf, size_t steps, size_t firstCreated) {
  const bool made = firstCreated != SIZE_MAX;
  const int32_t created = made ? int32_t(steps - firstCreated) : 0;
  Descendants += created;
  if (Parent) Parent->Descendants += created;
  if (steps > 1) State |= snFolder;
  size_t i = steps - 1;
  for (TDataObj* above = leaf->Parent; above != this; above = above->Parent) {
    --i;
    above->State |= snFolder;
    if (made) above->Descendants += int32_t(steps - std::max(i + 1, firstCreated));
  }
}

TDataObj* TDataObj::FindPath(std::string_view url, bool www, int markSet) const {
  AnsiString buffer;
  std::string_view rest = StartText(this, url, buffer);
  const TDataObj* node = this;
  while (!rest.empty()) {
    TPathStep step;
    SplitForFind(step, rest, IsRootNode(node), www);
    if (step.Empty) return nullptr;
    TDataObj* child = FindStepChild(node, step);
    if (!child) return nullptr;
    if (child->MarkByte(markSet) & dmStartDir) return child;
    node = child;
    rest = step.Tail;
  }
  return nullptr;
}

TDataObj* TDataObj::TopNode() {
  TDataObj* node = this;
  while (node->Depth > 1 && node->Parent) node = node->Parent;
  return node;
}

namespace {

// Appends a node's name to the path of the nodes above it, one "/" between.
void AppendPathName(AnsiString& s, std::string_view name) {
  if (s.empty() || name.empty()) {
    s += name;
    return;
  }
  bool leftSep = s.back() == '/', rightSep = name.front() == '/';
  if (leftSep && rightSep)
    s.append(name, 1);
  else {
    if (!leftSep && !rightSep) s += '/';
    s += name;
  }
}

}  // namespace

void TDataObj::GetPath(AnsiString& s) const {
  // The nodes from the host down: those of a usual path in an array, without
  // an allocation, those of a deeper one in a vector.
  size_t levels = 0;
  for (const TDataObj* n = this; n && n->Depth >= 1; n = n->Parent) ++levels;
  std::array<const TDataObj*, 32> few;
  std::vector<const TDataObj*> many(levels > few.size() ? levels : 0);
  const TDataObj** chain = many.empty() ? few.data() : many.data();
  size_t placed = levels;
  for (const TDataObj* n = this; placed > 0; n = n->Parent) chain[--placed] = n;
  s.clear();
  for (size_t level = 0; level < levels; ++level) AppendPathName(s, chain[level]->FName);
}

TDataObj* TDataObj::LastDescendant() {
  TDataObj* node = this;
  while (node->ChildCount() > 0) node = node->FKids->Last();
  return node;
}

void TDataObj::MarkStartHost(int markSet) { (markSet == 0 ? DirIn : DirInResume) |= dmStartHost; }

void TDataObj::MarkStartDir(int markSet) {
  TDataObj* target = nullptr;
  if ((State & snFolder) || Depth == 1)
    target = this;
  else if (Depth > 1 && Parent)
    target = Parent;
  if (target) (markSet == 0 ? target->DirIn : target->DirInResume) |= dmStartDir;
}

int TDataObj::ChildCount() const { return FKids ? int(FKids->Count()) : 0; }

TDataObj* TDataObj::Child(int index) const {
  if (index < 0 || index >= ChildCount())
    throw ERangeError("Site-tree child index out of range (" + IntToStr(index) + ")");
  return FKids->At(uint32_t(index));
}

TDataObj* TDataObj::FindChild(std::string_view name) const { return FKids ? FKids->Find(name) : nullptr; }

int TDataObj::IndexInParent() const { return FLeaf ? int(TChildList::PositionOf(this)) : -1; }

TDataObj* TDataObj::NextSibling() const { return FLeaf ? TChildList::Successor(this) : nullptr; }

void TDataObj::GetChildren(std::vector<TDataObj*>& out) const {
  if (FKids) FKids->Collect(out);
}

namespace {

// Sorts in runs, then merges pairs of runs back and forth between the items
// and a buffer, so that tick is called after every Step items placed,
// however large the folder; false when tick ended it (the items are then
// left in no useful order, nor whole). The buffer is not cleared first: a folder
// of millions pays for its pages while it is merged, between the ticks.
template <class T, class Less>
bool SortInSteps(std::vector<T>& items, Less less, const std::function<bool()>& tick) {
  constexpr size_t Step = 4096;
  const size_t n = items.size();
  for (size_t i = 0; i < n; i += Step) {
    std::sort(items.begin() + ptrdiff_t(i), items.begin() + ptrdiff_t(std::min(i + Step, n)), less);
    if (tick && !tick()) return false;
  }
  if (n <= Step) return true;
  std::unique_ptr<T[]> buffer(new T[n]);
  T* from = items.data();
  T* to = buffer.get();
  for (size_t width = Step; width < n; width *= 2) {
    T* out = to;
    for (size_t i = 0; i < n; i += 2 * width) {
      const T *a = from + std::min(i, n), *aEnd = from + std::min(i + width, n);
      const T *b = aEnd, *bEnd = from + std::min(i + 2 * width, n);
      while (a != aEnd || b != bEnd) {
        for (size_t k = 0; k < Step && (a != aEnd || b != bEnd); ++k)
          *out++ = (b == bEnd || (a != aEnd && !less(*b, *a))) ? *a++ : *b++;
        if (tick && !tick()) return false;
      }
    }
    std::swap(from, to);
  }
  for (size_t i = 0; from != items.data() && i < n; i += Step) {
    std::copy(from + i, from + std::min(i + Step, n), items.data() + i);
    if (tick && !tick()) return false;
  }
  return true;
}

}  // namespace

bool TDataObj::Sort(const std::function<bool()>& tick) {
  auto isFolder = [](const TDataObj* n) { return (n->DirIn & dmStartDir) || n->ChildCount() > 0; };
  auto before = [&](const TDataObj* a, const TDataObj* b) {
    bool fa = isFolder(a), fb = isFolder(b);
    if (fa != fb) return fa;
    return CompareFolded(a->FName, b->FName) < 0;
  };
  std::vector<TDataObj*> pending{this};
  std::vector<TDataObj*> items;
  while (!pending.empty()) {
    TDataObj* node = pending.back();
    pending.pop_back();
    if (node->ChildCount() == 0) continue;
    items.clear();
    if (!node->FKids->Collect(items, tick)) return false;
    // A folder whose sort was ended keeps its children as they were.
    if (!SortInSteps(items, before, tick)) return false;
    node->FKids->Rebuild(items, tick);
    // Only the children that have children of their own are sorted next;
    // looking at millions of them takes time too.
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i]->ChildCount() > 0) pending.push_back(items[i]);
      if (tick && i % 4096 == 4095 && !tick()) return false;
    }
  }
  return true;
}
