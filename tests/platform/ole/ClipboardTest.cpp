// The OLE clipboard over the program's clipboard.
#include <gtest/gtest.h>

#include "platform/controls/Clipbrd.h"
#include "platform/ole/DataObject.h"
#include "platform/ole/OleClipboard.h"

namespace {

class TCountedData : public TDataObject {
 public:
  explicit TCountedData(bool& gone) : gone_(gone) {}
  ~TCountedData() override { gone_ = true; }

 private:
  bool& gone_;
};

}  // namespace

TEST(OleClipboard, RegisteredFormatRoundTripsAndSurvivesAFlush) {
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  const CLIPFORMAT nodes = CLIPFORMAT(RegisterClipboardFormat("Harvella Test Nodes"));
  const AnsiString payload("\x04\x00\x00\x00node", 8);
  bool gone = false;
  {
    TComPtr<TCountedData> object(new TCountedData(gone));
    object->SetText("two nodes");
    object->SetBytes(nodes, payload);
    ASSERT_EQ(OleSetClipboard(object.Get()), S_OK);
  }
  EXPECT_FALSE(gone);  // the clipboard holds it

  // Others read it through the plain clipboard, rendered on demand.
  EXPECT_TRUE(Clipboard()->HasFormat(nodes));
  EXPECT_EQ(Clipboard()->GetData(nodes), payload);
  EXPECT_EQ(Clipboard()->AsText(), "two nodes");

  TComPtr<IDataObject> got;
  ASSERT_EQ(OleGetClipboard(got.Receive()), S_OK);
  AnsiString bytes;
  EXPECT_EQ(GetDataBytes(got.Get(), nodes, bytes), S_OK);
  EXPECT_EQ(bytes, payload);
  got.Reset();

  EXPECT_EQ(OleFlushClipboard(), S_OK);
  EXPECT_TRUE(gone);
  ASSERT_EQ(OleGetClipboard(got.Receive()), S_OK);
  EXPECT_EQ(GetDataBytes(got.Get(), nodes, bytes), S_OK);
  EXPECT_EQ(bytes, payload);
  EXPECT_EQ(GetDataBytes(got.Get(), CLIPFORMAT(CF_UNICODETEXT), bytes), S_OK);
  EXPECT_EQ(TextFromUnicodeBytes(bytes), "two nodes");

  // Text set by anyone else replaces it; emptying leaves others' content.
  Clipboard()->SetAsText("plain");
  ASSERT_EQ(OleGetClipboard(got.Receive()), S_OK);
  FORMATETC asked = MakeFormatEtc(nodes);
  EXPECT_EQ(got->QueryGetData(&asked), DV_E_FORMATETC);
  EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
  EXPECT_EQ(Clipboard()->AsText(), "plain");
  OleUninitialize();
}
