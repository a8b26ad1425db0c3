// The tree stream: a round trip of a tree with node data and captions, old
// version streams, damaged streams, and chunk types added by a descendant.
#include <cstring>
#include <functional>

#include "CountsAgree.h"
#include "TreeFixture.h"
#include "platform/rtl/FileUtils.h"
#include "treecontrol/VTStream.h"

namespace {

struct StreamFixture : TreeFixture {
  TTestTree* copy = nullptr;
  std::vector<std::pair<PVirtualNode, std::u16string>> newTexts;

  void SetUp() override {
    TreeFixture::SetUp();
    names = {u"alpha", u"beta", u"gamma"};
    tree->SetNodeDataSize(sizeof(int32_t));
    tree->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
      const int32_t value = *sender->GetNodeDataAs<int32_t>(node);
      if (value) stream.WriteBuffer(&value, 4);  // nodes without data write nothing
    };
    copy = new TTestTree(form);
    copy->SetParent(form);
    copy->SetNodeDataSize(sizeof(int32_t));
    copy->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
      stream.ReadBuffer(sender->GetNodeDataAs<int32_t>(node), 4);
    };
    copy->OnNewText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const WideString& text) {
      newTexts.emplace_back(node, text);
    };
  }
  void TearDown() override {
    copy->OnNewText = nullptr;
    TreeFixture::TearDown();
  }

  AnsiString Saved(PVirtualNode node = nullptr) {
    TMemoryStream stream;
    SaveTreeToStream(*tree, stream, node);
    return AnsiString(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
  }
  static void Load(TBaseVirtualTree& target, const AnsiString& bytes) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
    LoadTreeFromStream(target, stream);
  }
  int ErrorCode(const AnsiString& bytes) {
    try {
      Load(*copy, bytes);
    } catch (const EVirtualTreeError& e) {
      return e.HelpContext();
    }
    return 0;
  }
};

void Append(AnsiString& s, const void* p, size_t n) { s.append(static_cast<const char*>(p), n); }
template <class T>
void Append(AnsiString& s, T value) {
  Append(s, &value, sizeof value);
}

AnsiString Header(uint16_t version) {
  AnsiString s;
  for (uint16_t unit : {uint16_t(0x2045), uint16_t(0x56), uint16_t(0x54), version, uint16_t(0x20), uint16_t(0x2046)})
    Append(s, unit);
  return s;
}

// A node chunk holding a base chunk with the given body and children.
AnsiString NodeChunk(const AnsiString& body, const AnsiString& children = {}) {
  AnsiString base;
  Append(base, int32_t(2));
  Append(base, int32_t(body.size() + children.size()));
  base += body + children;
  AnsiString node;
  Append(node, int32_t(1));
  Append(node, int32_t(base.size()));
  return node + base;
}

AnsiString Body(uint32_t children, uint16_t states) {
  AnsiString b;
  Append(b, children);
  Append(b, uint32_t(18));
  Append(b, states);
  b += AnsiString("\x32\0\0", 3);
  Append(b, uint32_t(0));
  return b;
}

AnsiString Counted(uint32_t count, const AnsiString& chunks) {
  AnsiString s = Header(2);
  Append(s, count);
  return s + chunks;
}

}  // namespace

TEST_F(StreamFixture, RoundTripKeepsStructureStatesDataAndCaptions) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(3);
  PVirtualNode beta = Nth(1);
  tree->SetChildCount(beta, 2);
  tree->SetExpanded(beta, true);
  tree->SetChildCount(beta->LastChild, 1);
  *tree->GetNodeDataAs<int32_t>(Nth(0)) = 11;
  *tree->GetNodeDataAs<int32_t>(beta->LastChild->FirstChild) = 42;
  tree->SetNodeHeight(Nth(2), 30);
  tree->SetSelected(Nth(2), true);
  tree->SetCheckType(Nth(0), ctCheckBox);
  const AnsiString bytes = Saved();
  EXPECT_EQ(bytes.substr(0, 12), Header(2));

  copy->TreeOptions().SetSelectionOptions({toMultiSelect});
  Load(*copy, bytes);
  EXPECT_EQ(copy->RootNodeCount(), 3u);
  EXPECT_EQ(copy->TotalCount(), tree->TotalCount());
  EXPECT_EQ(copy->VisibleCount(), tree->VisibleCount());
  EXPECT_EQ(copy->RootNode()->TotalHeight, tree->RootNode()->TotalHeight);
  PVirtualNode loadedBeta = copy->GetFirstNoInit()->NextSibling;
  EXPECT_TRUE(copy->Expanded(loadedBeta));
  EXPECT_EQ(*copy->GetNodeDataAs<int32_t>(copy->GetFirstNoInit()), 11);
  EXPECT_EQ(*copy->GetNodeDataAs<int32_t>(loadedBeta->LastChild->FirstChild), 42);
  EXPECT_EQ(copy->GetFirstNoInit()->CheckType, ctCheckBox);
  EXPECT_EQ(copy->SelectedCount(), 1);
  EXPECT_EQ(copy->GetFirstSelected(), loadedBeta->NextSibling);
  EXPECT_EQ(loadedBeta->NextSibling->NodeHeight, 30);
  ASSERT_EQ(newTexts.size(), 6u);  // every initialised node came with its caption
  EXPECT_EQ(newTexts[0].second, u"alpha");
  // A node whose application wrote nothing has no user chunk.
  const AnsiString single = Saved(Nth(2));
  EXPECT_EQ(single.size(), 12u + 4 + 8 + 8 + 17 + 8 + 2 * 5);

  // Without multi-selection no loaded node arrives selected.
  copy->TreeOptions().SetSelectionOptions({});
  Load(*copy, bytes);
  EXPECT_EQ(copy->SelectedCount(), 0);
  EXPECT_FALSE(copy->Selected(copy->GetLastNoInit()));

  // An empty tree is a header and a count of 0.
  tree->Clear();
  EXPECT_EQ(Saved(), Header(2) + AnsiString(4, '\0'));
  Load(*copy, Saved());
  EXPECT_EQ(copy->TotalCount(), 0u);
}

