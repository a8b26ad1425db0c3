#include "treecontrol/VTStream.h"

#include <cstring>

#include "platform/rtl/FileUtils.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

constexpr uint16_t MagicUnits[6] = {0x2045, 0x0056, 0x0054, 0x0002, 0x0020, 0x2046};
constexpr int HeaderSize = 12;
constexpr int ChunkHeaderSize = 8;
constexpr int BaseBodySize = 17, OldBaseBodySize = 12;
// Each child needs at least a node chunk header holding a base chunk with its body.
constexpr int64_t MinimumNodeBytes = 2 * ChunkHeaderSize + OldBaseBodySize;
constexpr uint16_t TransientStates = 0x2216;
constexpr uint16_t LastingStates =
    nsInitialized | nsDisabled | nsExpanded | nsHasChildren | nsVisible | nsSelected | nsMultiline;
// The sum of the row heights a load may add: positions stay 32-bit signed.
constexpr uint64_t MaxLoadedHeight = INT32_MAX;

[[noreturn]] void NotEnoughData() { RaiseTreeError(u"Unable to load tree structure, not enough data available.", 2004); }
[[noreturn]] void AnchorMissing() { RaiseTreeError(u"Stream data corrupt. A node's anchor chunk is missing.", 2005); }
[[noreturn]] void UnexpectedData() {
  RaiseTreeError(u"Stream data corrupt. Unexpected data after node's end position.", 2006);
}

// What the reader and the writer of one thread track across the recursive
// hooks: the nesting of the node at hand, the row heights read so far and
// the number of base chunks taken into nodes (a node whose reading failed
// before its base chunk was taken holds nothing that was read).
struct TStreamWalk {
  int Depth = 0;
  uint64_t LoadedHeight = 0;
  uint64_t BasesTaken = 0;
};
thread_local TStreamWalk Walk;

class TNesting {
 public:
  TNesting() { ++Walk.Depth; }
  ~TNesting() { --Walk.Depth; }
  TNesting(const TNesting&) = delete;
  TNesting& operator=(const TNesting&) = delete;
  bool TooDeep() const { return Walk.Depth > MaxStreamNesting; }
};

template <class T>
void Put(TStream& stream, T value) {
  stream.WriteBuffer(&value, sizeof value);
}

int64_t BeginChunk(TStream& stream, int32_t type) {
  const int64_t start = stream.Position();
  Put<int32_t>(stream, type);
  Put<int32_t>(stream, 0);
  return start;
}

// Reads a chunk header whose chunk must end by limit; a chunk that does not
// fits is truncated data (2004) or, inside a node, data that is no chunk of
// it (2006). Answers the chunk's end.
int64_t ReadChunkHeader(TStream& stream, int64_t limit, int32_t& type, int32_t& size, bool overrunIsTruncation) {
  const auto fail = [overrunIsTruncation] { overrunIsTruncation ? NotEnoughData() : UnexpectedData(); };
  if (limit - stream.Position() < ChunkHeaderSize) fail();
  int32_t header[2] = {};
  stream.ReadBuffer(header, ChunkHeaderSize);
  type = header[0];
  size = header[1];
  if (size < 0 || size > limit - stream.Position()) fail();
  return stream.Position() + size;
}

std::vector<PVirtualNode> WrittenChildren(const PVirtualNode node) {
  std::vector<PVirtualNode> children;
  if (node->States & nsInitialized)
    for (PVirtualNode run = node->FirstChild; run; run = run->NextSibling) children.push_back(run);
  return children;
}

void WriteHeader(TStream& stream, uint32_t count) {
  for (uint16_t unit : MagicUnits) Put<uint16_t>(stream, unit);
  Put<uint32_t>(stream, count);
}

int ReadStreamHeader(TStream& stream) {
  uint16_t units[6] = {};
  if (stream.Read(units, HeaderSize) < HeaderSize) NotEnoughData();
  for (int i : {0, 1, 2, 5})
    if (units[i] != MagicUnits[i]) RaiseTreeError(u"Unable to load tree structure, the format is wrong.", 2002);
  if (units[3] > 2) RaiseTreeError(u"Unable to load tree structure, the version is unknown.", 2003);
  return units[3];
}

