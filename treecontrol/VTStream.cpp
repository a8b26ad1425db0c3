#include "treecontrol/VTStream.h"

#include <cstring>

#include "platform/rtl/FileUtils.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

constexpr uint16_t MagicUnits[6] = {0x2045, 0x0056, 0x0054, 0x0002, 0x0020, 0x2046};
constexpr int HeaderSize = 12;
constexpr int ChunkHeaderSize = 8;
constexpr int32_t NodeChunk = 1, BaseChunk = 2, CaptionChunk = 3, UserChunk = 4;
constexpr int BaseBodySize = 17, OldBaseBodySize = 12;
// Each child needs at least a node chunk header holding a base chunk with its body.
constexpr int64_t MinimumNodeBytes = 2 * ChunkHeaderSize + OldBaseBodySize;
constexpr uint16_t TransientStates = 0x2216;
constexpr uint16_t LastingStates =
    nsInitialized | nsDisabled | nsExpanded | nsHasChildren | nsVisible | nsSelected | nsMultiline;

void Fail(const char16_t* message, int code) { RaiseTreeError(message, code); }

[[noreturn]] void NotEnoughData() { RaiseTreeError(u"Unable to load tree structure, not enough data available.", 2004); }
[[noreturn]] void AnchorMissing() { RaiseTreeError(u"Stream data corrupt. A node's anchor chunk is missing.", 2005); }
[[noreturn]] void UnexpectedData() {
  RaiseTreeError(u"Stream data corrupt. Unexpected data after node's end position.", 2006);
}

// ---- Writing ------------------------------------------------------------------

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

void FinishChunkHeader(TStream& stream, int64_t startPos, int64_t endPos) {
  const int64_t size = endPos - startPos - ChunkHeaderSize;
  if (size > INT32_MAX) throw EStreamError("A tree node is too large for the tree stream.");
  stream.Seek(startPos + 4, soFromBeginning);
  Put<int32_t>(stream, int32_t(size));
  stream.Seek(endPos, soFromBeginning);
}

std::vector<PVirtualNode> WrittenChildren(const PVirtualNode node) {
  std::vector<PVirtualNode> children;
  if (node->States & nsInitialized)
    for (PVirtualNode run = node->FirstChild; run; run = run->NextSibling) children.push_back(run);
  return children;
}

void WriteNodeAt(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node, int depth);

void WriteBaseChunk(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node, int depth) {
  const std::vector<PVirtualNode> children = WrittenChildren(node);
  char header[ChunkHeaderSize + BaseBodySize] = {};
  const int32_t type = BaseChunk;
  const uint32_t count = uint32_t(children.size()), height = node->NodeHeight;
  const uint16_t states = node->States & uint16_t(~TransientStates);
  std::memcpy(header, &type, 4);
  std::memcpy(header + 8, &count, 4);
  std::memcpy(header + 12, &height, 4);
  std::memcpy(header + 16, &states, 2);
  header[18] = char(node->Align);
  header[19] = char(node->CheckState);
  header[20] = char(node->CheckType);
  const int64_t start = stream.Position();
  stream.WriteBuffer(header, sizeof header);
  for (PVirtualNode child : children) WriteNodeAt(tree, stream, child, depth + 1);
  FinishChunkHeader(stream, start, stream.Position());
}

void WriteUserChunk(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node) {
  if (!tree.OnSaveNode) return;
  const int64_t start = BeginChunk(stream, UserChunk);
  tree.OnSaveNode(&tree, node, stream);
  const int64_t end = stream.Position();
  if (end == start + ChunkHeaderSize) {
    stream.Seek(start, soFromBeginning);
    stream.SetSize(stream.Size() - ChunkHeaderSize);
  } else {
    FinishChunkHeader(stream, start, end);
  }
}

void WriteCaptionChunk(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node) {
  auto* strings = dynamic_cast<TCustomVirtualStringTree*>(&tree);
  if (!strings || !(node->States & nsInitialized) || node == tree.RootNode()) return;
  if (!strings->StringTreeOptions().StringOptions().Contains(toSaveCaptions)) return;
  const WideString caption = strings->Text(node, tree.Header().MainColumn());
  if (caption.empty()) return;
  if (caption.size() > size_t(INT32_MAX / 2)) throw EStreamError("A caption is too long for the tree stream.");
  Put<int32_t>(stream, CaptionChunk);
  Put<int32_t>(stream, int32_t(2 * caption.size()));
  for (char16_t unit : caption) Put<uint16_t>(stream, uint16_t(unit));
}

