#include "treecontrol/VTExport.h"

#include <cmath>
#include <cstring>

#include "platform/controls/Clipbrd.h"
#include "treecontrol/VTBufferedString.h"

// Sets the canvas font to the tree's and lets the tree's paint-text step
// (and so the application) change it for the cell.
class TVTExportFont {
 public:
  static void Prepare(TCustomVirtualStringTree& tree, PVirtualNode node, TColumnIndex column) {
    TCanvas* canvas = tree.Canvas();
    canvas->Font().Assign(tree.Font());
    tree.DoPaintText(node, canvas, column, ttNormal);
  }
};

namespace {

const AnsiString CRLF = "\r\n";

// The nodes of a source in tree order.
class TSourceWalk {
 public:
  TSourceWalk(TBaseVirtualTree& tree, TVSTTextSourceType source) : tree_(tree), source_(source) {}
  PVirtualNode First() {
    switch (source_) {
      case tstInitialized: return tree_.GetFirstInitialized();
      case tstSelected: return tree_.GetFirstSelected();
      case tstCutCopySet: return tree_.GetFirstCutCopy();
      case tstVisible: return tree_.GetFirstVisible();
      default: return tree_.GetFirst();
    }
  }
  PVirtualNode Next(PVirtualNode node) {
    switch (source_) {
      case tstInitialized: return tree_.GetNextInitialized(node);
      case tstSelected: return tree_.GetNextSelected(node);
      case tstCutCopySet: return tree_.GetNextCutCopy(node);
      case tstVisible: return tree_.GetNextVisible(node);
      default: return tree_.GetNext(node);
    }
  }

 private:
  TBaseVirtualTree& tree_;
  TVSTTextSourceType source_;
};

int MaxLevelOf(TBaseVirtualTree& tree, TVSTTextSourceType source) {
  TSourceWalk walk(tree, source);
  int maxLevel = 0;
  for (PVirtualNode node = walk.First(); node; node = walk.Next(node))
    maxLevel = std::max(maxLevel, tree.GetNodeLevel(node));
  return maxLevel;
}

// The exported columns: the visible ones in display order, or -1 without columns.
std::vector<TColumnIndex> ExportColumns(TBaseVirtualTree& tree) {
  if (!tree.Header().UseColumns()) return {NoColumn};
  return tree.Header().Columns().GetVisibleColumns();
}

bool IsMain(TBaseVirtualTree& tree, TColumnIndex column) {
  return column == NoColumn || column == tree.Header().MainColumn();
}

void ColumnLayout(TBaseVirtualTree& tree, TColumnIndex column, TAlignment& alignment, TBiDiMode& bidi) {
  if (column == NoColumn) {
    alignment = tree.Alignment();
    bidi = tree.BiDiMode();
  } else {
    TVirtualTreeColumn* c = tree.Header().Columns()[column];
    alignment = c->Alignment();
    bidi = c->BiDiMode();
  }
  alignment = MirroredAlignment(alignment, bidi);
}

template <class String>
bool Contains(const String& s, typename String::value_type c) {
  return s.find(c) != String::npos;
}

// ---- Separated text ------------------------------------------------------------

template <class String>
bool HasLineBreak(const String& s) {
  return Contains(s, typename String::value_type(13)) || Contains(s, typename String::value_type(10));
}

// Between double quotes, each double quote inside doubled.
template <class String>
String Quoted(const String& text) {
  using Char = typename String::value_type;
  String out(1, Char('"'));
  for (Char c : text) {
    out += c;
    if (c == Char('"')) out += c;
  }
  return out + Char('"');
}

// A cell is quoted when columnQuote asks for it (column cells only) or when it
// holds a line break, which would otherwise split its row.
template <class String, class Buffer, class Convert, class ColumnQuote>
String DelimitedText(TCustomVirtualStringTree& tree, TVSTTextSourceType source, typename String::value_type separator,
                     Convert convert, ColumnQuote columnQuote) {
  const auto cell = [](const String& text, bool quote) { return quote || HasLineBreak(text) ? Quoted(text) : text; };
  Buffer buffer;
  const int maxLevel = MaxLevelOf(tree, source);
  const String levelString(size_t(maxLevel), separator);
  const std::vector<TColumnIndex> columns = ExportColumns(tree);
  const bool useColumns = tree.Header().UseColumns();
  const String separatorText(1, separator);
  if (useColumns) {
    // Captions are quoted as cells are, so that none splits the header line.
    for (size_t i = 0; i < columns.size(); ++i) {
      const String caption = convert(tree.Header().Columns()[columns[i]]->Text());
      buffer.Add(cell(caption, columnQuote(caption)));
      if (i + 1 < columns.size()) {
        if (IsMain(tree, columns[i])) buffer.Add(levelString);
        buffer.Add(separatorText);
      }
    }
    buffer.AddNewLine();
  }
  TSourceWalk walk(tree, source);
  for (PVirtualNode node = walk.First(); node; node = walk.Next(node)) {
    const size_t level = size_t(tree.GetNodeLevel(node));
    if (!useColumns) {
      buffer.Add(levelString.substr(0, level));
      buffer.Add(cell(convert(tree.Text(node, NoColumn)), false));
      buffer.AddNewLine();
      continue;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      const bool main = IsMain(tree, columns[i]);
      if (main) buffer.Add(levelString.substr(0, level));
      const String text = convert(tree.Text(node, columns[i]));
      buffer.Add(cell(text, columnQuote(text)));
      if (main) buffer.Add(levelString.substr(0, size_t(maxLevel) - level));
      if (i + 1 < columns.size()) buffer.Add(separatorText);
    }
    buffer.AddNewLine();
  }
  return buffer.TakeString();
}

// ---- HTML ----------------------------------------------------------------------

AnsiString ColorValue(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return "#" + IntToHex(GetRValue(rgb), 2) + IntToHex(GetGValue(rgb), 2) + IntToHex(GetBValue(rgb), 2);
}

// A font name in a style rule: characters that could end the name, the
// rule, its attribute or the style sheet are written as CSS escapes.
AnsiString CssFontName(const AnsiString& name) {
  AnsiString out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr("\"'\\<>&;{}", c))
      out += "\\" + IntToHex(byte, 2) + " ";
    else
      out += c;
  }
  return out;
}

