// Node records, counts and heights, structural operations and the update
// bracket of the tree.
#include "TreeFixture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "treecontrol/VTNodePool.h"
#include "treecontrol/VTUnitServices.h"

using NodeModel = TreeFixture;

TEST_F(NodeModel, RootCountMakesUninitialisedRecordsWithTotals) {
  int inits = 0;
  tree->OnInitNode = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { ++inits; };
  tree->SetRootNodeCount(3);
  EXPECT_EQ(tree->RootNode()->TotalCount, 4u);
  EXPECT_EQ(tree->RootNode()->TotalHeight, 18u + 3 * 18u);
  EXPECT_EQ(tree->VisibleCount(), 3u);
  EXPECT_EQ(inits, 0);
  tree->SetRootNodeCount(2);
  EXPECT_EQ(tree->TotalCount(), 2u);
  EXPECT_EQ(tree->GetFirst(), Nth(0));
  EXPECT_EQ(inits, 1);
}

TEST_F(NodeModel, ReadOnlyTreeRefusesChanges) {
  tree->SetRootNodeCount(2);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toReadOnly});
  tree->SetChildCount(Nth(0), 4);
  tree->SetNodeHeight(Nth(0), 30);
  tree->DeleteNode(Nth(1));
  tree->Clear();
  EXPECT_EQ(Nth(0)->ChildCount, 0u);
  EXPECT_EQ(Nth(0)->NodeHeight, 18);
  EXPECT_EQ(tree->RootNodeCount(), 2u);
}

TEST_F(NodeModel, PositionsCompareByAncestryAndIndex) {
  tree->SetRootNodeCount(6);
  tree->SetChildCount(Nth(1), 2);
  EXPECT_EQ(tree->ComparePositions(Nth(1), Nth(1)->FirstChild), -1);
  EXPECT_EQ(tree->ComparePositions(Nth(1)->LastChild, Nth(1)), 1);
  EXPECT_EQ(tree->ComparePositions(Nth(5), Nth(2)), 3);
  EXPECT_LT(tree->ComparePositions(Nth(1)->LastChild, Nth(2)), 0);
  EXPECT_THROW(tree->ComparePositions(nullptr, Nth(0)), EAssertionFailed);
  EXPECT_THROW(tree->ReserveInternalData(4), EAssertionFailed);
}

TEST_F(NodeModel, DeletingSelectedNodesRenumbersEachParentOnce) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(5);
  tree->SetChildCount(Nth(4), 3);
  int frees = 0;
  tree->OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++frees; };
  tree->GetFirst();  // initialises node 0 only
  for (uint32_t i : {0u, 1u, 3u}) tree->SetSelected(Nth(i), true);
  tree->SetSelected(Nth(4)->FirstChild, true);
  tree->DeleteSelectedNodes();
  EXPECT_EQ(tree->RootNodeCount(), 2u);
  EXPECT_EQ(tree->RootNode()->LastChild->ChildCount, 2u);
  EXPECT_EQ(tree->SelectedCount(), 0);
  EXPECT_EQ(frees, 1) << "only the initialised node is announced";
}

TEST_F(NodeModel, MovingChildrenKeepsOrderAndRefusesCycles) {
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 3);
  tree->SetChildCount(Nth(1), 1);
  PVirtualNode source = Nth(0);
  PVirtualNode target = Nth(1);
  std::vector<PVirtualNode> kids{source->FirstChild, source->FirstChild->NextSibling, source->LastChild};
  tree->MoveTo(source, target, amAddChildFirst, true);
  EXPECT_EQ(source->ChildCount, 0u);
  ASSERT_EQ(target->ChildCount, 4u);
  PVirtualNode run = target->FirstChild;
  for (uint32_t i = 0; i < 3; ++i, run = run->NextSibling) EXPECT_EQ(run, kids[i]);
  try {
    tree->MoveTo(target, target->FirstChild, amAddChildLast, false);
    FAIL() << "a node moved under itself";
  } catch (const EVirtualTreeError& e) {
    EXPECT_EQ(e.HelpContext(), 2001);
    EXPECT_EQ(e.Message(), "Target node cannot be a child node of the node to be moved.");
  }
  tree->MoveTo(target, PVirtualNode(nullptr), amInsertBefore, false);
  EXPECT_EQ(tree->GetFirstNoInit(), target);
}