class TUpdateBracket {
 public:
  explicit TUpdateBracket(TBaseVirtualTree& tree) : tree_(tree) { tree_.BeginUpdate(); }
  ~TUpdateBracket() { tree_.EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  TBaseVirtualTree& tree_;
};

// Initialises the target so that new children join the ones it asks for.
void PrepareTarget(TBaseVirtualTree& tree, PVirtualNode target) {
  if (target == tree.RootNode()) return;
  if (!(target->States & nsInitialized)) tree.InitNode(target);
  if ((target->States & nsHasChildren) && target->ChildCount == 0) tree.InitChildren(target);
}

// A new, empty node as the last child of parent, counted in the tree.
PVirtualNode AddEmptyChild(TBaseVirtualTree& tree, PVirtualNode parent) {
  tree.SetChildCount(parent, parent->ChildCount + 1);
  return parent->LastChild;
}

// Reads one top-level node chunk into a node connected for it; when the
// reading fails before anything of the node was taken, the node goes again.
void AddFromStreamOrDrop(TBaseVirtualTree& tree, TStream& stream, int version, PVirtualNode node) {
  const uint64_t bases = Walk.BasesTaken;
  try {
    tree.InternalAddFromStream(stream, version, node);
  } catch (...) {
    if (Walk.BasesTaken == bases) tree.DeleteNode(node);
    throw;
  }
}

}  // namespace

void RaiseTreeDataTooLarge() { RaiseTreeError(u"Unable to load tree structure, the data is too large.", 2004); }

// ---- Writing ----------------------------------------------------------------------

void TBaseVirtualTree::FinishChunkHeader(TStream& stream, int64_t startPos, int64_t endPos) {
  const int64_t size = endPos - startPos - ChunkHeaderSize;
  if (size > INT32_MAX) throw EStreamError("A tree node is too large for the tree stream.");
  stream.Seek(startPos + 4, soFromBeginning);
  Put<int32_t>(stream, int32_t(size));
  stream.Seek(endPos, soFromBeginning);
}