// A font name in the RTF font table: braces and backslashes are escaped and
// the ";" that ends an entry, control characters and bytes above ASCII are
// written as hexadecimal escapes, so no name can end its entry, the table or
// the document.
AnsiString RtfFontName(const AnsiString& name) {
  AnsiString out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '{' || c == '}')
      out += AnsiString("\\") + c;
    else if (byte < 0x20 || byte >= 0x7F || c == ';')
      out += "\\'" + LowerCase(IntToHex(byte, 2));
    else
      out += c;
  }
  return out;
}

AnsiString StyleRule(const AnsiString& name, const TFont& font) {
  AnsiString rule = name.empty() ? AnsiString(" style=\"{font:") : "." + name + "{font:";
  if (font.Style() & fsUnderline) rule += " underline";
  if (font.Style() & fsItalic) rule += " italic";
  if (font.Style() & fsBold) rule += " bold";
  rule += " " + IntToStr(font.Size()) + "pt \"" + CssFontName(font.Name()) + "\";";
  rule += "color:" + ColorValue(font.Color()) + ";}";
  if (name.empty()) rule += "\"";
  return rule;
}

bool SameFont(const TFont& a, const TFont& b) {
  return a.Name() == b.Name() && a.Size() == b.Size() && a.Color() == b.Color() && a.Style() == b.Style();
}

// Node and caption texts are data, not markup: the characters that open a tag,
// an entity or end an attribute value are written as entities.
AnsiString HtmlText(const WideString& text) {
  const AnsiString utf8 = WideToUTF8Export(text);
  if (utf8.find_first_of("<>&\"") == AnsiString::npos) return utf8;
  AnsiString out;
  out.reserve(utf8.size() + 16);
  for (char c : utf8) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

AnsiString AlignAttribute(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return " align=right";
    case taCenter: return " align=center";
    default: return " align=left";
  }
}

void PrepareCellFont(TCustomVirtualStringTree& tree, PVirtualNode node, TColumnIndex column) {
  TVTExportFont::Prepare(tree, node, column);
}