TEST_F(NodeModel, UpdateBracketDefersStructureChangeToTheLastEnd) {
  tree->SetRootNodeCount(4);
  std::vector<TChangeReason> reasons;
  tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode, TChangeReason r) { reasons.push_back(r); };
  std::vector<TVTUpdateState> updates;
  tree->OnUpdating = [&](TBaseVirtualTree*, TVTUpdateState s) { updates.push_back(s); };
  tree->BeginUpdate();
  tree->BeginUpdate();
  tree->DeleteNode(Nth(3));
  tree->DeleteNode(Nth(2));
  tree->EndUpdate();
  EXPECT_TRUE(reasons.empty());
  tree->EndUpdate();
  EXPECT_EQ(reasons, (std::vector<TChangeReason>{crChildDeleted}));
  EXPECT_EQ(updates, (std::vector<TVTUpdateState>{usBegin, usUpdate, usUpdate, usEnd}));
  tree->EndUpdate();
  EXPECT_EQ(tree->UpdateCount(), 0);
}

TEST_F(NodeModel, InitChildrenOnDemandAndResetNode) {
  tree->OnInitNode = [&](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode, TVirtualNodeInitStates& states) {
    if (!parent) states.Include(ivsHasChildren);
  };
  int asked = 0;
  tree->OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode node, uint32_t& count) {
    ++asked;
    count = node->Index == 1 ? 0 : 4;
  };
  tree->SetRootNodeCount(2);
  tree->SetExpanded(tree->GetFirst(), true);
  EXPECT_EQ(Nth(0)->ChildCount, 4u);
  EXPECT_EQ(tree->VisibleCount(), 6u);
  PVirtualNode second = tree->GetNextSibling(Nth(0));
  tree->ToggleNode(second);
  EXPECT_FALSE(tree->Expanded(second));
  EXPECT_FALSE(tree->HasChildren(second));
  EXPECT_EQ(asked, 2);
  tree->ResetNode(Nth(0));
  EXPECT_EQ(Nth(0)->ChildCount, 0u);
  EXPECT_FALSE(Nth(0)->States & nsInitialized);
  EXPECT_EQ(tree->VisibleCount(), 2u);
  EXPECT_EQ(tree->RootNode()->TotalHeight, 3 * 18u);
}

TEST_F(NodeModel, ChangeEventsFireAtOnceOrOnceAfterTheDelay) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(3);
  std::vector<PVirtualNode> changes;
  tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changes.push_back(n); };
  tree->SetSelected(Nth(0), true);
  EXPECT_EQ(changes.size(), 1u);
  changes.clear();
  tree->SetChangeDelay(50);
  for (uint32_t i = 0; i < 3; ++i) tree->SetSelected(Nth(i), i != 0);
  EXPECT_TRUE(changes.empty());
  EXPECT_TRUE(PumpUntil([&] { return !changes.empty(); }));
  ProcessMessages();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], Nth(2));
}

TEST_F(NodeModel, OutOfRangeValuesAreClampedOrRefused) {
  tree->SetRootNodeCount(2);
  tree->SetNodeHeight(Nth(0), 70000);
  EXPECT_EQ(Nth(0)->NodeHeight, 65535) << "no silent wrap of the 16-bit height";
  EXPECT_EQ(tree->RootNode()->TotalHeight, 18u + 65535u + 18u);
  tree->SetNodeHeight(Nth(0), -5);
  EXPECT_EQ(Nth(0)->NodeHeight, 0);
  // A header stream that claims a caption longer than the stream is refused.
  TMemoryStream bad;
  for (int32_t v : {-1, 3, 1, 0x7FFFFFF0}) bad.WriteBuffer(&v, 4);
  bad.SetPosition(0);
  EXPECT_THROW(tree->Header().LoadFromStream(bad), EStreamError);
}

TEST_F(NodeModel, RootCountSetWhileLoadingAppliesWhenLoadingEnds) {
  tree->SetLoading(true);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toReadOnly});
  tree->SetRootNodeCount(4);
  EXPECT_EQ(tree->TotalCount(), 0u);
  EXPECT_EQ(tree->GetFirst(), nullptr);
  tree->SetLoading(false);
  EXPECT_EQ(tree->TotalCount(), 4u);
  EXPECT_EQ(tree->VisibleCount(), 4u);
  EXPECT_TRUE(tree->TreeOptions().MiscOptions().Contains(toReadOnly));
}

