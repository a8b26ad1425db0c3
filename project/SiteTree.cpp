#include "project/SiteTree.h"

#include "net/UrlUtils.h"
#include "platform/rtl/AtomicFile.h"
#include "project/SiteTreeFields.h"
#include "project/uQuere.h"

TListObj::TListObj(const AnsiString& fileName) : Root(new TDataObj(0)), Queue(new TQuereObj), FileName(fileName) {
  Root->SetOwnerTree(this);
}

TListObj::~TListObj() {
  Queue->Clear();
  Root->SetOwnerTree(nullptr);
  delete Root;
  delete Queue;
}

TDataObj* TListObj::AddUrl(int32_t level, const AnsiString& url) {
  bool refused = false;
  // One form per URL: a raw and a percent-encoded spelling are one node. Most
  // links are in that form already and go in as they are, without a copy.
  const std::string_view trimmed = TrimmedView(url);
  TDataObj* node = IsInOneForm(trimmed) ? Root->Insert(trimmed, WwwAlias, refused)
                                        : Root->Insert(OneFormUrl(AnsiString(trimmed)), WwwAlias, refused);
  if (refused) ++RefusedUrls;
  Eof = Root->ChildCount() == 0;
  if (!node) return nullptr;
  bool levelChanged = false;
  if ((node->New || node->Level == FolderLevel) && node->Level != level) {
    node->Level = level;
    levelChanged = true;
  }
  Modified = Modified || node->New || levelChanged;
  return node;
}

void TListObj::First() {
  Cursor = Root;
  Next();
}

void TListObj::Next() {
  if (Cursor && Cursor->ChildCount() > 0) {
    Cursor = Cursor->Child(0);
  } else {
    TDataObj* node = Cursor;
    Cursor = nullptr;
    for (; node && node != Root; node = node->Parent)
      if (TDataObj* sibling = node->NextSibling()) {
        Cursor = sibling;
        break;
      }
  }
  Eof = Cursor == nullptr;
  LoadCursorFields();
}

void TListObj::LoadCursorFields() {
  CursorUrl.clear();
  CursorLine.clear();
  CursorFields.clear();
  CursorQueued = 0;
  CursorDepth = 0;
  CursorLevel = 0;
  if (!Cursor) return;
  Eof = false;
  CursorQueued = Cursor->Queued;
  CursorDepth = Cursor->Depth;
  CursorLevel = Cursor->Level;
  Cursor->GetPath(CursorUrl);
  if ((Cursor->State & snFolder) && !CursorUrl.empty() && CursorUrl.back() != '/') CursorUrl += '/';
  AppendNodeLineStart(CursorLine, *Cursor);
  AppendNodeFields(CursorFields, *Cursor);
}

void TListObj::EndWalk() {
  Cursor = nullptr;
  Eof = true;
  LoadCursorFields();
}

void TListObj::Clear() {
  FPartialFile.clear();
  Queue->Clear();
  Root->Clear();
  EndWalk();
}

void TListObj::NodeFreed(TDataObj* node) {
  if (node->FQueueRefs) Queue->RemoveAll(node);
  if (Cursor == node) EndWalk();
}

void TListObj::SetCursorState(uint8_t state) {
  if (Cursor) Cursor->State = state;
}

uint8_t TListObj::GetCursorState() const { return Cursor ? Cursor->State : 0; }

int TListObj::GetRootCount() const { return Root->ChildCount(); }

bool TListObj::Owns(const TDataObj* node) const {
  while (node->Parent) node = node->Parent;
  return node == Root;
}

namespace {

bool IsWithin(const TDataObj* node, const TDataObj* top) {
  for (; node; node = node->Parent)
    if (node == top) return true;
  return false;
}

// The first node after top's subtree in depth-first order, or nullptr.
TDataObj* AfterSubtree(const TDataObj* top, const TDataObj* root) {
  for (const TDataObj* node = top; node && node != root; node = node->Parent)
    if (TDataObj* sibling = node->NextSibling()) return sibling;
  return nullptr;
}

}  // namespace

