// Content export of a small string tree as separated text, UTF-16 text, CSV,
// HTML and RTF, and the clipboard blocks made from them.
#include "TreeFixture.h"
#include "platform/controls/Clipbrd.h"
#include "treecontrol/VTExport.h"

namespace {

struct ExportFixture : TreeFixture {
  // texts[node label][column]
  std::map<std::u16string, std::vector<std::u16string>> cells;

  void SetUp() override {
    TreeFixture::SetUp();
    tree->SetBorderStyle(bsNone);
    tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                             WideString& text) {
      const std::u16string key = tree->GetNodeLevel(node) == 0 ? names[node->Index] : u"child";
      text = cells[key][size_t(std::max(column, 0))];
    };
  }
  // One top-level node "a" with one child.
  void Build(std::u16string top, std::u16string child) {
    names = {u"top"};
    cells[u"top"] = {top, u"say \"hi\""};
    cells[u"child"] = {child, u"1"};
    tree->SetRootNodeCount(1);
    tree->SetChildCount(tree->GetFirst(), 1);
  }
  void AddColumns() {
    for (const char16_t* caption : {u"Name", u"Size"}) {
      TVirtualTreeColumn* column = tree->Header().Columns().Add();
      column->SetText(caption);
      column->SetWidth(96);
    }
  }
  static AnsiString BlockText(HGLOBAL block) {
    AnsiString bytes = GlobalBytes(block);
    GlobalFree(block);
    return bytes;
  }
};

}  // namespace

TEST_F(ExportFixture, TreeWithoutColumnsIndentsByOneSeparatorPerLevel) {
  Build(u"x", u"y");
  EXPECT_EQ(ContentToText(*tree, tstAll, '\t'), "x\r\n\ty\r\n");
  EXPECT_EQ(ContentToUnicode(*tree, tstAll, u';'), u"x\r\n;y\r\n");
  EXPECT_EQ(ContentToHTML(*tree, tstAll),
            "<style type=\"text/css\">\r\n"
            ".default{font: 8pt \"DejaVu Sans\";color:#000000;}\r\n"
            ".header{font: 8pt \"DejaVu Sans\";color:#000000;}\r\n"
            ".noborder{border-style:none;padding-left:4px;padding-right:4px;}\r\n"
            ".normalborder {border-top:none; border-left:none; border-right:none;border-bottom:none;"
            "padding-left:4px;padding-right:4px;}</style>\r\n"
            "<table class=\"default\" bgcolor=#FFFFFF  cellspacing=\"0\" cellpadding=4>\r\n"
            " <tr class=\"default\">\r\n"
            " <td class=\"normalborder\"  height=\"18px\" align=left colspan=\"2\">x</td> </tr>\r\n"
            " <tr class=\"default\">\r\n"
            " <td height=\"18px\">&nbsp;</td> <td class=\"normalborder\"  height=\"18px\" align=left>y</td> </tr>\r\n"
            "</table>");
  EXPECT_EQ(ContentToRTF(*tree, tstAll),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 DejaVu Sans;}}"
            "{\\colortbl;\\red0\\green0\\blue0;}"
            "\\uc1\\trowd\\trgaph70\\cellx4500"
            "\\pard\\intbl\\f0\\cf1\\fs16 \\u120\\'3f\\cell\\row"
            "\\pard\\intbl\\tab  \\u121\\'3f\\cell\\row\\pard\\par}");
  // Only the selected node.
  tree->SetSelected(tree->GetFirst()->FirstChild, true);
  EXPECT_EQ(ContentToText(*tree, tstSelected, '\t'), "\ty\r\n");
}

