// The tree's data object, its format enumerator and the drag manager, with a
// host that records what the OLE side asks of its tree.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/controls/Forms.h"
#include "platform/ole/OleStream.h"
#include "treecontrol/VTAccessibilityFactory.h"
#include "treecontrol/VTDataObject.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

class TFakeHost : public TVTTransferHost {
 public:
  explicit TFakeHost(TBaseVirtualTree* tree) : tree_(tree) {}
  TBaseVirtualTree* Tree() const override { return tree_; }
  HRESULT RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool forClipboard) override {
    rendered.push_back(format.cfFormat);
    renderedForClipboard = forClipboard;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalFromBytes("rendered");
    return S_OK;
  }
  void CancelCutOrCopy() override { ++cancels; }
  HRESULT DragEnter(DWORD, TPoint point, DWORD& effect) override {
    calls.push_back("enter");
    lastPoint = point;
    effect = DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT DragOver(TBaseVirtualTree* source, DWORD, TDragState state, TPoint, DWORD&) override {
    calls.push_back(state == dsDragMove ? "over" : "other");
    overSource = source;
    return S_OK;
  }
  void DragLeave() override { calls.push_back("leave"); }
  HRESULT DragDrop(IDataObject*, DWORD, TPoint, DWORD&) override {
    calls.push_back("drop");
    throw Exception("handler failed");
  }

  std::vector<CLIPFORMAT> rendered;
  bool renderedForClipboard = false;
  int cancels = 0;
  std::vector<AnsiString> calls;
  TPoint lastPoint;
  TBaseVirtualTree* overSource = nullptr;

 private:
  TBaseVirtualTree* tree_;
};

struct DataObjectFixture : ::testing::Test {
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
  std::unique_ptr<TFakeHost> host;

  void SetUp() override {
    form = new TForm(nullptr);
    tree = new TVirtualStringTree(form);
    tree->SetParent(form);
    if (!TreeGlobalsInitialized()) InitializeTreeGlobals();
    host = std::make_unique<TFakeHost>(tree);
  }
  void TearDown() override {
    host.reset();
    delete form;
  }
  static std::vector<CLIPFORMAT> Enumerate(IDataObject* data) {
    TComPtr<IEnumFORMATETC> list;
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, list.Receive()), S_OK);
    std::vector<CLIPFORMAT> formats;
    FORMATETC f;
    while (list->Next(1, &f, nullptr) == S_OK) formats.push_back(f.cfFormat);
    return formats;
  }
};

}  // namespace

TEST_F(DataObjectFixture, OffersTheStringTreeFormatsInPriorityOrderAndAnswersQueries) {
  TComPtr<TVTDataObject> data(new TVTDataObject(host.get(), true));
  const std::vector<CLIPFORMAT> expected{
      CLIPFORMAT(RegisterClipboardFormat("Virtual Tree Data")), CLIPFORMAT(RegisterClipboardFormat("HTML Format")),
      CLIPFORMAT(RegisterClipboardFormat("Rich Text Format Without Objects")),
      CLIPFORMAT(RegisterClipboardFormat("Rich Text Format")), CLIPFORMAT(RegisterClipboardFormat("CSV")),
      CLIPFORMAT(CF_UNICODETEXT), CLIPFORMAT(CF_TEXT)};
  EXPECT_EQ(Enumerate(data.Get()), expected);
  const CLIPFORMAT user = CLIPFORMAT(RegisterClipboardFormat("Harvella user format"));
  tree->OnGetUserClipboardFormats = [&](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
    formats.push_back(MakeFormatEtc(user));
  };
  TComPtr<TVTDataObject> extended(new TVTDataObject(host.get(), true));
  std::vector<CLIPFORMAT> withUser = expected;
  withUser.push_back(user);
  EXPECT_EQ(Enumerate(extended.Get()), withUser) << "the application's formats follow the tree's";
  tree->OnGetUserClipboardFormats = nullptr;

  // A text query with one field changed.
  auto query = [&](const std::function<void(FORMATETC&)>& change) {
    FORMATETC format = MakeFormatEtc(CF_TEXT);
    change(format);
    return data->QueryGetData(&format);
  };
  EXPECT_EQ(query([](FORMATETC&) {}), S_OK);
  EXPECT_EQ(query([](FORMATETC& f) { f.tymed = TYMED_GDI; }), DV_E_TYMED);
  EXPECT_EQ(query([](FORMATETC& f) { f.dwAspect = DVASPECT_ICON; }), DV_E_DVASPECT);
  EXPECT_EQ(query([](FORMATETC& f) { f.lindex = 3; }), DV_E_LINDEX);
  EXPECT_EQ(query([](FORMATETC& f) { f.cfFormat = CF_BITMAP; }), DV_E_FORMATETC);

  // Other formats are rendered by the tree.
  STGMEDIUM medium;
  FORMATETC text = MakeFormatEtc(CF_TEXT);
  ASSERT_EQ(data->GetData(&text, &medium), S_OK);
  EXPECT_EQ(GlobalBytes(medium.hGlobal), "rendered");
  EXPECT_EQ(host->rendered, std::vector<CLIPFORMAT>{CLIPFORMAT(CF_TEXT)});
  EXPECT_TRUE(host->renderedForClipboard);
  ReleaseStgMedium(&medium);
}