// Scaling the form scales the default node height and the header's font
// with toAutoChangeScale; nodes made before keep their heights. Without the
// option only the bounds scale; while loading, only once a node height was set.
TEST_F(NodeModel, AutoChangeScaleScalesTheNodeHeightAndTheHeader) {
  tree->SetRootNodeCount(1);
  tree->Header().Font().SetSize(8);
  form->ScaleBy(3, 2);
  EXPECT_EQ(tree->DefaultNodeHeight(), 18);
  EXPECT_EQ(tree->Width(), 450);
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoChangeScale});
  form->ScaleBy(3, 2);
  EXPECT_EQ(tree->DefaultNodeHeight(), 27);
  EXPECT_EQ(tree->Header().Font().Size(), 12);
  EXPECT_EQ(Nth(0)->NodeHeight, 18);
  tree->SetRootNodeCount(2);
  EXPECT_EQ(Nth(1)->NodeHeight, 27);
  TForm other(nullptr);
  TTestTree loading(&other);
  loading.SetParent(&other);
  loading.TreeOptions().SetAutoOptions(loading.TreeOptions().AutoOptions() + TVTAutoOptions{toAutoChangeScale});
  loading.SetLoading(true);
  other.ScaleBy(2, 1);
  EXPECT_EQ(loading.DefaultNodeHeight(), 18);
  loading.SetDefaultNodeHeight(20);
  other.ScaleBy(2, 1);
  EXPECT_EQ(loading.DefaultNodeHeight(), 40);
  loading.SetLoading(false);
}

// The header's font rounds as the node height does, so that scaling up and
// back again gives the sizes it started from.
TEST_F(NodeModel, ScalingUpAndBackKeepsTheHeaderFontAndNodeHeight) {
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoChangeScale});
  tree->Header().Font().SetSize(9);
  tree->SetDefaultNodeHeight(17);
  form->ScaleBy(3, 2);
  EXPECT_EQ(tree->Header().Font().Size(), 14);
  EXPECT_EQ(tree->DefaultNodeHeight(), 26);
  form->ScaleBy(2, 3);
  EXPECT_EQ(tree->Header().Font().Size(), 9);
  EXPECT_EQ(tree->DefaultNodeHeight(), 17);
}

// A string tree's width cache takes the node header's two bytes of internal
// data, so its nodes are the header alone; further internal data follows the
// header, the user data follows that, and none of them overlaps another.
TEST_F(NodeModel, InternalDataBeyondTheHeadersTwoBytesFollowsTheHeader) {
  EXPECT_EQ(tree->InternalDataSize(), 0);
  EXPECT_EQ(tree->ReserveInternalData(4), NodeHeaderSize);
  EXPECT_EQ(tree->ReserveInternalData(2), NodeHeaderSize + 4) << "the header's two bytes are taken";
  EXPECT_EQ(tree->InternalDataSize(), 8);
  tree->OnGetNodeDataSize = [](TBaseVirtualTree*, int& size) { size = sizeof(int); };
  names = {u"abc", u"a wider text"};
  tree->SetRootNodeCount(2);
  const int width = tree->NodeWidthOf(Nth(1), NoColumn);
  for (uint32_t i = 0; i < 2; ++i) {
    char* record = reinterpret_cast<char*>(Nth(i));
    EXPECT_EQ(tree->GetNodeData(Nth(i)), record + NodeHeaderSize + 8);
    std::memset(record + NodeHeaderSize, 0xFF, 8);
    *tree->GetNodeDataAs<int>(Nth(i)) = -1;
  }
  EXPECT_EQ(tree->NodeWidthOf(Nth(1), NoColumn), width);
  EXPECT_LT(tree->NodeWidthOf(Nth(0), NoColumn), width);
  EXPECT_EQ(Nth(1)->TotalCount, 1u);
  EXPECT_EQ(Nth(1)->NodeHeight, 18);
  EXPECT_EQ(Nth(1)->CheckType, ctNone);
}

TEST_F(NodeModel, UserDataIsZeroedPerNodeAndSizeChangesRebuild) {
  struct Data {
    int value;
    char name[12];
  };
  int asked = 0;
  tree->OnGetNodeDataSize = [&](TBaseVirtualTree*, int& size) {
    ++asked;
    size = sizeof(Data);
  };
  tree->SetRootNodeCount(3);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(tree->NodeDataSize(), int(sizeof(Data)));
  for (uint32_t i = 0; i < 3; ++i) {
    Data* data = tree->GetNodeDataAs<Data>(Nth(i));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->value, 0);
    data->value = int(i) + 10;
  }
  EXPECT_EQ(tree->GetNodeData(tree->RootNode()), nullptr);
  tree->SetNodeDataSize(64);
  EXPECT_EQ(tree->RootNodeCount(), 3u);
  EXPECT_EQ(tree->GetNodeDataAs<Data>(Nth(2))->value, 0) << "nodes are made anew";
  EXPECT_EQ(asked, 1);
}

