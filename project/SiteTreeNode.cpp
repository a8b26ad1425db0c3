#include "project/SiteTreeNode.h"

#include <algorithm>
#include <string_view>

#include "project/SiteTree.h"

// The children of a node: the list in its order, and an open-addressing hash
// index over it (linear probing) keyed by the ASCII-folded name. A slot holds
// the name's 32-bit hash in its high half and the child's position + 1 in its
// low half; 0 is a free slot.
struct TChildList {
  std::vector<TDataObj*> Items;
  std::vector<uint64_t> Slots;
  // Position after the folders at the front when it was last looked at.
  uint32_t FolderEnd = 0;
  // The tree that owns this node; set on the root of a TListObj only.
  TListObj* Owner = nullptr;
};

namespace {

constexpr size_t MinSlots = 4;

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

uint64_t MakeSlot(uint32_t hash, uint32_t position) { return (uint64_t(hash) << 32) | (position + 1); }
uint32_t SlotHash(uint64_t slot) { return uint32_t(slot >> 32); }
uint32_t SlotPosition(uint64_t slot) { return uint32_t(slot) - 1; }

size_t Mask(const TChildList& k) { return k.Slots.size() - 1; }

// Position of the child named name, or -1.
int Lookup(const TChildList& k, std::string_view name) {
  if (k.Slots.empty()) return -1;
  uint32_t hash = FoldedHash(name);
  for (size_t i = hash & Mask(k);; i = (i + 1) & Mask(k)) {
    uint64_t slot = k.Slots[i];
    if (slot == 0) return -1;
    if (SlotHash(slot) == hash && SameFolded(k.Items[SlotPosition(slot)]->Name(), name))
      return int(SlotPosition(slot));
  }
}

void PlaceSlot(TChildList& k, uint64_t slot) {
  size_t i = SlotHash(slot) & Mask(k);
  while (k.Slots[i] != 0) i = (i + 1) & Mask(k);
  k.Slots[i] = slot;
}

void Rehash(TChildList& k, size_t slotCount) {
  std::vector<uint64_t> old(slotCount, 0);
  old.swap(k.Slots);
  for (uint64_t slot : old)
    if (slot != 0) PlaceSlot(k, slot);
}

// Rebuilds the index from the names (after the list was reordered).
void Reindex(TChildList& k) {
  std::fill(k.Slots.begin(), k.Slots.end(), 0);
  for (uint32_t p = 0; p < k.Items.size(); ++p) PlaceSlot(k, MakeSlot(FoldedHash(k.Items[p]->Name()), p));
}

// Adds delta to the position of every slot that refers to a position at or after from.
void ShiftSlots(TChildList& k, uint32_t from, int delta) {
  for (uint64_t& slot : k.Slots)
    if (slot != 0 && SlotPosition(slot) >= from) slot = uint64_t(int64_t(slot) + delta);
}

// Removes the slot of a position, moving later entries of its probe run back.
void EraseSlot(TChildList& k, uint32_t hash, uint32_t position) {
  size_t i = hash & Mask(k);
  while (k.Slots[i] != MakeSlot(hash, position)) i = (i + 1) & Mask(k);
  for (size_t j = (i + 1) & Mask(k); k.Slots[j] != 0; j = (j + 1) & Mask(k)) {
    size_t h = SlotHash(k.Slots[j]) & Mask(k);
    bool movable = (j > i) ? (h <= i || h > j) : (h <= i && h > j);
    if (movable) {
      k.Slots[i] = k.Slots[j];
      i = j;
    }
  }
  k.Slots[i] = 0;
}

void InsertItem(TChildList& k, uint32_t position, TDataObj* child) {
  if (k.Items.size() >= 0xFFFFFFFEu) throw EIntOverflow("Too many entries in one site-tree folder");
  k.Items.insert(k.Items.begin() + position, child);
  size_t needed = std::max(MinSlots, k.Slots.size());
  while (k.Items.size() * 4 > needed * 3) needed *= 2;
  if (position + 1 < k.Items.size()) ShiftSlots(k, position, 1);
  if (needed != k.Slots.size()) Rehash(k, needed);
  PlaceSlot(k, MakeSlot(FoldedHash(child->Name()), position));
}

// Where a new folder goes: before the first child without the folder bit.
// The search starts where the last folder went, so a folder of many entries
// is not scanned again for every new sub-folder; it moves back over children
// that have lost the bit and forward over those that have gained it since.
uint32_t FolderInsertPosition(TChildList& k) {
  uint32_t p = std::min<uint32_t>(k.FolderEnd, uint32_t(k.Items.size()));
  while (p > 0 && !(k.Items[p - 1]->State & snFolder)) --p;
  while (p < k.Items.size() && (k.Items[p]->State & snFolder)) ++p;
  return p;
}

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

TDataObj::TDataObj(int32_t depth) : Depth(depth) {}

TDataObj::~TDataObj() {
  if (FKids && !FKids->Items.empty()) Clear();
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

void TDataObj::DetachChildren(std::vector<TDataObj*>& out) {
  if (!FKids) return;
  out.insert(out.end(), FKids->Items.begin(), FKids->Items.end());
  FKids->Items.clear();
  FKids->Items.shrink_to_fit();
  FKids->Slots.clear();
  FKids->Slots.shrink_to_fit();
  FKids->FolderEnd = 0;
}

void TDataObj::Clear() {
  Descendants = 0;
  if (!FKids || FKids->Items.empty()) return;
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

TDataObj* TDataObj::CreateChild(const AnsiString& name, bool folder) {
  if (!FKids) FKids = new TChildList;
  auto child = std::make_unique<TDataObj>(Depth + 1);
  child->Parent = this;
  child->FName = name;
  uint32_t position = uint32_t(FKids->Items.size());
  if (folder) {
    child->State |= snFolder;
    position = FolderInsertPosition(*FKids);
  }
  InsertItem(*FKids, position, child.get());
  if (folder) FKids->FolderEnd = position + 1;
  return child.release();
}

void TDataObj::RemoveChild(TDataObj* child) {
  int position = child->IndexInParent();
  if (position < 0 || child->Parent != this) return;
  EraseSlot(*FKids, FoldedHash(child->FName), uint32_t(position));
  FKids->Items.erase(FKids->Items.begin() + position);
  if (size_t(position) < FKids->Items.size()) ShiftSlots(*FKids, uint32_t(position) + 1, -1);
  if (uint32_t(position) < FKids->FolderEnd) --FKids->FolderEnd;
  child->Parent = nullptr;
}

TDataObj* TDataObj::AddPath(std::string_view url, bool www) {
  AnsiString buffer;
  std::string_view rest = StartText(this, url, buffer);
  std::vector<TDataObj*> path;
  size_t firstCreated = SIZE_MAX;
  TDataObj* node = this;
  while (!rest.empty()) {
    TPathStep step = SplitForAdd(rest, IsRootNode(node), www);
    if (step.Empty) return nullptr;  // a URL without a host
    TDataObj* child = FindStepChild(node, step);
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
  while (node->ChildCount() > 0) node = node->FKids->Items.back();
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

int TDataObj::ChildCount() const { return FKids ? int(FKids->Items.size()) : 0; }

TDataObj* TDataObj::Child(int index) const {
  if (index < 0 || index >= ChildCount())
    throw ERangeError("Site-tree child index out of range (" + IntToStr(index) + ")");
  return FKids->Items[size_t(index)];
}

TDataObj* TDataObj::FindChild(const AnsiString& name) const {
  if (!FKids) return nullptr;
  int position = Lookup(*FKids, name);
  return position < 0 ? nullptr : FKids->Items[size_t(position)];
}

int TDataObj::IndexInParent() const {
  if (!Parent || !Parent->FKids) return -1;
  int position = Lookup(*Parent->FKids, FName);
  return (position >= 0 && Parent->FKids->Items[size_t(position)] == this) ? position : -1;
}

TDataObj* TDataObj::NextSibling() const {
  int position = IndexInParent();
  if (position < 0 || position + 1 >= Parent->ChildCount()) return nullptr;
  return Parent->FKids->Items[size_t(position) + 1];
}

void TDataObj::Sort() {
  auto isFolder = [](const TDataObj* n) { return (n->DirIn & dmStartDir) || n->ChildCount() > 0; };
  auto before = [&](const TDataObj* a, const TDataObj* b) {
    bool fa = isFolder(a), fb = isFolder(b);
    if (fa != fb) return fa;
    return CompareFolded(a->FName, b->FName) < 0;
  };
  std::vector<TDataObj*> pending{this};
  while (!pending.empty()) {
    TDataObj* node = pending.back();
    pending.pop_back();
    if (node->ChildCount() == 0) continue;
    TChildList& kids = *node->FKids;
    std::sort(kids.Items.begin(), kids.Items.end(), before);
    Reindex(kids);
    kids.FolderEnd = 0;
    while (kids.FolderEnd < kids.Items.size() && (kids.Items[kids.FolderEnd]->State & snFolder))
      ++kids.FolderEnd;
    pending.insert(pending.end(), kids.Items.begin(), kids.Items.end());
  }
}
