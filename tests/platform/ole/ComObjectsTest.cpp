// Reference counting, interface lookup, global memory, streams, storage and
// file media, data objects.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/controls/Clipbrd.h"
#include "platform/ole/DataObject.h"
#include "platform/ole/DragDrop.h"
#include "platform/ole/OleStream.h"
#include "platform/rtl/FileUtils.h"

namespace {

class TTwoFaces : public TInterfacedObject<IDropSource, IDropTarget> {
 public:
  explicit TTwoFaces(bool& gone) : gone_(gone) {}
  ~TTwoFaces() override { gone_ = true; }
  HRESULT QueryContinueDrag(BOOL, DWORD) override { return S_OK; }
  HRESULT GiveFeedback(DWORD) override { return S_OK; }
  HRESULT DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT DragOver(DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT DragLeave() override { return S_OK; }
  HRESULT Drop(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }

 private:
  bool& gone_;
};

class TSink : public TInterfacedObject<IAdviseSink> {
 public:
  std::vector<AnsiString> seen;
  void OnDataChange(const FORMATETC*, STGMEDIUM* medium) override {
    AnsiString bytes;
    MediumBytes(*medium, bytes);
    seen.push_back(bytes);
  }
};

}  // namespace

TEST(ComObjects, CountReferencesAndAnswerForEachInterfaceWithOneIdentity) {
  bool gone = false;
  TComPtr<IDropSource> source(new TTwoFaces(gone));
  EXPECT_EQ(static_cast<TTwoFaces*>(source.Get())->RefCount(), 1u);
  TComPtr<IDropTarget> target = QueryInterfaceOf<IDropTarget>(source.Get());
  ASSERT_TRUE(target);
  EXPECT_EQ(static_cast<TTwoFaces*>(source.Get())->RefCount(), 2u);
  EXPECT_TRUE(SameObject(source.Get(), target.Get()));

  void* none = &gone;
  EXPECT_EQ(source->QueryInterface(IDataObject::iid, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(source->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  source.Reset();
  EXPECT_FALSE(gone);
  target.Reset();
  EXPECT_TRUE(gone);
}

TEST(ComObjects, GlobalBlocksAndStreamsOverThem) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, 8);
  std::memcpy(GlobalLock(block), "abcd", 4);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalBytes(block), AnsiString("abcd\0\0\0\0", 8));

  IStream* raw = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(block, true, &raw), S_OK);
  TComPtr<IStream> stream = TComPtr<IStream>::Adopt(raw);
  stream->Seek(0, STREAM_SEEK_END, nullptr);
  ULONG done = 0;
  EXPECT_EQ(stream->Write("0123456789", 10, &done), S_OK);
  EXPECT_EQ(GlobalSize(block), 18u);

  stream->Seek(2, STREAM_SEEK_SET, nullptr);
  char got[32] = {};
  EXPECT_EQ(stream->Read(got, 32, &done), S_FALSE);
  EXPECT_EQ(done, 16u);
  EXPECT_EQ(AnsiString(got, 2), "cd");
  EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);

  // Class-library code reads and writes the same stream.
  {
    TOleStream wrapper(stream.Get());
    wrapper.SetPosition(18);
    wrapper.WriteBuffer("xy", 2);
    wrapper.SetPosition(16);
    char tail[4] = {};
    EXPECT_EQ(wrapper.Read(tail, 4), 4);
    EXPECT_EQ(AnsiString(tail, 4), "89xy");
  }

  stream.Reset();  // the block goes with the last reference
  EXPECT_EQ(GlobalFree(block), block);
  EXPECT_EQ(GlobalLock(block), nullptr);
}