void TListObj::DeleteNode(TDataObj* node) {
  if (!node || node == Root || !Owns(node)) return;
  bool cursorInside = Cursor && IsWithin(Cursor, node);
  TDataObj* follower = cursorInside ? AfterSubtree(node, Root) : nullptr;
  node->Clear();
  Queue->RemoveAll(node);
  node->Parent->RemoveChild(node);
  delete node;
  Modified = true;
  if (cursorInside) {
    Cursor = follower;
    Eof = Cursor == nullptr;
    LoadCursorFields();
  }
}

TDataObj* TListObj::PickNext(int limit) const { return Queue->PickNext(limit); }

// Without a cursor the walk starts at the first host. A childless host simply
// moves on; a childless deeper node stands for its parent's subtree. The
// cursor then passes the last node of that subtree.
TDataObj* TListObj::NextAfterSubtree() {
  if (!Cursor) Cursor = Root->ChildCount() > 0 ? Root->Child(0) : nullptr;
  if (!Cursor) {
    EndWalk();
    return nullptr;
  }
  if (Cursor->ChildCount() == 0) {
    if (Cursor->Depth == 1) {
      Next();
      return Cursor;
    }
    if (Cursor->Parent) Cursor = Cursor->Parent;
  }
  Cursor = Cursor->LastDescendant();
  Next();
  return Cursor;
}

namespace {

// The scheme and the host of a URL, which the domain modes compare; without
// subDomain the host is its last two labels.
struct THostText {
  std::string_view Scheme;
  std::string_view Host;
};

// Views of the URL, trimmed, or of buffer when its scheme or host has bytes
// to encode. Encoding writes neither ":" nor "/" and only moves what follows
// an encoded byte, so bytes to encode after the host leave the scheme and the
// host as they stand: only those two are checked.
THostText HostText(std::string_view url, bool subDomain, AnsiString& buffer) {
  const std::string_view trimmed = TrimmedView(url);
  std::string_view rest = trimmed;
  std::string_view scheme = TakeSchemeView(rest);
  rest = rest.substr(0, rest.find('/'));
  if (HasTreeUnsafeByte(trimmed.substr(0, size_t(rest.data() + rest.size() - trimmed.data())))) {
    rest = TreeSafeText(trimmed, buffer);
    scheme = TakeSchemeView(rest);
    rest = rest.substr(0, rest.find('/'));
  }
  if (!subDomain) {
    size_t last = rest.rfind('.');
    size_t secondLast = (last == std::string_view::npos || last == 0) ? std::string_view::npos : rest.rfind('.', last - 1);
    if (secondLast != std::string_view::npos) rest.remove_prefix(secondLast + 1);
  }
  return {scheme, rest};
}

// The scheme ends at the first "://" of scheme and host together, and the
// host holds no "/", so two such texts are the same exactly when their
// parts are.
bool SameHostText(const THostText& a, const THostText& b) {
  return SameFolded(a.Scheme, b.Scheme) && SameFolded(a.Host, b.Host);
}

}  // namespace

bool TListObj::IsHostMarked(const AnsiString& url, bool subDomain, int markSet) const {
  AnsiString urlBuffer, hostBuffer;
  const THostText wanted = HostText(url, subDomain, urlBuffer);
  for (int i = 0; i < Root->ChildCount(); ++i) {
    const TDataObj* host = Root->Child(i);
    uint8_t marks = markSet == 0 ? host->DirIn : host->DirInResume;
    if ((marks & dmStartHost) && SameHostText(HostText(host->Name(), subDomain, hostBuffer), wanted)) return true;
  }
  return false;
}

bool TListObj::IsPathMarked(const AnsiString& url, int markSet) const {
  return Root->FindPath(url, WwwAlias, markSet) != nullptr;
}

TDataObj* TListObj::NodeFromTreeNode(const std::vector<int>& indexPath) const {
  TDataObj* node = Root;
  for (int index : indexPath) {
    if (index < 0 || index >= node->ChildCount()) return nullptr;
    node = node->Child(index);
  }
  return node;
}

void TListObj::GetNodeText(const std::vector<int>& indexPath, AnsiString& s) const {
  const TDataObj* node = NodeFromTreeNode(indexPath);
  s = node ? node->Name() : std::string_view();
}

void TListObj::LockSiteTree() { ::LockSiteTree(); }

void TListObj::UnlockSiteTree() { ::UnlockSiteTree(); }
