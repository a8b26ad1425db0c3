#include "project/SiteTreeNode.h"

#include <algorithm>
#include <string_view>

#include "project/SiteTree.h"

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

uint32_t FoldedHash(std::string_view s) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) h = (h ^ Fold(c)) * 1099511628211ULL;
  return uint32_t(h ^ (h >> 32));
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
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

// Heap keys of the order trees: a per-thread sequence, well mixed, so that
// runs are repeatable.
uint32_t NextPriority() {
  thread_local uint64_t state = 0;
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return uint32_t(z ^ (z >> 31));
}

bool IsPlain(const TDataObj* node) { return !(node->State & snFolder); }

}  // namespace

// The children of a node: an order tree (a treap keyed by position, each
// node counting its subtree and the nodes in it without the folder bit) and
// an open-addressing hash index over the names (linear probing; a slot keeps
// the name's hash beside the node, so probing reads no node).
struct TChildList {
  struct TSlot {
    TDataObj* Node = nullptr;  // nullptr: a free slot
    uint32_t Hash = 0;
  };

  TDataObj* Top = nullptr;
  std::vector<TSlot> Slots;
  // The tree that owns this node; set on the root of a TListObj only.
  TListObj* Owner = nullptr;

  static constexpr size_t MinSlots = 8;

  static uint32_t CountOf(const TDataObj* t) { return t ? t->FCount : 0; }
  static uint32_t PlainOf(const TDataObj* t) { return t ? t->FPlain : 0; }

  static void Update(TDataObj* t) {
    t->FCount = 1 + CountOf(t->FLeft) + CountOf(t->FRight);
    t->FPlain = (IsPlain(t) ? 1 : 0) + PlainOf(t->FLeft) + PlainOf(t->FRight);
  }

  // Adds to the counts of t and of every node above it (only the path is
  // touched, not the siblings along it).
  static void AddUpwards(TDataObj* t, int32_t count, int32_t plain) {
    for (; t; t = t->FUp) {
      t->FCount += uint32_t(count);
      t->FPlain += uint32_t(plain);
    }
  }

  static void SetLeft(TDataObj* t, TDataObj* child) {
    t->FLeft = child;
    if (child) child->FUp = t;
  }

  static void SetRight(TDataObj* t, TDataObj* child) {
    t->FRight = child;
    if (child) child->FUp = t;
  }

  // Every node of a before every node of b.
  static TDataObj* Merge(TDataObj* a, TDataObj* b) {
    if (!a) return b;
    if (!b) return a;
    if (a->FPriority > b->FPriority) {
      SetRight(a, Merge(a->FRight, b));
      Update(a);
      return a;
    }
    SetLeft(b, Merge(a, b->FLeft));
    Update(b);
    return b;
  }

  // The first k nodes of t, and the rest.
  static std::pair<TDataObj*, TDataObj*> Split(TDataObj* t, uint32_t k) {
    if (!t) return {nullptr, nullptr};
    t->FUp = nullptr;
    if (CountOf(t->FLeft) >= k) {
      auto [left, right] = Split(t->FLeft, k);
      SetLeft(t, right);
      Update(t);
      if (left) left->FUp = nullptr;
      return {left, t};
    }
    auto [left, right] = Split(t->FRight, k - CountOf(t->FLeft) - 1);
    SetRight(t, left);
    Update(t);
    if (right) right->FUp = nullptr;
    return {t, right};
  }

  uint32_t Count() const { return CountOf(Top); }

  void InsertAt(uint32_t position, TDataObj* child) {
    child->FLeft = child->FRight = child->FUp = nullptr;
    Update(child);
    auto [left, right] = Split(Top, position);
    Top = Merge(Merge(left, child), right);
    Top->FUp = nullptr;
    Index(child);
  }

  void Erase(TDataObj* child) {
    Unindex(child);
    TDataObj* up = child->FUp;
    TDataObj* joined = Merge(child->FLeft, child->FRight);
    if (!up)
      Top = joined;
    else if (up->FLeft == child)
      up->FLeft = joined;
    else
      up->FRight = joined;
    if (joined) joined->FUp = up;
    AddUpwards(up, -1, IsPlain(child) ? -1 : 0);
    child->FLeft = child->FRight = child->FUp = nullptr;
  }

  static uint32_t PositionOf(const TDataObj* child) {
    uint32_t position = CountOf(child->FLeft);
    for (const TDataObj* t = child; t->FUp; t = t->FUp)
      if (t->FUp->FRight == t) position += CountOf(t->FUp->FLeft) + 1;
    return position;
  }

  TDataObj* At(uint32_t position) const {
    TDataObj* t = Top;
    while (t) {
      uint32_t left = CountOf(t->FLeft);
      if (position == left) return t;
      if (position < left) {
        t = t->FLeft;
      } else {
        position -= left + 1;
        t = t->FRight;
      }
    }
    return nullptr;
  }

