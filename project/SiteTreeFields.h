// The text of one site-tree file line: the indented name and the eight
// "|"-separated fields, written by the cursor, the writer and read back by the
// reader. Reading never fails: a field that does not parse gives 0.
#pragma once

#include <string_view>

#include "project/SiteTreeNode.h"

// (depth - 1) TABs followed by the node's name.
void AppendNodeLineStart(AnsiString& out, const TDataObj& node);
// The eight fields separated by "|", without a leading "|".
void AppendNodeFields(AnsiString& out, const TDataObj& node);
// Applies the fields after a line's name (the text after its first "|").
// A line with more than eight fields holds a local name with "|" in it.
void ApplyNodeFields(TDataObj& node, std::string_view fields);