// Node records come from the tree's pool: a record freed and handed out
// again starts as a new one (no states, links or data of the node it was),
// and the pool holds nothing once the tree has no nodes.
TEST_F(NodeModel, ARecordMadeAgainStartsAsANewNode) {
  tree->OnGetNodeDataSize = [](TBaseVirtualTree*, int& size) { size = sizeof(int); };
  tree->SetRootNodeCount(300);
  for (uint32_t i = 0; i < 300; ++i) {
    *tree->GetNodeDataAs<int>(Nth(i)) = int(i) + 1;
    tree->SetChildCount(Nth(i), 2);
    tree->SetSelected(Nth(i), true);
  }
  tree->SetRootNodeCount(20);
  tree->SetRootNodeCount(300);
  for (uint32_t i = 20; i < 300; ++i) {
    PVirtualNode node = TopLevelNode(tree, i);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(*tree->GetNodeDataAs<int>(node), 0) << i;
    EXPECT_FALSE(tree->Selected(node)) << i;
    EXPECT_EQ(node->ChildCount, 0u) << i;
    EXPECT_EQ(node->FirstChild, nullptr) << i;
    EXPECT_EQ(node->TotalCount, 1u) << i;
  }
}

TEST(NodePool, RecordsAreZeroFilledReusedAndAllGivenBack) {
  TVTNodePool pool;
  std::vector<char*> records;
  for (int i = 0; i < 10000; ++i) {
    records.push_back(static_cast<char*>(pool.Allocate(68)));
    ASSERT_EQ(reinterpret_cast<uintptr_t>(records.back()) % 8, 0u);
    std::memset(records.back(), 0xAB, 68);
  }
  for (size_t i = 0; i < records.size(); i += 2) pool.Release(records[i]);
  for (size_t i = 0; i < records.size(); i += 2) {
    records[i] = static_cast<char*>(pool.Allocate(68));
    EXPECT_EQ(std::count(records[i], records[i] + 68, 0), 68) << "a reused record is zero-filled";
  }
  EXPECT_EQ(pool.InUse(), 10000u);
  EXPECT_THROW(pool.Allocate(128), EAssertionFailed) << "one size while records are in use";
  for (char* record : records) pool.Release(record);
  EXPECT_EQ(pool.InUse(), 0u);
  char* larger = static_cast<char*>(pool.Allocate(128));
  EXPECT_EQ(std::count(larger, larger + 128, 0), 128) << "another size once the pool is empty";
  pool.Release(larger);
}

// Records are released in an order that empties blocks one by one: each
// block goes back with its last record, while the blocks still holding
// records keep serving requests from their freed records first.
TEST(NodePool, ABlockGoesBackWhenItsLastRecordGoes) {
  TRecordPool pool;
  const size_t perBlock = TRecordPool::BlockRecords;
  std::vector<void*> records;
  for (size_t i = 0; i < 3 * perBlock; ++i) records.push_back(pool.Allocate(40));
  ASSERT_EQ(pool.BlockCount(), 3u);
  // Every record of the middle block but one goes: the block stays.
  for (size_t i = perBlock; i < 2 * perBlock - 1; ++i) pool.Release(records[i]);
  EXPECT_EQ(pool.BlockCount(), 3u);
  void* again = pool.Allocate(40);
  EXPECT_GE(again, records[perBlock]);
  EXPECT_LE(again, records[2 * perBlock - 1]) << "a freed record of the block serves first";
  pool.Release(again);
  pool.Release(records[2 * perBlock - 1]);
  EXPECT_EQ(pool.BlockCount(), 2u) << "the emptied block went back";
  for (size_t i = 0; i < perBlock; ++i) pool.Release(records[i]);
  EXPECT_EQ(pool.BlockCount(), 1u);
  EXPECT_EQ(pool.InUse(), perBlock);
  EXPECT_THROW(pool.Allocate(48), std::invalid_argument);
  for (size_t i = 2 * perBlock; i < 3 * perBlock; ++i) pool.Release(records[i]);
  EXPECT_EQ(pool.BlockCount(), 0u);
}