// The format list is walked, skipped, rewound and copied: Skip moves only
// when the end is not passed, a clone goes on from where its original was
// and on its own.
TEST_F(DataObjectFixture, EnumeratorSkipsResetsAndClones) {
  TComPtr<TVTDataObject> data(new TVTDataObject(host.get(), false));
  TComPtr<IEnumFORMATETC> list;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, list.Receive()), S_OK);
  const ULONG count = ULONG(data->FormatEtcArray().size());
  ASSERT_GE(count, 4u);
  FORMATETC items[20];
  ULONG fetched = 0;
  EXPECT_EQ(list->Next(2, items, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(list->Skip(count - 1), S_FALSE) << "past the end: no move";
  TComPtr<IEnumFORMATETC> copy;
  ASSERT_EQ(list->Clone(copy.Receive()), S_OK);
  EXPECT_EQ(copy->Next(20, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, count - 2);
  EXPECT_EQ(items[0].cfFormat, data->FormatEtcArray()[2].cfFormat);
  EXPECT_EQ(list->Skip(1), S_OK) << "the clone moved on its own";
  EXPECT_EQ(list->Next(1, items, nullptr), S_OK);
  EXPECT_EQ(items[0].cfFormat, data->FormatEtcArray()[3].cfFormat);
  EXPECT_EQ(list->Skip(count - 4), S_OK) << "up to the end exactly";
  EXPECT_EQ(list->Next(1, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(list->Reset(), S_OK);
  EXPECT_EQ(list->Next(1, items, nullptr), S_OK);
  EXPECT_EQ(items[0].cfFormat, data->FormatEtcArray()[0].cfFormat);
}

TEST_F(DataObjectFixture, TreeReferenceNamesTheLiveTreeOnlyAndNotWhileFlushing) {
  TComPtr<TVTDataObject> data(new TVTDataObject(host.get(), false));
  EXPECT_EQ(GetTreeFromDataObject(data.Get()), tree);
  AnsiString bytes;
  ASSERT_EQ(GetDataBytes(data.Get(), ReferenceClipboardFormat, bytes), S_OK);
  ASSERT_EQ(bytes.size(), 8u);
  uint32_t processId = 0;
  std::memcpy(&processId, bytes.data(), 4);
  EXPECT_EQ(processId, GetCurrentProcessId());

  tree->ChangeStates({stClipboardFlushing}, {});
  FORMATETC reference = MakeFormatEtc(ReferenceClipboardFormat);
  STGMEDIUM medium;
  EXPECT_EQ(data->GetData(&reference, &medium), E_FAIL);
  tree->ChangeStates({}, {stClipboardFlushing});

  // A data object that outlives its tree's transfer host names no tree and renders nothing.
  host.reset();
  EXPECT_EQ(GetTreeFromDataObject(data.Get()), nullptr);
  FORMATETC text = MakeFormatEtc(CF_TEXT);
  EXPECT_EQ(data->GetData(&text, &medium), E_FAIL);
}

TEST_F(DataObjectFixture, SetDataCopiesOrKeepsMediaAndClipboardObjectsCancelOnRelease) {
  TComPtr<TVTDataObject> data(new TVTDataObject(host.get(), true));
  const CLIPFORMAT own = CLIPFORMAT(RegisterClipboardFormat("Harvella test format"));
  FORMATETC format = MakeFormatEtc(own);
  STGMEDIUM medium;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = GlobalFromBytes("copied");
  ASSERT_EQ(data->SetData(&format, &medium, false), S_OK);
  GlobalFree(medium.hGlobal);  // the object made its own copy
  AnsiString bytes;
  ASSERT_EQ(GetDataBytes(data.Get(), own, bytes), S_OK);
  EXPECT_EQ(bytes, "copied");

  // Handed out by reference: the medium names the data object as its release object.
  STGMEDIUM out;
  ASSERT_EQ(data->GetData(&format, &out), S_OK);
  EXPECT_TRUE(SameObject(out.pUnkForRelease, static_cast<IDataObject*>(data.Get())));
  ReleaseStgMedium(&out);

  STGMEDIUM owned;
  owned.tymed = TYMED_HGLOBAL;
  owned.hGlobal = GlobalFromBytes("owned");
  ASSERT_EQ(data->SetData(&format, &owned, true), S_OK);  // replaces and frees the copy
  ASSERT_EQ(GetDataBytes(data.Get(), own, bytes), S_OK);
  EXPECT_EQ(bytes, "owned");
  EXPECT_EQ(GlobalSize(owned.hGlobal), 5u);  // kept, not copied

  STGMEDIUM picture;
  picture.tymed = TYMED_GDI;
  EXPECT_EQ(data->SetData(&format, &picture, false), DV_E_TYMED);

  EXPECT_EQ(host->cancels, 0);
  data.Reset();
  EXPECT_EQ(host->cancels, 1);
  EXPECT_EQ(GlobalSize(owned.hGlobal), 0u);  // released with the object
}

// A storage set on the object is kept with one more reference and handed
// out the same way; a file name set without release is copied, and every
// medium handed out names the file in a block of its own.
TEST_F(DataObjectFixture, StorageAndFileMediaAreHeldAndCopied) {
  struct TStorage : TInterfacedObject<IStorage> {};
  TComPtr<TStorage> storage(new TStorage);
  TComPtr<TVTDataObject> data(new TVTDataObject(host.get(), false));
  FORMATETC stored = MakeFormatEtc(CLIPFORMAT(RegisterClipboardFormat("Harvella storage")), TYMED_ISTORAGE);
  STGMEDIUM medium;
  medium.tymed = TYMED_ISTORAGE;
  medium.pstg = storage.Get();
  ASSERT_EQ(data->SetData(&stored, &medium, false), S_OK);
  EXPECT_EQ(storage->AddRef(), 3u) << "the test, the object and this call";
  storage->Release();
  STGMEDIUM out;
  ASSERT_EQ(data->GetData(&stored, &out), S_OK);
  EXPECT_EQ(out.pstg, storage.Get());
  ReleaseStgMedium(&out);

  FORMATETC file = MakeFormatEtc(CLIPFORMAT(RegisterClipboardFormat("Harvella file")), TYMED_FILE);
  const std::u16string name = u"/tmp/n\u00e4me";
  auto* given = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  std::memcpy(given, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
  medium = STGMEDIUM();
  medium.tymed = TYMED_FILE;
  medium.lpszFileName = given;
  ASSERT_EQ(data->SetData(&file, &medium, false), S_OK);
  ReleaseStgMedium(&medium);  // the object made its own copy
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(data->GetData(&file, &out), S_OK);
    ASSERT_NE(out.lpszFileName, nullptr);
    EXPECT_EQ(std::u16string(out.lpszFileName), name);
    ReleaseStgMedium(&out);
  }

  // A file medium kept with a release object hands out a name of its own
  // each time, freed with the medium whatever its release object (the leak
  // checker counts one block per call otherwise).
  medium = STGMEDIUM();
  medium.tymed = TYMED_FILE;
  medium.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  std::memcpy(medium.lpszFileName, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
  medium.pUnkForRelease = static_cast<IStorage*>(storage.Get());
  storage->AddRef();
  ASSERT_EQ(data->SetData(&file, &medium, true), S_OK);
  for (int round = 0; round < 50; ++round) {
    ASSERT_EQ(data->GetData(&file, &out), S_OK);
    EXPECT_EQ(std::u16string(out.lpszFileName), name);
    EXPECT_EQ(out.pUnkForRelease, static_cast<IStorage*>(storage.Get()));
    ReleaseStgMedium(&out);
  }
  data.Reset();
  EXPECT_EQ(storage->AddRef(), 2u) << "released with the object";
  storage->Release();
}

TEST_F(DataObjectFixture, DragManagerForwardsTargetCallsAndDecidesTheSourceLoop) {
  TComPtr<TVTDragManager> manager(new TVTDragManager(host.get()));
  TComPtr<IDataObject> own = manager->GetDataObject();
  ASSERT_TRUE(own);
  EXPECT_EQ(GetTreeFromDataObject(own.Get()), tree);

  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(manager->DragEnter(own.Get(), MK_LBUTTON, POINTL{7, 9}, &effect), S_OK);
  EXPECT_TRUE(manager->GetIsDropTarget());
  EXPECT_EQ(manager->GetDragSource(), tree);
  EXPECT_EQ(manager->GetDataObject(), own);
  EXPECT_EQ(host->lastPoint.X, 7);
  EXPECT_EQ(manager->DragOver(MK_LBUTTON, POINTL{8, 9}, &effect), S_OK);
  EXPECT_EQ(host->overSource, tree);
  EXPECT_EQ(manager->DragLeave(), S_OK);
  EXPECT_FALSE(manager->GetIsDropTarget());
  EXPECT_EQ(manager->GetDragSource(), nullptr);
  // An exception in the tree's drop handling becomes E_UNEXPECTED.
  EXPECT_EQ(manager->Drop(own.Get(), 0, POINTL{8, 9}, &effect), E_UNEXPECTED);
  EXPECT_EQ(host->calls, (std::vector<AnsiString>{"enter", "over", "leave", "drop"}));

  EXPECT_EQ(manager->QueryContinueDrag(false, MK_LBUTTON), S_OK);
  EXPECT_EQ(manager->QueryContinueDrag(false, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(manager->QueryContinueDrag(true, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(manager->QueryContinueDrag(false, MK_MBUTTON), DRAGDROP_S_DROP);
}

namespace {

class TProvider : public ITreeAccessibleProvider {
 public:
  class TAccessible : public TInterfacedObject<IAccessible> {};
  TComPtr<IAccessible> CreateAccessible(TBaseVirtualTree*) override {
    ++asked;
    return TComPtr<IAccessible>(new TAccessible());
  }
  int asked = 0;
};

}  // namespace

TEST_F(DataObjectFixture, AccessibilityFactoryAnswersNothingWithoutProvidersAndAsksTheOnlyOne) {
  TVTAccessibilityFactory& factory = GetAccessibilityFactory();
  EXPECT_EQ(tree->Perform(WM_GETOBJECT, 0, OBJID_CLIENT), 0);
  EXPECT_FALSE(factory.Accessible(tree));
  EXPECT_FALSE(factory.AccessibleItem(tree));

  TProvider provider;
  factory.RegisterAccessibleProvider(&provider);
  EXPECT_NE(factory.AnswerGetObject(tree, OBJID_CLIENT), 0);
  EXPECT_EQ(provider.asked, 2);  // the tree's object and its item's
  EXPECT_TRUE(factory.AccessibleItem(tree));
  factory.UnRegisterAccessibleProvider(&provider);
  factory.ForgetTree(tree);
  EXPECT_EQ(factory.ProviderCount(), 0);
}