TEST_F(StreamFixture, VersionOneStreamsLoadUntilTheEndWithOldStates) {
  auto oldNode = [](uint8_t states) {
    AnsiString b;
    Append(b, uint32_t(0));
    Append(b, uint32_t(20));
    b += char(states);
    b += AnsiString("\x32\0\0", 3);
    return NodeChunk(b);
  };
  copy->TreeOptions().SetSelectionOptions({toMultiSelect});
  Load(*copy, Header(1) + oldNode(nsInitialized) + oldNode(0x80 | nsInitialized));
  ASSERT_EQ(copy->RootNodeCount(), 2u);
  EXPECT_FALSE(copy->Selected(copy->GetFirstNoInit()));
  EXPECT_TRUE(copy->IsVisible(copy->GetFirstNoInit()));
  EXPECT_TRUE(copy->Selected(copy->GetLastNoInit()));
  EXPECT_EQ(copy->GetLastNoInit()->NodeHeight, 20);
}

TEST_F(StreamFixture, DamagedStreamsRaiseTheirErrorAndKeepWhatWasRead) {
  copy->SetRootNodeCount(4);
  EXPECT_EQ(ErrorCode(Header(2).substr(0, 11)), 2004);
  AnsiString wrongMagic = Header(2);
  wrongMagic[2] = 'X';
  EXPECT_EQ(ErrorCode(wrongMagic + AnsiString(4, '\0')), 2002);
  copy->SetRootNodeCount(4);
  EXPECT_EQ(ErrorCode(Header(3) + AnsiString(4, '\0')), 2003);
  EXPECT_EQ(copy->TotalCount(), 0u);

  auto counted = [](uint32_t count, const AnsiString& chunks) {
    AnsiString s = Header(2);
    Append(s, count);
    return s + chunks;
  };
  const AnsiString good = NodeChunk(Body(0, nsInitialized | nsVisible));
  const AnsiString parent = NodeChunk(Body(1, nsInitialized | nsVisible | nsExpanded | nsHasChildren), good);
  // A chunk that claims more than the stream holds: the nodes before it stay.
  EXPECT_EQ(ErrorCode(counted(3, parent + good + good.substr(0, good.size() - 3))), 2004);
  EXPECT_GE(copy->TotalCount(), 3u);
  EXPECT_TRUE(CountsAgree(*copy));
  // Not a node chunk.
  AnsiString wrongType = good;
  wrongType[0] = 7;
  EXPECT_EQ(ErrorCode(counted(1, wrongType)), 2005);
  // A child count far beyond the bytes present is refused without building anything.
  EXPECT_EQ(ErrorCode(counted(1, NodeChunk(Body(0x7FFFFFFF, nsVisible)))), 2004);
  EXPECT_EQ(copy->TotalCount(), 0u);
  // Bytes inside a node that are no chunk of it.
  AnsiString trailing = good;
  int32_t size = 0;
  std::memcpy(&size, trailing.data() + 4, 4);
  size += 3;
  std::memcpy(trailing.data() + 4, &size, 4);
  EXPECT_EQ(ErrorCode(counted(1, trailing + "xyz")), 2006);
  // Nesting deeper than any tree the program makes; rows taller together than positions reach.
  AnsiString deep = good;
  for (int level = 0; level < MaxStreamNesting + 5; ++level)
    deep = NodeChunk(Body(1, nsInitialized | nsVisible | nsExpanded | nsHasChildren), deep);
  EXPECT_EQ(ErrorCode(counted(1, deep)), 2006);
  EXPECT_TRUE(CountsAgree(*copy));
  AnsiString tall = Body(0, nsVisible);
  tall[4] = tall[5] = char(0xFF);
  AnsiString talls;
  for (int i = 0; i < 33000; ++i) talls += NodeChunk(tall);
  EXPECT_EQ(ErrorCode(counted(33000, talls)), 2006);
  EXPECT_LE(copy->RootNode()->TotalHeight, uint32_t(INT32_MAX));
  EXPECT_TRUE(CountsAgree(*copy));
  // Such a tree is not written either.
  PVirtualNode run = tree->RootNode();
  for (int level = 0; level <= MaxStreamNesting; ++level) {
    tree->SetChildCount(run, 1);
    run = run->FirstChild;
  }
  EXPECT_THROW(Saved(), EStreamError);
  // A read-only tree loads nothing and is not cleared.
  copy->Clear();
  copy->SetRootNodeCount(2);
  copy->TreeOptions().SetMiscOptions(copy->TreeOptions().MiscOptions() + TVTMiscOptions{toReadOnly});
  EXPECT_EQ(ErrorCode(Header(3)), 0);
  EXPECT_EQ(copy->TotalCount(), 2u);
}