  static TDataObj* Leftmost(TDataObj* t) {
    while (t && t->FLeft) t = t->FLeft;
    return t;
  }

  static TDataObj* Rightmost(TDataObj* t) {
    while (t && t->FRight) t = t->FRight;
    return t;
  }

  static TDataObj* Successor(const TDataObj* t) {
    if (t->FRight) return Leftmost(t->FRight);
    while (t->FUp && t->FUp->FRight == t) t = t->FUp;
    return t->FUp;
  }

  // Position of the first child without the folder bit; Count() when every
  // child has it.
  uint32_t FirstPlainPosition() const {
    uint32_t position = 0;
    for (const TDataObj* t = Top; t;) {
      if (PlainOf(t->FLeft) > 0) {
        t = t->FLeft;
      } else if (IsPlain(t)) {
        return position + CountOf(t->FLeft);
      } else {
        position += CountOf(t->FLeft) + 1;
        t = t->FRight;
      }
    }
    return position;
  }

  // The children in order.
  void Collect(std::vector<TDataObj*>& out) const {
    for (TDataObj* t = Leftmost(Top); t; t = Successor(t)) out.push_back(t);
  }

  // Rebuilds the order tree from nodes in their new order, in linear time:
  // a right-spine stack places each node by its heap key.
  void Rebuild(const std::vector<TDataObj*>& nodes) {
    std::vector<TDataObj*> spine;
    for (TDataObj* n : nodes) {
      n->FLeft = n->FRight = n->FUp = nullptr;
      TDataObj* last = nullptr;
      while (!spine.empty() && spine.back()->FPriority < n->FPriority) {
        last = spine.back();
        spine.pop_back();
      }
      SetLeft(n, last);
      if (!spine.empty()) SetRight(spine.back(), n);
      spine.push_back(n);
    }
    Top = spine.empty() ? nullptr : spine.front();
    // Counts bottom-up: a node's subtree ends before the next node on its spine.
    std::vector<TDataObj*> order;
    std::vector<TDataObj*> pending;
    if (Top) pending.push_back(Top);
    while (!pending.empty()) {
      TDataObj* t = pending.back();
      pending.pop_back();
      order.push_back(t);
      if (t->FLeft) pending.push_back(t->FLeft);
      if (t->FRight) pending.push_back(t->FRight);
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) Update(*it);
  }

  // --- Hash index by folded name ---

  size_t Mask() const { return Slots.size() - 1; }

  TDataObj* Find(std::string_view name) const {
    if (Slots.empty()) return nullptr;
    uint32_t hash = FoldedHash(name);
    for (size_t i = hash & Mask();; i = (i + 1) & Mask()) {
      const TSlot& slot = Slots[i];
      if (!slot.Node) return nullptr;
      if (slot.Hash == hash && SameFolded(slot.Node->FName, name)) return slot.Node;
    }
  }

  void Place(TSlot slot) {
    size_t i = slot.Hash & Mask();
    while (Slots[i].Node) i = (i + 1) & Mask();
    Slots[i] = slot;
  }

  // At most half the slots are used, so that probe runs stay short.
  void Index(TDataObj* node) {
    size_t needed = std::max(MinSlots, Slots.size());
    while (size_t(Count()) * 2 > needed) needed *= 2;
    if (needed != Slots.size()) {
      std::vector<TSlot> old(needed);
      old.swap(Slots);
      for (const TSlot& slot : old)
        if (slot.Node) Place(slot);
    }
    Place({node, node->FNameHash});
  }

  // Removes a node's slot, moving later entries of its probe run back.
  void Unindex(TDataObj* node) {
    size_t i = node->FNameHash & Mask();
    while (Slots[i].Node != node) i = (i + 1) & Mask();
    for (size_t j = (i + 1) & Mask(); Slots[j].Node; j = (j + 1) & Mask()) {
      size_t home = Slots[j].Hash & Mask();
      bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
      if (movable) {
        Slots[i] = Slots[j];
        i = j;
      }
    }
    Slots[i] = TSlot();
  }

  void Reset() {
    Top = nullptr;
    Slots.clear();
    Slots.shrink_to_fit();
  }
};

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Below the root, blanks and empty components ("//") in front of a tail are dropped.
std::string_view SkipEmptyComponents(std::string_view s) {
  while (!s.empty() && (s.front() == '/' || IsBlank(s.front()))) s.remove_prefix(1);
  return TrimView(s);
}

// One step of a path walk: the component, its lookup names and the tail.
struct TPathStep {
  AnsiString Name;
  AnsiString Alias;          // empty when there is none
  std::string_view Tail;
  bool Folder = false;
  bool Empty = false;
};