// Trees nested deeper than a reader takes are refused, not written.
void WriteNodeAt(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node, int depth) {
  if (depth > MaxStreamNesting) throw EStreamError("The tree is nested too deeply for the tree stream.");
  if (tree.TreeOptions().MiscOptions().Contains(toInitOnSave)) {
    if (!(node->States & nsInitialized)) tree.InitNode(node);
    if ((node->States & nsHasChildren) && node->ChildCount == 0) tree.InitChildren(node);
  }
  const int64_t start = BeginChunk(stream, NodeChunk);
  WriteBaseChunk(tree, stream, node, depth);
  WriteUserChunk(tree, stream, node);
  WriteCaptionChunk(tree, stream, node);
  FinishChunkHeader(stream, start, stream.Position());
}

void WriteHeader(TStream& stream, uint32_t count) {
  for (uint16_t unit : MagicUnits) Put<uint16_t>(stream, unit);
  Put<uint32_t>(stream, count);
}

// ---- Reading --------------------------------------------------------------------

// A slice of the input.
struct TSlice {
  uint32_t Offset = 0;
  uint32_t Length = 0;
  bool Present = false;
};

constexpr uint32_t NoNode = UINT32_MAX;

// One node as read, kept small: its texts and data stay in the input.
struct TParsedNode {
  uint16_t States = nsVisible;
  uint16_t Height = 0;
  uint8_t Align = 50;
  uint8_t CheckState = 0;
  uint8_t CheckType = 0;
  bool HasBase = false;
  uint32_t ChildCount = 0;
  uint32_t FirstChild = NoNode;
  uint32_t LastChild = NoNode;
  uint32_t NextSibling = NoNode;
  TSlice UserData;
  TSlice Caption;
};

// Checks and takes apart node chunks held in memory; no recursion.
class TChunkParser {
 public:
  TChunkParser(const AnsiString& data, int version) : data_(data), version_(version) {}

  // Parses up to count node chunks from the start; returns their indexes.
  std::vector<uint32_t> ParseTopLevel(uint32_t count) {
    std::vector<uint32_t> top;
    while (pos_ < data_.size() && count > 0) {
      --count;
      top.push_back(ParseNode(data_.size()));
    }
    return top;
  }
  const TParsedNode& Node(uint32_t index) const { return nodes_[index]; }
  AnsiString Bytes(const TSlice& slice) const { return data_.substr(slice.Offset, slice.Length); }

 private:
  struct TFrame {
    uint32_t Node;
    size_t NodeEnd;
    size_t BaseEnd = 0;
    uint32_t ChildrenLeft = 0;
    bool InChildren = false;
  };

  template <class T>
  T Take() {
    T value;
    std::memcpy(&value, data_.data() + pos_, sizeof value);
    pos_ += sizeof value;
    return value;
  }

  // Reads a chunk header that must lie within limit; returns the chunk's end.
  size_t ChunkHeader(size_t limit, int32_t& type, bool overrunIsTruncation) {
    if (limit - pos_ < ChunkHeaderSize) overrunIsTruncation ? NotEnoughData() : UnexpectedData();
    type = Take<int32_t>();
    const int32_t size = Take<int32_t>();
    if (size < 0 || size_t(size) > limit - pos_) overrunIsTruncation ? NotEnoughData() : UnexpectedData();
    return pos_ + size_t(size);
  }

  TFrame StartNode(size_t limit) {
    int32_t type = 0;
    const size_t end = ChunkHeader(limit, type, true);
    if (type != NodeChunk) AnchorMissing();
    nodes_.emplace_back();
    return {uint32_t(nodes_.size() - 1), end};
  }

  uint32_t ParseNode(size_t limit) {
    std::vector<TFrame> stack{StartNode(limit)};
    const uint32_t first = stack.front().Node;
    while (!stack.empty()) {
      TFrame& top = stack.back();
      if (top.InChildren) {
        if (top.ChildrenLeft == 0) {
          if (pos_ != top.BaseEnd) UnexpectedData();
          top.InChildren = false;
          continue;
        }
        --top.ChildrenLeft;
        if (stack.size() >= size_t(MaxStreamNesting))
          Fail(u"Stream data corrupt. The nodes are nested too deeply.", 2006);
        const uint32_t parent = top.Node;
        TFrame child = StartNode(top.BaseEnd);
        Link(parent, child.Node);
        stack.push_back(child);
        continue;
      }
      if (pos_ >= top.NodeEnd) {
        // The base chunk is the node's anchor; a node without one is damage.
        if (!nodes_[top.Node].HasBase) AnchorMissing();
        stack.pop_back();
        continue;
      }
      ParseSubChunk(top);
    }
    return first;
  }