TEST_F(ExportFixture, ColumnsQuoteSeparatorsDifferentlyInBothTextPaths) {
  AddColumns();
  Build(u"a,b", u"c");
  EXPECT_EQ(ContentToText(*tree, tstAll, ','), "Name,,Size\r\n\"a,b\",,\"say \"\"hi\"\"\"\r\n,c,1\r\n");
  EXPECT_EQ(ContentToUnicode(*tree, tstAll, u','), u"Name,,Size\r\n\"a,b\",,say \"hi\"\r\n,c,1\r\n");

  const AnsiString html = ContentToHTML(*tree, tstAll, u"Caption");
  EXPECT_NE(html.find("bgcolor=#FFFFFF caption=\"Caption\" cellspacing"), AnsiString::npos);
  // The header row always takes the button face, whatever the columns' colours.
  tree->Header().Columns()[1]->SetColor(clRed);
  const TColor face = ColorToRGB(clBtnFace);
  const AnsiString faceValue =
      "#" + IntToHex(GetRValue(face), 2) + IntToHex(GetGValue(face), 2) + IntToHex(GetBValue(face), 2);
  EXPECT_NE(ContentToHTML(*tree, tstAll).find("<th height=\"" + IntToStr(tree->Header().Height()) +
                                              "px\" align=left bgcolor=" + faceValue + " width=\"96px\">Size</th>"),
            AnsiString::npos);
  EXPECT_NE(ContentToHTML(*tree, tstAll).find("align=left bgcolor=#FF0000>1</td>"), AnsiString::npos);
  EXPECT_NE(ContentToRTF(*tree, tstAll).find("\\cellx1440\\cellx2880\\pard\\intbl\\f0\\cf1\\fs16 \\u78\\'3f"),
            AnsiString::npos);
}

// Node texts are data: markup is escaped, a line break or a quote cannot leave its cell.
TEST_F(ExportFixture, HostileTextsStayInTheirCells) {
  AddColumns();
  Build(u"<script>x</script>&", u"l1\r\nl2");
  cells[u"top"][1] = u"a,\"b\"";
  const char* csv = "Name,,Size\r\n<script>x</script>&,,\"a,\"\"b\"\"\"\r\n,\"l1\r\nl2\",1\r\n";
  EXPECT_EQ(ContentToText(*tree, tstAll, ','), csv);
  EXPECT_EQ(ContentToUnicode(*tree, tstAll, u','), Utf8ToWide(csv));
  for (const AnsiString& html : {ContentToHTML(*tree, tstAll, u"\"><b>"),
                                 BlockText(ContentToClipboard(*tree, RegisterClipboardFormat("HTML Format"), tstAll))}) {
    EXPECT_NE(html.find(">&lt;script&gt;x&lt;/script&gt;&amp;</td>"), AnsiString::npos);
    EXPECT_EQ(html.find("<script>"), AnsiString::npos);
    EXPECT_EQ(html.find("<b>"), AnsiString::npos);
  }
  // Captions are cells of the header line.
  tree->Header().Columns()[0]->SetText(u"Name\r\nfirst");
  tree->Header().Columns()[1]->SetText(u"Size, \"bytes\"");
  const AnsiString captions = "\"Name\r\nfirst\",,\"Size, \"\"bytes\"\"\"\r\n";
  EXPECT_EQ(ContentToText(*tree, tstAll, ',').substr(0, captions.size()), captions);
  EXPECT_EQ(ContentToUnicode(*tree, tstAll, u',').substr(0, captions.size()), Utf8ToWide(captions));
  // A font name cannot end its style rule, its attribute or the style sheet.
  tree->Font().SetName("Evil\"</style><script>x</script>");
  tree->OnPaintText = [](TBaseVirtualTree*, TCanvas* canvas, PVirtualNode, TColumnIndex, TVSTTextType) {
    canvas->Font().SetStyle(fsBold);
  };
  const AnsiString html = ContentToHTML(*tree, tstAll);
  EXPECT_EQ(html.find("<script>"), AnsiString::npos);
  EXPECT_EQ(html.find("</style><"), AnsiString::npos);
  EXPECT_NE(html.find(".default{font: 8pt \"Evil\\22 \\3C /style\\3E \\3C script\\3E x"), AnsiString::npos);
  EXPECT_NE(html.find("style=\"{font: bold 8pt \"Evil\\22 \\3C /style"), AnsiString::npos);
  tree->OnPaintText = nullptr;
  // Nor can it end its entry of the RTF font table, the table or the document:
  // every brace outside the name's escapes closes a group it opened.
  tree->Font().SetName("Bad;}}{\\rtf1 \x01x\xC3\xA9");
  const AnsiString rtf = ContentToRTF(*tree, tstAll);
  EXPECT_NE(rtf.find(" Bad\\'3b\\}\\}\\{\\\\rtf1 \\'01x\\'c3\\'a9;}"), AnsiString::npos) << rtf;
  int depth = 0;
  size_t closedAt = AnsiString::npos;
  for (size_t i = 0; i < rtf.size() && closedAt == AnsiString::npos; ++i) {
    if (rtf[i] == '\\') ++i;  // an escaped character or a control word's first letter
    else if (rtf[i] == '{') ++depth;
    else if (rtf[i] == '}' && --depth == 0) closedAt = i;
  }
  EXPECT_EQ(closedAt, rtf.size() - 1) << "the document ends at its last brace";
  EXPECT_NE(rtf.find("\\u60\\'3f\\u115\\'3f"), AnsiString::npos) << "the cells follow the table";
  tree->Header().Columns().Clear();
  EXPECT_EQ(ContentToText(*tree, tstAll, ','), "<script>x</script>&\r\n,\"l1\r\nl2\"\r\n");
}