void SetNames(TPathStep& step, bool atRoot, bool www, const AnsiString& scheme, std::string_view comp) {
  step.Empty = comp.empty();
  if (!atRoot) {
    step.Name.assign(comp);
    return;
  }
  step.Name = scheme + AnsiString(comp);
  if (!www) return;
  if (comp.size() >= 4 && SameFolded(comp.substr(0, 4), "www."))
    step.Alias = scheme + AnsiString(comp.substr(4));
  else
    step.Alias = scheme + "www." + AnsiString(comp);
}

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
TPathStep SplitForAdd(std::string_view u, bool atRoot, bool www) {
  TPathStep step;
  AnsiString scheme = atRoot ? TakeScheme(u) : AnsiString();
  // Only the text up to the first of these characters is looked at, so a long
  // path is split in linear time.
  size_t first = u.find_first_of("/?=:");
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
    step.Folder = comp.find_first_of(".?:=") == std::string_view::npos;
  }
  SetNames(step, atRoot, www, scheme, comp);
  return step;
}

// FindPath's rule: the text is always cut at its first "/".
TPathStep SplitForFind(std::string_view u, bool atRoot, bool www) {
  TPathStep step;
  AnsiString scheme = atRoot ? TakeScheme(u) : AnsiString();
  size_t s = u.find('/');
  std::string_view comp = u.substr(0, s);
  if (s != std::string_view::npos) step.Tail = SkipEmptyComponents(u.substr(s + 1));
  SetNames(step, atRoot, www, scheme, comp);
  return step;
}

TDataObj* FindStepChild(const TDataObj* node, const TPathStep& step) {
  TDataObj* child = node->FindChild(step.Name);
  if (!child && !step.Alias.empty()) child = node->FindChild(step.Alias);
  return child;
}

bool IsRootNode(const TDataObj* node) { return node->Parent == nullptr && node->Depth == 0; }

bool IsUnsafe(unsigned char c) { return c < 0x20 || c == '|'; }

// The path walk's starting text: trimmed, unsafe bytes encoded, and below the
// root without leading empty components.
std::string_view StartText(const TDataObj* node, std::string_view url, AnsiString& buffer) {
  std::string_view text = TrimView(url);
  if (std::any_of(text.begin(), text.end(), [](char c) { return IsUnsafe(c); })) {
    buffer = EncodeTreeUnsafeBytes(AnsiString(text));
    text = buffer;
  }
  return IsRootNode(node) ? text : SkipEmptyComponents(text);
}

}  // namespace

AnsiString TakeScheme(std::string_view& url) {
  size_t p = url.substr(0, 11).find("://");
  if (p != std::string_view::npos && p < 9) {
    AnsiString scheme(url.substr(0, p + 3));
    url.remove_prefix(p + 3);
    return scheme;
  }
  return "http://";
}

AnsiString EncodeTreeUnsafeBytes(const AnsiString& s) {
  if (std::none_of(s.begin(), s.end(), [](char c) { return IsUnsafe(c); })) return s;
  AnsiString out;
  out.reserve(s.size() + 8);
  AppendPercentEncoded(out, s, IsUnsafe);
  return out;
}

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

TDataObj::TDataObj(int32_t depth) : Depth(depth), FPriority(NextPriority()) {}

TDataObj::~TDataObj() {
  if (FKids && FKids->Top) Clear();
  delete FKids;
}

AnsiString TDataObj::LinkCookies() const { return FCookies ? *FCookies : AnsiString(); }

void TDataObj::SetLinkCookies(const AnsiString& cookies) {
  if (cookies.empty())
    FCookies.reset();
  else
    FCookies = std::make_unique<AnsiString>(cookies);
}

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
  if (Parent && Parent->FKids) TChildList::AddUpwards(this, 0, (State & snFolder) ? -1 : 1);
}

void TDataObj::DetachChildren(std::vector<TDataObj*>& out) {
  if (!FKids) return;
  FKids->Collect(out);
  FKids->Reset();
}

void TDataObj::Clear() {
  Descendants = 0;
  if (!FKids || !FKids->Top) return;
  TListObj* owner = OwnerTree();
  std::vector<TDataObj*> pending;
  DetachChildren(pending);
  while (!pending.empty()) {
    TDataObj* node = pending.back();
    pending.pop_back();
    node->DetachChildren(pending);
    if (owner) owner->NodeFreed(node);
    node->Parent = nullptr;
    delete node;
  }
}