class THtmlWriter {
 public:
  THtmlWriter(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
      : tree_(tree), source_(source), maxLevel_(MaxLevelOf(tree, source)), columns_(ExportColumns(tree)),
        useColumns_(tree.Header().UseColumns()) {
    cellPadding_ = "padding-left:" + IntToStr(tree.Margin()) + "px;padding-right:" + IntToStr(tree.Margin()) + "px;";
  }

  AnsiString Write(const WideString& caption) {
    WriteStyles();
    AnsiString attributes = " ";
    if (!caption.empty()) attributes += "caption=\"" + HtmlText(caption) + "\"";
    if (tree_.BorderStyle() != bsNone) attributes += " border=\"" + IntToStr(tree_.BorderWidth() + 1) + "\" frame=box";
    Add("<table class=\"default\" bgcolor=" + ColorValue(tree_.Color()) + attributes +
        " cellspacing=\"0\" cellpadding=" + IntToStr(tree_.Margin()) + ">" + CRLF);
    if (useColumns_) WriteCaptionRow();
    TSourceWalk walk(tree_, source_);
    for (PVirtualNode node = walk.First(); node; node = walk.Next(node)) WriteRow(node);
    Add("</table>");
    return buffer_.TakeString();
  }

 private:
  void Add(const AnsiString& s) { buffer_.Add(s); }

  void WriteStyles() {
    const TVTPaintOptions paint = tree_.TreeOptions().PaintOptions();
    Add("<style type=\"text/css\">" + CRLF);
    Add(StyleRule("default", tree_.Font()) + CRLF);
    Add(StyleRule("header", tree_.Header().Font()) + CRLF);
    const AnsiString lineStyle = tree_.LineStyle() == lsSolid ? "solid;" : "dotted;";
    if (paint.Contains(toShowHorzGridLines))
      Add(".noborder{border-style:" + lineStyle + " border-bottom:1;border-left:0;border-right:0; border-top:0;" +
          cellPadding_ + "}");
    else
      Add(".noborder{border-style:none;" + cellPadding_ + "}");
    Add(CRLF);
    Add(".normalborder {border-top:none; border-left:none; ");
    Add(paint.Contains(toShowVertGridLines) ? "border-right:1 " + lineStyle : AnsiString("border-right:none;"));
    Add(paint.Contains(toShowHorzGridLines) ? "border-bottom:1 " + lineStyle : AnsiString("border-bottom:none;"));
    Add(cellPadding_ + "}" + "</style>" + CRLF);
  }

  void WriteCaptionRow() {
    Add("<tr class=\"header\" style=\"" + cellPadding_ + "\">" + CRLF);
    for (TColumnIndex index : columns_) {
      TVirtualTreeColumn* column = tree_.Header().Columns()[index];
      Add("<th height=\"" + IntToStr(tree_.Header().Height()) + "px\"");
      WriteDirection(index);
      if (IsMain(tree_, index) && maxLevel_ > 0) Add(" colspan=\"" + IntToStr(maxLevel_ + 1) + "\"");
      Add(" bgcolor=" + ColorValue(clBtnFace));
      Add(" width=\"" + IntToStr(column->Width()) + "px\">");
      Add(HtmlText(column->Text()));
      Add("</th>");
    }
    Add("</tr>" + CRLF);
  }

  void WriteDirection(TColumnIndex column) {
    TAlignment alignment;
    TBiDiMode bidi;
    ColumnLayout(tree_, column, alignment, bidi);
    if (bidi != bdLeftToRight) Add(" dir=\"rtl\"");
    Add(AlignAttribute(alignment));
  }

  bool OwnColor(TColumnIndex column) {
    return useColumns_ && !tree_.Header().Columns()[column]->Options().Contains(coParentColor);
  }

  void WriteRow(PVirtualNode node) {
    const int level = tree_.GetNodeLevel(node);
    const AnsiString height = IntToStr(tree_.NodeHeightOf(node));
    Add(" <tr class=\"default\">" + CRLF);
    for (TColumnIndex column : columns_) {
      PrepareCellFont(tree_, node, column);
      const bool main = IsMain(tree_, column);
      if (main) WriteIndentCells(column, level, height);
      const TFont& font = tree_.Canvas()->Font();
      if (!SameFont(font, tree_.Font()))
        Add(" <td class=\"normalborder\" " + StyleRule("", font) + " height=\"" + height + "px\"");
      else
        Add(" <td class=\"normalborder\"  height=\"" + height + "px\"");
      WriteDirection(column);
      if (main && maxLevel_ > 0 && level < maxLevel_) Add(" colspan=\"" + IntToStr(maxLevel_ - level + 1) + "\"");
      if (OwnColor(column)) Add(" bgcolor=" + ColorValue(tree_.Header().Columns()[column]->Color()));
      Add(">" + HtmlText(tree_.Text(node, column)) + "</td>");
    }
    Add(" </tr>" + CRLF);
  }

  void WriteIndentCells(TColumnIndex column, int level, const AnsiString& height) {
    for (int i = 0; i < level; ++i) {
      if (OwnColor(column))
        Add("<td class=\"noborder\" width=\"" + IntToStr(tree_.Indent()) + "\" height=\"" + height + "px\"" +
            " bgcolor=" + ColorValue(tree_.Header().Columns()[column]->Color()) + ">&nbsp;</td>");
      else if (i == 0)
        Add(" <td height=\"" + height + "px\">&nbsp;</td>");
      else
        Add(" <td>&nbsp;</td>");
    }
  }

  TCustomVirtualStringTree& tree_;
  TVSTTextSourceType source_;
  int maxLevel_;
  std::vector<TColumnIndex> columns_;
  bool useColumns_;
  AnsiString cellPadding_;
  TBufferedString buffer_;
};

// ---- RTF -------------------------------------------------------------------------

class TRtfWriter {
 public:
  TRtfWriter(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
      : tree_(tree), source_(source), columns_(ExportColumns(tree)), useColumns_(tree.Header().UseColumns()) {}

  AnsiString Write() {
    Add("\\uc1\\trowd\\trgaph70");
    WriteCellEdges();
    if (useColumns_) WriteCaptionRow();
    TSourceWalk walk(tree_, source_);
    for (PVirtualNode node = walk.First(); node; node = walk.Next(node)) WriteRow(node);
    Add("\\pard\\par");
    AnsiString document = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl";
    for (size_t i = 0; i < fonts_.size(); ++i)
      document += "{\\f" + IntToStr(int64_t(i)) + " " + RtfFontName(fonts_[i]) + ";}";
    document += "}{\\colortbl;";
    for (TColor color : colors_)
      document += "\\red" + IntToStr(GetRValue(color)) + "\\green" + IntToStr(GetGValue(color)) + "\\blue" +
                  IntToStr(GetBValue(color)) + ";";
    document += "}";
    body_.AppendTo(document);
    document += "}";
    return document;
  }

 private:
  void Add(const AnsiString& s) { body_.Add(s); }

  static int Twips(int64_t pixels) { return int(std::lround(double(pixels) * 1440.0 / ScreenPixelsPerInch)); }

  void WriteCellEdges() {
    if (!useColumns_) {
      Add("\\cellx" + IntToStr(Twips(tree_.ClientWidth())));
      return;
    }
    int64_t sum = 0;
    for (TColumnIndex column : columns_) {
      sum += tree_.Header().Columns()[column]->Width();
      Add("\\cellx" + IntToStr(Twips(sum)));
    }
  }

  void WriteAlignment(TColumnIndex column) {
    TAlignment alignment;
    TBiDiMode bidi;
    ColumnLayout(tree_, column, alignment, bidi);
    if (alignment == taRightJustify) Add("\\qr");
    else if (alignment == taCenter) Add("\\qc");
  }

  void WriteCaptionRow() {
    Add("\\pard\\intbl");
    for (TColumnIndex column : columns_) {
      WriteAlignment(column);
      TextWithFont(tree_.Header().Columns()[column]->Text(), tree_.Header().Font());
      Add("\\cell");
    }
    Add("\\row");
  }

  void WriteRow(PVirtualNode node) {
    const int level = tree_.GetNodeLevel(node);
    for (TColumnIndex column : columns_) {
      Add("\\pard\\intbl");
      WriteAlignment(column);
      PrepareCellFont(tree_, node, column);
      if (IsMain(tree_, column) && level > 0) {
        for (int i = 0; i < level; ++i) Add("\\tab");
        Add(" ");
      }
      TextWithFont(tree_.Text(node, column), tree_.Canvas()->Font());
      Add("\\cell");
    }
    Add("\\row");
  }

  template <class T>
  static int IndexIn(std::vector<T>& list, const T& value, bool& added) {
    auto it = std::find(list.begin(), list.end(), value);
    added = it == list.end();
    if (added) {
      list.push_back(value);
      return int(list.size() - 1);
    }
    return int(it - list.begin());
  }

  void TextWithFont(const WideString& text, const TFont& font) {
    if (text.empty()) return;
    const TFontStyles style = font.Style();
    if (style & fsUnderline) Add("\\ul");
    if (style & fsItalic) Add("\\i");
    if (style & fsBold) Add("\\b");
    bool added = false;
    const int fontIndex = IndexIn(fonts_, font.Name(), added);
    if (added || fontIndex != currentFont_) Add("\\f" + IntToStr(fontIndex));
    currentFont_ = fontIndex;
    const int colorIndex = IndexIn(colors_, ColorToRGB(font.Color()), added);
    if (added || colorIndex != currentColor_) Add("\\cf" + IntToStr(colorIndex + 1));
    currentColor_ = colorIndex;
    if (font.Size() != currentSize_) Add("\\fs" + IntToStr(2 * font.Size()));
    currentSize_ = font.Size();
    Add(" ");
    for (char16_t unit : text) Add("\\u" + IntToStr(int16_t(unit)) + "\\'3f");
    if (style & fsUnderline) Add("\\ul0");
    if (style & fsItalic) Add("\\i0");
    if (style & fsBold) Add("\\b0");
  }

  TCustomVirtualStringTree& tree_;
  TVSTTextSourceType source_;
  std::vector<TColumnIndex> columns_;
  bool useColumns_;
  std::vector<AnsiString> fonts_;
  std::vector<TColor> colors_;
  int currentFont_ = -1;
  int currentColor_ = -1;
  int currentSize_ = -1;
  TBufferedString body_;
};

HGLOBAL BlockOf(const void* bytes, size_t count) {
  HGLOBAL block = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE | GMEM_ZEROINIT, count);
  if (!block) return nullptr;
  std::memcpy(GlobalLock(block), bytes, count);
  GlobalUnlock(block);
  return block;
}

HGLOBAL AnsiBlock(const AnsiString& text) { return BlockOf(text.c_str(), text.size() + 1); }

}  // namespace