// Releasing a storage medium releases the storage; releasing a file medium
// frees its name and leaves the file; a release object takes over both.
TEST(ComObjects, StorageAndFileMediaReleaseWhatTheyHold) {
  struct TStorage : TInterfacedObject<IStorage> {};
  TComPtr<TStorage> storage(new TStorage);
  STGMEDIUM medium;
  medium.tymed = TYMED_ISTORAGE;
  medium.pstg = storage.Get();
  storage->AddRef();
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.pstg, nullptr);
  EXPECT_EQ(storage->AddRef(), 2u);
  storage->Release();

  const AnsiString path = HARVELLA_BUILD_DIR "/tests/ole-file-medium.txt";
  FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_TRUE(file);
  std::fclose(file);
  const std::u16string name = Utf8ToWide(path);
  medium = STGMEDIUM();
  medium.tymed = TYMED_FILE;
  medium.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  std::memcpy(medium.lpszFileName, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
  ReleaseStgMedium(&medium);  // the sanitizer sees a leak or a double free
  EXPECT_EQ(medium.lpszFileName, nullptr);
  EXPECT_TRUE(FileExists(path));
  std::remove(path.c_str());

  bool gone = false;
  TComPtr<TTwoFaces> owner(new TTwoFaces(gone));
  medium.tymed = TYMED_ISTORAGE;
  medium.pstg = storage.Get();
  medium.pUnkForRelease = static_cast<IDropSource*>(owner.Get());
  owner->AddRef();
  ReleaseStgMedium(&medium);
  EXPECT_EQ(storage->AddRef(), 2u) << "the storage belongs to the release object";
  storage->Release();

  // A file medium's name is its own even with a release object: releasing
  // frees the name (the leak checker sees it otherwise) and releases the object.
  bool fileOwnerGone = false;
  TComPtr<TTwoFaces> fileOwner(new TTwoFaces(fileOwnerGone));
  medium = STGMEDIUM();
  medium.tymed = TYMED_FILE;
  medium.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  std::memcpy(medium.lpszFileName, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
  medium.pUnkForRelease = static_cast<IDropSource*>(fileOwner.Get());
  fileOwner->AddRef();
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.lpszFileName, nullptr);
  EXPECT_EQ(fileOwner->RefCount(), 1u) << "the release object was released";
}

TEST(ComObjects, DataObjectOffersTwoFormatsForEnumerationQueriesAndData) {
  const CLIPFORMAT nodes = CLIPFORMAT(RegisterClipboardFormat("Harvella Test Nodes"));
  TComPtr<TDataObject> object(new TDataObject());
  object->SetText("Grüße");
  object->SetBytes(nodes, AnsiString("\x01\x00\x02", 3));
  TComPtr<IDataObject> data(object.Get());

  TComPtr<IEnumFORMATETC> list;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, list.Receive()), S_OK);
  FORMATETC formats[4];
  ULONG fetched = 0;
  EXPECT_EQ(list->Next(4, formats, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  EXPECT_EQ(formats[0].cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(formats[1].cfFormat, CF_TEXT);
  EXPECT_EQ(formats[2].cfFormat, nodes);

  FORMATETC asked = MakeFormatEtc(nodes);
  EXPECT_EQ(data->QueryGetData(&asked), S_OK);
  asked.tymed = TYMED_GDI;
  EXPECT_EQ(data->QueryGetData(&asked), DV_E_TYMED);
  asked = MakeFormatEtc(nodes);
  asked.dwAspect = DVASPECT_ICON;
  EXPECT_EQ(data->QueryGetData(&asked), DV_E_DVASPECT);
  asked = MakeFormatEtc(CLIPFORMAT(RegisterClipboardFormat("Not Offered")));
  EXPECT_EQ(data->QueryGetData(&asked), DV_E_FORMATETC);

  STGMEDIUM medium;
  asked = MakeFormatEtc(nodes, TYMED_ISTREAM);
  ASSERT_EQ(data->GetData(&asked, &medium), S_OK);
  AnsiString bytes;
  EXPECT_TRUE(MediumBytes(medium, bytes));
  EXPECT_EQ(bytes, AnsiString("\x01\x00\x02", 3));
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.tymed, TYMED_NULL);
  ReleaseStgMedium(&medium);

  ASSERT_EQ(GetDataBytes(data.Get(), CLIPFORMAT(CF_UNICODETEXT), bytes), S_OK);
  EXPECT_EQ(TextFromUnicodeBytes(bytes), "Grüße");

  // Data set from outside replaces the format and reaches advise sinks.
  TComPtr<TSink> sink(new TSink());
  DWORD connection = 0;
  ASSERT_EQ(data->DAdvise(&asked, 0, sink.Get(), &connection), S_OK);
  STGMEDIUM given;
  given.tymed = TYMED_HGLOBAL;
  given.hGlobal = GlobalFromBytes("new");
  HGLOBAL givenBlock = given.hGlobal;
  EXPECT_EQ(data->SetData(&asked, &given, true), S_OK);
  EXPECT_EQ(GlobalFree(givenBlock), givenBlock);  // released by the object
  EXPECT_EQ(sink->seen, std::vector<AnsiString>{"new"});
  EXPECT_EQ(data->DUnadvise(connection), S_OK);
  EXPECT_EQ(data->DUnadvise(connection), OLE_E_NOCONNECTION);
  EXPECT_EQ(data->GetDataHere(&asked, &medium), E_NOTIMPL);
}