// Nodes of which nothing could be read do not stay as empty rows: a damaged
// second top-level chunk, or a damaged second child, leaves what came before.
TEST_F(StreamFixture, NodesOfWhichNothingWasReadDoNotStay) {
  const AnsiString good = NodeChunk(Body(0, nsInitialized | nsVisible));
  AnsiString wrongType = good;
  wrongType[0] = 7;
  EXPECT_EQ(ErrorCode(Counted(3, good + wrongType + good)), 2005);
  EXPECT_EQ(copy->RootNodeCount(), 1u);
  EXPECT_EQ(copy->TotalCount(), 1u);
  const AnsiString parent =
      NodeChunk(Body(2, nsInitialized | nsVisible | nsExpanded | nsHasChildren), good + wrongType);
  EXPECT_EQ(ErrorCode(Counted(1, parent)), 2005);
  ASSERT_EQ(copy->RootNodeCount(), 1u);
  EXPECT_EQ(copy->GetFirstNoInit()->ChildCount, 1u);
  EXPECT_EQ(copy->VisibleCount(), 2u);
  EXPECT_TRUE(CountsAgree(*copy));
}

// A descendant adds a chunk type of its own through the stream hooks; a
// tree that does not know the type passes it by.
TEST_F(StreamFixture, DescendantsAddChunkTypes) {
  struct TaggedTree : TTestTree {
    using TTestTree::TTestTree;
    std::vector<int32_t> tags;
    void WriteChunks(TStream& stream, PVirtualNode node) override {
      TTestTree::WriteChunks(stream, node);
      const int32_t chunk[3] = {77, 4, int32_t(node->Index) + 100};
      stream.WriteBuffer(chunk, sizeof chunk);
    }
    bool ReadChunk(TStream& stream, int version, PVirtualNode node, int type, int size) override {
      if (type != 77) return TTestTree::ReadChunk(stream, version, node, type, size);
      tags.push_back(0);
      stream.ReadBuffer(&tags.back(), 4);
      return true;
    }
  };
  auto* tagged = new TaggedTree(form);
  tagged->SetParent(form);
  tagged->SetRootNodeCount(2);
  TMemoryStream stream;
  tagged->SaveToStream(stream);
  stream.SetPosition(0);
  tagged->LoadFromStream(stream);
  EXPECT_EQ(tagged->tags, (std::vector<int32_t>{100, 101}));
  stream.SetPosition(0);
  copy->LoadFromStream(stream);
  EXPECT_EQ(copy->RootNodeCount(), 2u);
  stream.SetPosition(16);  // the first node chunk, after the header and the count
  copy->SkipNode(stream);
  copy->SkipNode(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  ASSERT_EQ(newTexts.size(), 2u);
  EXPECT_EQ(newTexts[1].second, u"Node");
}

TEST_F(StreamFixture, UserDataLeftUnreadIsSkippedAndFilesRoundTrip) {
  tree->SetRootNodeCount(2);
  *tree->GetNodeDataAs<int32_t>(Nth(0)) = 5;
  *tree->GetNodeDataAs<int32_t>(Nth(1)) = 6;
  copy->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
    uint8_t first = 0;
    stream.ReadBuffer(&first, 1);  // reads a quarter of its data
    *sender->GetNodeDataAs<int32_t>(node) = first;
  };
  const AnsiString folder = MakeTempFolder("vtstream");
  tree->SaveToFile(folder + "tree.bin");
  copy->LoadFromFile(folder + "tree.bin");
  ASSERT_EQ(copy->RootNodeCount(), 2u);
  EXPECT_EQ(*copy->GetNodeDataAs<int32_t>(copy->GetLastNoInit()), 6);
  DeleteFile(folder + "tree.bin");
  RemoveDir(folder);
}