// A file goes to the end; a folder before the first child without the folder bit.
TDataObj* TDataObj::CreateChild(const AnsiString& name, bool folder) {
  if (!FKids) FKids = new TChildList;
  if (FKids->Count() >= 0x7FFFFFFEu) throw EIntOverflow("Too many entries in one site-tree folder");
  auto child = std::make_unique<TDataObj>(Depth + 1);
  child->FName = name;
  child->FNameHash = FoldedHash(name);
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

TDataObj* TDataObj::Insert(std::string_view url, bool www, bool& refused) {
  refused = TrimView(url).size() > MaxUrlLength;
  if (refused) return nullptr;
  AnsiString buffer;
  std::string_view rest = StartText(this, url, buffer);
  std::vector<TDataObj*> path;
  size_t firstCreated = SIZE_MAX;
  TDataObj* node = this;
  while (!rest.empty()) {
    TPathStep step = SplitForAdd(rest, IsRootNode(node), www);
    if (step.Empty) return nullptr;  // a URL without a host
    TDataObj* child = FindStepChild(node, step);
    if (!child && node->Depth > MaxPathComponents) {
      // Too deep: what this call made goes again.
      refused = true;
      if (firstCreated != SIZE_MAX) {
        TDataObj* made = path[firstCreated];
        made->Parent->RemoveChild(made);
        delete made;
      }
      return nullptr;
    }
    if (!child) {
      child = node->CreateChild(step.Name, step.Folder);
      if (step.Folder && !step.Tail.empty()) child->Level = FolderLevel;
      if (firstCreated == SIZE_MAX) firstCreated = path.size();
    }
    path.push_back(child);
    node = child;
    rest = step.Tail;
  }
  if (path.empty()) return nullptr;

  // Every created node counts for each node above it up to this node's parent.
  size_t k = path.size();
  int32_t created = firstCreated == SIZE_MAX ? 0 : int32_t(k - firstCreated);
  Descendants += created;
  if (Parent) Parent->Descendants += created;
  if (k > 1) State |= snFolder;
  for (size_t i = 0; i + 1 < k; ++i) {
    path[i]->State |= snFolder;
    if (firstCreated != SIZE_MAX) path[i]->Descendants += int32_t(k - std::max(i + 1, firstCreated));
  }
  TDataObj* leaf = path.back();
  leaf->Queued = 1;
  leaf->New = firstCreated != SIZE_MAX;
  return leaf;
}

TDataObj* TDataObj::FindPath(std::string_view url, bool www, int markSet) const {
  AnsiString buffer;
  std::string_view rest = StartText(this, url, buffer);
  const TDataObj* node = this;
  while (!rest.empty()) {
    TPathStep step = SplitForFind(rest, IsRootNode(node), www);
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

void TDataObj::GetPath(AnsiString& s) const {
  std::vector<const TDataObj*> chain;
  for (const TDataObj* n = this; n && n->Depth >= 1; n = n->Parent) chain.push_back(n);
  s.clear();
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const AnsiString& name = (*it)->FName;
    if (s.empty() || name.empty()) {
      s += name;
      continue;
    }
    bool leftSep = s.back() == '/', rightSep = name.front() == '/';
    if (leftSep && rightSep)
      s.append(name, 1);
    else {
      if (!leftSep && !rightSep) s += '/';
      s += name;
    }
  }
}

TDataObj* TDataObj::LastDescendant() {
  TDataObj* node = this;
  while (node->ChildCount() > 0) node = TChildList::Rightmost(node->FKids->Top);
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

TDataObj* TDataObj::FindChild(const AnsiString& name) const { return FKids ? FKids->Find(name) : nullptr; }

int TDataObj::IndexInParent() const { return Parent ? int(TChildList::PositionOf(this)) : -1; }

TDataObj* TDataObj::NextSibling() const { return Parent ? TChildList::Successor(this) : nullptr; }

namespace {

// Sorts in runs, then merges pairs of runs, so that tick can be called
// between steps of a large folder's sort.
template <class T, class Less>
void SortInSteps(std::vector<T>& items, Less less, const std::function<void()>& tick) {
  constexpr size_t Run = 4096;
  const size_t n = items.size();
  auto at = [&](size_t i) { return items.begin() + ptrdiff_t(std::min(i, n)); };
  for (size_t i = 0; i < n; i += Run) {
    std::sort(at(i), at(i + Run), less);
    if (tick) tick();
  }
  for (size_t width = Run; width < n; width *= 2)
    for (size_t i = 0; i + width < n; i += 2 * width) {
      std::inplace_merge(at(i), at(i + width), at(i + 2 * width), less);
      if (tick) tick();
    }
}

}  // namespace

void TDataObj::Sort(const std::function<void()>& tick) {
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
    node->FKids->Collect(items);
    SortInSteps(items, before, tick);
    node->FKids->Rebuild(items);
    pending.insert(pending.end(), items.begin(), items.end());
  }
}