AnsiString WideToUTF8Export(const WideString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) continue;
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[++i]) - 0xDC00);
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

char ListSeparator() { return ','; }

AnsiString ContentToText(TCustomVirtualStringTree& tree, TVSTTextSourceType source, char separator) {
  const auto columnQuote = [separator](const AnsiString& text) {
    return Contains(text, separator) || Contains(text, '"');
  };
  return DelimitedText<AnsiString, TBufferedString>(tree, source, separator, WideToUtf8, columnQuote);
}

// Unlike the 8-bit path, a quote alone does not make a cell quoted.
WideString ContentToUnicode(TCustomVirtualStringTree& tree, TVSTTextSourceType source, char16_t separator) {
  const auto same = [](const WideString& text) { return text; };
  const auto columnQuote = [separator](const WideString& text) { return Contains(text, separator); };
  return DelimitedText<WideString, TWideBufferedString>(tree, source, separator, same, columnQuote);
}

AnsiString ContentToHTML(TCustomVirtualStringTree& tree, TVSTTextSourceType source, const WideString& caption) {
  THtmlWriter writer(tree, source);
  const AnsiString html = writer.Write(caption);
  tree.Canvas()->Font().Assign(tree.Font());
  return html;
}

AnsiString ContentToRTF(TCustomVirtualStringTree& tree, TVSTTextSourceType source) {
  TRtfWriter writer(tree, source);
  const AnsiString rtf = writer.Write();
  tree.Canvas()->Font().Assign(tree.Font());
  return rtf;
}