TEST_F(ExportFixture, NonBmpCharactersAndPaintedFontsSurvive) {
  Build(u"\U0001F600", u"y");
  tree->OnPaintText = [](TBaseVirtualTree*, TCanvas* canvas, PVirtualNode node, TColumnIndex, TVSTTextType) {
    if (node->Index == 0 && node->Parent->Parent == nullptr) return;
    if (node->ChildCount == 0) canvas->Font().SetStyle(fsBold);
  };
  const AnsiString html = ContentToHTML(*tree, tstAll);
  EXPECT_NE(html.find(">\xF0\x9F\x98\x80</td>"), AnsiString::npos);
  EXPECT_NE(html.find(" <td class=\"normalborder\"  style=\"{font: bold 8pt \"DejaVu Sans\";color:#000000;}\" "
                      "height=\"18px\" align=left>y</td>"),
            AnsiString::npos);
  const AnsiString rtf = ContentToRTF(*tree, tstAll);
  EXPECT_NE(rtf.find(" \\u-10179\\'3f\\u-8704\\'3f\\cell"), AnsiString::npos);
  EXPECT_NE(rtf.find("\\tab \\b \\u121\\'3f\\b0\\cell"), AnsiString::npos);
  EXPECT_EQ(WideToUTF8Export(u"a\xD800" u"b"), "ab");  // a lone high surrogate is dropped

  // A tree class that paints its texts in italics exports them so.
  struct ItalicTree : TTestTree {
    using TTestTree::TTestTree;
    void DoPaintText(PVirtualNode, TCanvas* canvas, TColumnIndex, TVSTTextType) override {
      canvas->Font().SetStyle(fsItalic);
    }
  };
  auto* italic = new ItalicTree(form);
  italic->SetParent(form);
  italic->SetRootNodeCount(1);
  EXPECT_NE(ContentToHTML(*italic, tstAll).find("{font: italic"), AnsiString::npos);
}

TEST_F(ExportFixture, ClipboardBlocksCarryTerminatorsAndTheHtmlFrame) {
  Build(u"x", u"y");
  EXPECT_EQ(BlockText(ContentToClipboard(*tree, CF_TEXT, tstAll)), AnsiString("x\r\n\ty\r\n\0", 8));
  EXPECT_EQ(BlockText(ContentToClipboard(*tree, CF_UNICODETEXT, tstAll)).size(), 2u * 8);
  EXPECT_EQ(BlockText(ContentToClipboard(*tree, RegisterClipboardFormat("CSV"), tstAll)),
            AnsiString("x\r\n,y\r\n\0", 8));
  EXPECT_EQ(ContentToClipboard(*tree, CF_BITMAP, tstAll), nullptr);

  const AnsiString table = ContentToHTML(*tree, tstAll);
  AnsiString framed = BlockText(ContentToClipboard(*tree, RegisterClipboardFormat("HTML Format"), tstAll));
  ASSERT_EQ(framed.back(), '\0');
  framed.pop_back();
  EXPECT_EQ(framed.substr(0, 97), "Version:1.0\r\nStartHTML:00000097\r\nEndHTML:" + Format("%.8d", int(table.size()) + 301) +
                                      "\r\nStartFragment:00000269\r\nEndFragment:" +
                                      Format("%.8d", int(table.size()) + 269) + "\r\n");
  EXPECT_EQ(framed.size(), table.size() + 301);
  EXPECT_EQ(framed.substr(269, table.size()), table);
}