// Trees nested deeper than a reader takes are refused, not written.
void TBaseVirtualTree::WriteNode(TStream& stream, PVirtualNode node) {
  TNesting nesting;
  if (nesting.TooDeep()) throw EStreamError("The tree is nested too deeply for the tree stream.");
  if (options_->MiscOptions().Contains(toInitOnSave)) {
    if (!(node->States & nsInitialized)) InitNode(node);
    if ((node->States & nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  const int64_t start = BeginChunk(stream, StreamNodeChunk);
  WriteChunks(stream, node);
  FinishChunkHeader(stream, start, stream.Position());
}

void TBaseVirtualTree::WriteChunks(TStream& stream, PVirtualNode node) {
  const std::vector<PVirtualNode> children = WrittenChildren(node);
  char header[ChunkHeaderSize + BaseBodySize] = {};
  const int32_t type = StreamBaseChunk;
  const uint32_t count = uint32_t(children.size()), height = node->NodeHeight;
  const uint16_t states = node->States & uint16_t(~TransientStates);
  std::memcpy(header, &type, 4);
  std::memcpy(header + 8, &count, 4);
  std::memcpy(header + 12, &height, 4);
  std::memcpy(header + 16, &states, 2);
  header[18] = char(node->Align);
  header[19] = char(node->CheckState);
  header[20] = char(node->CheckType);
  const int64_t base = stream.Position();
  stream.WriteBuffer(header, sizeof header);
  for (PVirtualNode child : children) WriteNode(stream, child);
  FinishChunkHeader(stream, base, stream.Position());

  if (!OnSaveNode) return;
  const int64_t user = BeginChunk(stream, StreamUserChunk);
  OnSaveNode(this, node, stream);
  const int64_t end = stream.Position();
  if (end == user + ChunkHeaderSize) {
    stream.Seek(user, soFromBeginning);
    stream.SetSize(stream.Size() - ChunkHeaderSize);
  } else {
    FinishChunkHeader(stream, user, end);
  }
}

// ---- Reading ------------------------------------------------------------------------

void TBaseVirtualTree::SkipNode(TStream& stream) {
  int32_t type = 0, size = 0;
  const int64_t end = ReadChunkHeader(stream, stream.Size(), type, size, true);
  if (type != StreamNodeChunk) AnchorMissing();
  stream.Seek(end, soFromBeginning);
}

// A hook that reads less than its chunk is moved to the chunk's end; one
// that reads beyond it has met damaged data.
void TBaseVirtualTree::ReadNode(TStream& stream, int version, PVirtualNode node) {
  TNesting nesting;
  if (nesting.TooDeep()) RaiseTreeError(u"Stream data corrupt. The nodes are nested too deeply.", 2006);
  int32_t type = 0, size = 0;
  const int64_t end = ReadChunkHeader(stream, stream.Size(), type, size, true);
  if (type != StreamNodeChunk) AnchorMissing();
  while (stream.Position() < end) {
    const int64_t chunkEnd = ReadChunkHeader(stream, end, type, size, false);
    ReadChunk(stream, version, node, type, size);
    if (stream.Position() > chunkEnd) UnexpectedData();
    stream.Seek(chunkEnd, soFromBeginning);
  }
}

bool TBaseVirtualTree::ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize) {
  const int64_t end = stream.Position() + chunkSize;
  switch (chunkType) {
    case StreamBaseChunk: {
      uint8_t body[BaseBodySize] = {};
      const int bodySize = version >= 2 ? BaseBodySize : OldBaseBodySize;
      if (chunkSize < bodySize) AnchorMissing();
      stream.ReadBuffer(body, bodySize);
      uint32_t count = 0, height = 0;
      std::memcpy(&count, body, 4);
      std::memcpy(&height, body + 4, 4);
      uint16_t states = 0;
      if (version >= 2) {
        std::memcpy(&states, body + 8, 2);
      } else {
        states = uint16_t(body[8] | ((body[8] & 0x80) ? nsSelected : nsVisible));
      }
      const int field = version >= 2 ? 10 : 9;
      if (uint64_t(count) * MinimumNodeBytes > uint64_t(end - stream.Position())) NotEnoughData();
      height = std::min<uint32_t>(height, 65535);
      if (Walk.LoadedHeight + height > MaxLoadedHeight)
        RaiseTreeError(u"Stream data corrupt. The nodes are too tall together.", 2006);
      Walk.LoadedHeight += height;
      node->NodeHeight = uint16_t(height);
      node->TotalHeight = node->NodeHeight;
      node->States = uint16_t((node->States & ~LastingStates) | (states & LastingStates));
      node->Align = body[field];
      node->CheckState = body[field + 1] <= csMixedPressed ? body[field + 1] : uint8_t(csUncheckedNormal);
      node->CheckType = body[field + 2] <= ctButton ? body[field + 2] : uint8_t(ctNone);
      ++Walk.BasesTaken;
      for (uint32_t i = 0; i < count; ++i) {
        PVirtualNode child = MakeNewNode();
        child->Index = node->LastChild ? node->LastChild->Index + 1 : 0;
        child->Parent = node;
        child->PrevSibling = node->LastChild;
        if (node->LastChild) node->LastChild->NextSibling = child;
        else node->FirstChild = child;
        node->LastChild = child;
        ++node->ChildCount;
        const uint64_t bases = Walk.BasesTaken;
        try {
          ReadNode(stream, version, child);
        } catch (...) {
          // A child of which nothing was read leaves again.
          if (Walk.BasesTaken == bases) {
            node->LastChild = child->PrevSibling;
            if (node->LastChild) node->LastChild->NextSibling = nullptr;
            else node->FirstChild = nullptr;
            --node->ChildCount;
            FreeNode(child);
          }
          throw;
        }
        if (stream.Position() > end) UnexpectedData();
      }
      if (stream.Position() != end) UnexpectedData();
      return true;
    }
    case StreamUserChunk: {
      if (chunkSize < 1) return true;
      TMemoryStream data;
      data.SetSize(chunkSize);
      stream.ReadBuffer(data.Memory(), chunkSize);
      if (OnLoadNode) OnLoadNode(this, node, data);
      return true;
    }
    default:
      stream.Seek(end, soFromBeginning);
      return false;
  }
}

// Whatever was read stays, also when reading fails: the node's subtree gets
// its counts, indexes and heights from the nodes actually linked, the tree its
// visible count, and loaded nodes marked selected join the selection (only
// with multi-selection; otherwise none arrives selected).
void TBaseVirtualTree::InternalAddFromStream(TStream& stream, int version, PVirtualNode node) {
  VTAssert(node != root_, "The root node cannot be loaded from stream.");
  HaltCacheValidation();
  PVirtualNode parent = node->Parent;
  const bool parentExpanded = parent->States & nsExpanded;
  const int64_t countBefore = node->TotalCount;
  const int64_t heightBefore = (node->States & nsVisible) && parentExpanded ? node->TotalHeight : 0;
  const int64_t shownBefore = IsShown(node) ? 1 + CountVisibleChildren(node) : 0;
  Walk.LoadedHeight = root_->TotalHeight;

  const auto settle = [&] {
    std::vector<PVirtualNode> order{node};
    for (size_t i = 0; i < order.size(); ++i)
      for (PVirtualNode child = order[i]->FirstChild; child; child = child->NextSibling) order.push_back(child);
    std::vector<PVirtualNode> selected;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      PVirtualNode run = *it;
      uint32_t index = 0, total = 1, height = run->NodeHeight;
      for (PVirtualNode child = run->FirstChild; child; child = child->NextSibling) {
        child->Index = index++;
        total += child->TotalCount;
        if ((run->States & nsExpanded) && (child->States & nsVisible)) height += child->TotalHeight;
      }
      run->ChildCount = index;
      run->TotalCount = total;
      run->TotalHeight = height;
      if (index > 0) UpdateHiddenChildrenState(run);
      if (run->States & nsSelected) {
        run->States &= uint16_t(~nsSelected);
        selected.push_back(run);
      }
    }
    AddToTotalCount(parent, int64_t(node->TotalCount) - countBefore, true);
    const int64_t heightAfter = (node->States & nsVisible) && parentExpanded ? node->TotalHeight : 0;
    if (parentExpanded) AddToTotalHeight(parent, heightAfter - heightBefore, true);
    const int64_t shownAfter = IsShown(node) ? 1 + CountVisibleChildren(node) : 0;
    visibleCount_ = uint32_t(int64_t(visibleCount_) + shownAfter - shownBefore);
    if (parent != root_) UpdateHiddenChildrenState(parent);
    ClearTempCache();
    if (options_->SelectionOptions().Contains(toMultiSelect) && !selected.empty())
      InternalAddToSelection(selected, true);
    InvalidateCache();
  };
  try {
    ReadNode(stream, version, node);
  } catch (...) {
    settle();
    throw;
  }
  settle();
}

// ---- Whole trees and node chunks --------------------------------------------------

void SaveTreeToStream(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node) {
  if (node && node != tree.RootNode()) {
    WriteHeader(stream, 1);
    tree.WriteNode(stream, node);
    return;
  }
  WriteHeader(stream, tree.RootNodeCount());
  for (PVirtualNode run = tree.RootNode()->FirstChild; run; run = run->NextSibling) tree.WriteNode(stream, run);
}

void SaveTreeToFile(TBaseVirtualTree& tree, const AnsiString& fileName, PVirtualNode node) {
  TMemoryStream stream;
  SaveTreeToStream(tree, stream, node);
  WriteFileAtomically(fileName, AnsiString(static_cast<const char*>(stream.Memory()), size_t(stream.Size())));
}

void LoadTreeFromStream(TBaseVirtualTree& tree, TStream& stream) {
  if (tree.TreeOptions().MiscOptions().Contains(toReadOnly)) return;
  tree.Clear();
  const int version = ReadStreamHeader(stream);
  TUpdateBracket bracket(tree);
  uint32_t count = 0x7FFFFFFF;
  if (version >= 2) stream.ReadBuffer(&count, 4);
  for (; count > 0 && stream.Position() < stream.Size(); --count)
    AddFromStreamOrDrop(tree, stream, version, AddEmptyChild(tree, tree.RootNode()));
  if (tree.OnNodeCopied) tree.OnNodeCopied(&tree, nullptr);
}

void LoadTreeFromFile(TBaseVirtualTree& tree, const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadTreeFromStream(tree, stream);
}

AnsiString NodeChunks(TBaseVirtualTree& tree, const std::vector<PVirtualNode>& nodes) {
  TMemoryStream stream;
  for (PVirtualNode node : nodes) tree.WriteNode(stream, node);
  return AnsiString(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

void InsertNodeChunks(TBaseVirtualTree& tree, const AnsiString& bytes, PVirtualNode target, TVTNodeAttachMode mode,
                      const TNodeAddedEvent& added) {
  if (tree.TreeOptions().MiscOptions().Contains(toReadOnly) || mode == amNoWhere) return;
  if (!target) target = tree.RootNode();
  if (target == tree.RootNode()) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  stream.SetPosition(0);
  TUpdateBracket bracket(tree);
  PrepareTarget(tree, target);
  const bool asChild = mode == amAddChildFirst || mode == amAddChildLast;
  PVirtualNode parent = asChild ? target : target->Parent;
  // Nodes keep their order: each goes after the last one kept before it.
  PVirtualNode anchor = target;
  TVTNodeAttachMode anchorMode = mode;
  while (stream.Position() < stream.Size()) {
    PVirtualNode node = AddEmptyChild(tree, parent);
    if (anchorMode != amAddChildLast && node != anchor) tree.MoveTo(node, anchor, anchorMode, false);
    AddFromStreamOrDrop(tree, stream, 2, node);
    if (added && !added(node)) continue;
    if (anchorMode != amAddChildLast) {
      anchor = node;
      anchorMode = amInsertAfter;
    }
  }
}

void TBaseVirtualTree::SaveToStream(TStream& stream, PVirtualNode node) { SaveTreeToStream(*this, stream, node); }

void TBaseVirtualTree::SaveToFile(const AnsiString& fileName, PVirtualNode node) {
  SaveTreeToFile(*this, fileName, node);
}

void TBaseVirtualTree::LoadFromStream(TStream& stream) { LoadTreeFromStream(*this, stream); }

void TBaseVirtualTree::LoadFromFile(const AnsiString& fileName) { LoadTreeFromFile(*this, fileName); }
