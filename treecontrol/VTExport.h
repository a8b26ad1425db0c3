// Content export of a string tree: a chosen set of nodes as separated text
// (8-bit or UTF-16), an HTML table, an RTF table, and the clipboard blocks
// built from them. Visible columns appear in display order, the hierarchy as
// indentation; HTML and RTF carry the fonts, colours and alignment the cells
// are painted with (OnPaintText may change the font per cell).
//
// Contract
// - Lines end with CR LF. 8-bit text is UTF-8 (this platform's code page).
// - ContentToClipboard answers a new global block (the caller owns it) for
//   CF_TEXT, CF_UNICODETEXT, "CSV", "Rich Text Format", "Rich Text Format
//   Without Objects" and "HTML Format" (CF_HTML framed), each ended by a zero
//   character; nullptr for any other format.
#pragma once

#include "platform/ole/GlobalMemory.h"
#include "treecontrol/VirtualStringTree.h"

enum TVSTTextSourceType { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible };

AnsiString ContentToText(TCustomVirtualStringTree& tree, TVSTTextSourceType source, char separator);
WideString ContentToUnicode(TCustomVirtualStringTree& tree, TVSTTextSourceType source, char16_t separator);
AnsiString ContentToHTML(TCustomVirtualStringTree& tree, TVSTTextSourceType source, const WideString& caption = {});
AnsiString ContentToRTF(TCustomVirtualStringTree& tree, TVSTTextSourceType source);
HGLOBAL ContentToClipboard(TCustomVirtualStringTree& tree, unsigned format, TVSTTextSourceType source);

// The CF_HTML frame around an HTML fragment (header with byte offsets,
// document start, fragment, document end).
AnsiString WrapClipboardHTML(const AnsiString& fragment);
// UTF-16 to UTF-8; a high surrogate without its low surrogate is dropped.
AnsiString WideToUTF8Export(const WideString& text);
// The separator of CSV text.
char ListSeparator();