  void Link(uint32_t parent, uint32_t child) {
    TParsedNode& p = nodes_[parent];
    if (p.LastChild == NoNode) p.FirstChild = child;
    else nodes_[p.LastChild].NextSibling = child;
    p.LastChild = child;
  }

  TSlice Slice(size_t end) const { return {uint32_t(pos_), uint32_t(end - pos_), true}; }

  void ParseSubChunk(TFrame& frame) {
    int32_t type = 0;
    const size_t end = ChunkHeader(frame.NodeEnd, type, false);
    TParsedNode& node = nodes_[frame.Node];
    switch (type) {
      case BaseChunk: {
        const size_t body = version_ >= 2 ? BaseBodySize : OldBaseBodySize;
        if (end - pos_ < body) AnchorMissing();
        if (node.HasBase) UnexpectedData();
        node.HasBase = true;
        const uint32_t count = Take<uint32_t>();
        node.Height = uint16_t(std::min<uint32_t>(Take<uint32_t>(), 65535));
        if (version_ >= 2) {
          node.States = Take<uint16_t>();
        } else {
          const uint8_t old = Take<uint8_t>();
          node.States = uint16_t(old | ((old & 0x80) ? nsSelected : nsVisible));
        }
        node.Align = Take<uint8_t>();
        node.CheckState = Take<uint8_t>();
        node.CheckType = Take<uint8_t>();
        if (version_ >= 2) pos_ += 4;
        if (uint64_t(count) * MinimumNodeBytes > end - pos_) NotEnoughData();
        frame.BaseEnd = end;
        node.ChildCount = count;
        frame.ChildrenLeft = count;
        frame.InChildren = true;
        return;
      }
      case UserChunk:
        if (end > pos_) node.UserData = Slice(end);
        break;
      case CaptionChunk:
        node.Caption = Slice(end);
        break;
      default: break;
    }
    pos_ = end;
  }

  const AnsiString& data_;
  int version_;
  size_t pos_ = 0;
  std::vector<TParsedNode> nodes_;
};

// Builds parsed nodes into a tree through its public operations, keeping
// counts, heights, the visible count and the selection in step.
class TNodeBuilder {
 public:
  TNodeBuilder(TBaseVirtualTree& tree, const TChunkParser& parser) : tree_(tree), parser_(parser) {}

  // A new node as the last child of parent.
  PVirtualNode AddChild(PVirtualNode parent, uint32_t parsed) {
    tree_.SetChildCount(parent, parent->ChildCount + 1);
    PVirtualNode node = parent->LastChild;
    Apply(node, parsed);
    return node;
  }

  void SelectLoaded() {
    if (tree_.TreeOptions().SelectionOptions().Contains(toMultiSelect) && !selected_.empty())
      tree_.AddToSelection(selected_, false);
    selected_.clear();
  }

 private:
  void Apply(PVirtualNode node, uint32_t index) {
    const TParsedNode& parsed = parser_.Node(index);
    if (parsed.HasBase) {
      node->States |= parsed.States & (nsInitialized | nsDisabled | nsHasChildren | nsMultiline);
      node->Align = parsed.Align;
      node->CheckState = parsed.CheckState <= csMixedPressed ? parsed.CheckState : uint8_t(csUncheckedNormal);
      node->CheckType = parsed.CheckType <= ctButton ? parsed.CheckType : uint8_t(ctNone);
      tree_.SetNodeHeight(node, parsed.Height);
      // Expanding a node without children changes no height or count.
      if (parsed.States & nsExpanded) node->States |= nsExpanded;
      if (!(parsed.States & nsVisible)) tree_.SetIsVisible(node, false);
      if (parsed.States & nsSelected) selected_.push_back(node);
    }
    if (parsed.ChildCount > 0) {
      tree_.SetChildCount(node, parsed.ChildCount);
      PVirtualNode child = node->FirstChild;
      for (uint32_t run = parsed.FirstChild; run != NoNode && child; run = parser_.Node(run).NextSibling) {
        Apply(child, run);
        child = child->NextSibling;
      }
    }
    LoadUserData(node, parsed);
    if (parsed.Caption.Present) {
      if (auto* strings = dynamic_cast<TCustomVirtualStringTree*>(&tree_))
        strings->SetText(node, tree_.Header().MainColumn(), Caption(parser_.Bytes(parsed.Caption)));
    }
  }