AnsiString WrapClipboardHTML(const AnsiString& fragment) {
  const int64_t length = int64_t(fragment.size());
  AnsiString result = "Version:1.0\r\n";
  result += Format("%s%.8d\r\n", "StartHTML:", 97);
  result += Format("%s%.8d\r\n", "EndHTML:", length + 301);
  result += Format("%s%.8d\r\n", "StartFragment:", 269);
  result += Format("%s%.8d\r\n", "EndFragment:", length + 269);
  result += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">";
  result += "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head><body>"
            "<!--StartFragment-->";
  result += fragment;
  result += "<!--EndFragment--></body></html>";
  return result;
}

HGLOBAL ContentToClipboard(TCustomVirtualStringTree& tree, unsigned format, TVSTTextSourceType source) {
  if (format == CF_TEXT) return AnsiBlock(ContentToText(tree, source, '\t'));
  if (format == CF_UNICODETEXT) {
    const WideString text = ContentToUnicode(tree, source, u'\t');
    return BlockOf(text.c_str(), 2 * (text.size() + 1));
  }
  if (format == RegisterClipboardFormat("CSV")) return AnsiBlock(ContentToText(tree, source, ListSeparator()));
  if (format == RegisterClipboardFormat("Rich Text Format") ||
      format == RegisterClipboardFormat("Rich Text Format Without Objects"))
    return AnsiBlock(ContentToRTF(tree, source));
  if (format == RegisterClipboardFormat("HTML Format"))
    return AnsiBlock(WrapClipboardHTML(ContentToHTML(tree, source)));
  return nullptr;
}
