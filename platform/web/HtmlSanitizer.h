// Makes a page fit for the rich-text browser: what a page contains can cost
// time and memory there but must never harm the program.
//
// Contract of SanitizeHtml
// - The input is cut at 4 MiB.
// - Scripts and embedded objects (script, iframe, frameset, frame, object,
//   embed, applet, template) go with their content; comments and
//   declarations go; event attributes (on...) go.
// - Elements nest at most 48 deep and tables at most 4 deep; deeper opening
//   tags are left out (their text stays), as are closing tags that close
//   nothing.
// - An attribute value longer than 2 KiB (8 KiB for href and src) is left
//   out, and so are attributes beyond the 64th of a tag.
// - Sizes are bounded: width and height at 4000, spacing, padding, borders
//   and spans at 100, and every number in style attributes and style sheets
//   at 4000 (hexadecimal colours untouched).
// - Text passes unchanged; a stray "<" becomes "&lt;".
#pragma once

#include "platform/rtl/SysUtils.h"

AnsiString SanitizeHtml(const AnsiString& html);
// A style sheet with its numbers bounded as above.
AnsiString TameStyleSheet(const AnsiString& css);