  static WideString Caption(const AnsiString& bytes) {
    WideString caption;
    for (size_t p = 0; p + 1 < bytes.size(); p += 2)
      caption.push_back(char16_t(uint8_t(bytes[p]) | uint8_t(bytes[p + 1]) << 8));
    return caption;
  }

  void LoadUserData(PVirtualNode node, const TParsedNode& parsed) {
    if (!parsed.UserData.Present || !tree_.OnLoadNode) return;
    const AnsiString bytes = parser_.Bytes(parsed.UserData);
    TMemoryStream chunk;
    chunk.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    chunk.SetPosition(0);
    tree_.OnLoadNode(&tree_, node, chunk);
  }

  TBaseVirtualTree& tree_;
  const TChunkParser& parser_;
  std::vector<PVirtualNode> selected_;
};

AnsiString ReadRest(TStream& stream) {
  const int64_t rest = stream.Size() - stream.Position();
  if (rest > MaxStreamBytes) RaiseTreeDataTooLarge();
  AnsiString data(size_t(std::max<int64_t>(rest, 0)), '\0');
  data.resize(size_t(stream.Read(data.data(), int64_t(data.size()))));
  return data;
}

int ReadStreamHeader(TStream& stream) {
  uint16_t units[6] = {};
  if (stream.Read(units, HeaderSize) < HeaderSize) NotEnoughData();
  for (int i : {0, 1, 2, 5})
    if (units[i] != MagicUnits[i]) Fail(u"Unable to load tree structure, the format is wrong.", 2002);
  if (units[3] > 2) Fail(u"Unable to load tree structure, the version is unknown.", 2003);
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

}  // namespace

void RaiseTreeDataTooLarge() { RaiseTreeError(u"Unable to load tree structure, the data is too large.", 2004); }

void WriteTreeNode(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node) { WriteNodeAt(tree, stream, node, 1); }

void SaveTreeToStream(TBaseVirtualTree& tree, TStream& stream, PVirtualNode node) {
  if (node && node != tree.RootNode()) {
    WriteHeader(stream, 1);
    WriteTreeNode(tree, stream, node);
    return;
  }
  WriteHeader(stream, tree.RootNodeCount());
  for (PVirtualNode run = tree.RootNode()->FirstChild; run; run = run->NextSibling) WriteTreeNode(tree, stream, run);
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
  const AnsiString data = ReadRest(stream);
  TChunkParser parser(data, version);
  const std::vector<uint32_t> top = parser.ParseTopLevel(count);
  TNodeBuilder builder(tree, parser);
  for (uint32_t index : top) builder.AddChild(tree.RootNode(), index);
  builder.SelectLoaded();
  if (tree.OnNodeCopied) tree.OnNodeCopied(&tree, nullptr);
}

void LoadTreeFromFile(TBaseVirtualTree& tree, const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadTreeFromStream(tree, stream);
}

AnsiString NodeChunks(TBaseVirtualTree& tree, const std::vector<PVirtualNode>& nodes) {
  TMemoryStream stream;
  for (PVirtualNode node : nodes) WriteTreeNode(tree, stream, node);
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
  if (int64_t(bytes.size()) > MaxStreamBytes) RaiseTreeDataTooLarge();
  TChunkParser parser(bytes, 2);
  const std::vector<uint32_t> top = parser.ParseTopLevel(0x7FFFFFFF);
  TUpdateBracket bracket(tree);
  PrepareTarget(tree, target);
  TNodeBuilder builder(tree, parser);
  const bool asChild = mode == amAddChildFirst || mode == amAddChildLast;
  PVirtualNode parent = asChild ? target : target->Parent;
  // Nodes keep their order: each goes after the last one kept before it.
  PVirtualNode anchor = target;
  TVTNodeAttachMode anchorMode = mode;
  for (uint32_t index : top) {
    PVirtualNode node = builder.AddChild(parent, index);
    if (anchorMode != amAddChildLast && node != anchor) tree.MoveTo(node, anchor, anchorMode, false);
    builder.SelectLoaded();
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
