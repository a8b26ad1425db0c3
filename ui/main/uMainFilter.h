// The main window's link filter: which links of a run may be downloaded.
// Asked when a worker reports a found link (Strict), when a resume re-queues
// a node of the tree (not Strict) and when the dispatcher picks a node
// (Strict). Tests, in order: the domain modes (hosts and start directories
// the run marked, mark set 0 for a fresh run and 1 for a resume), then for
// links of level 1 and more the URL mask lists (host, directory, file name)
// and the file-type list. Pure functions of the settings and the tree.
#pragma once

#include <string_view>

#include "platform/rtl/SysUtils.h"
#include "project/Settings.h"

class TListObj;

// The parts of a URL the mask lists test, as views of the URL (they live as
// long as its text). Ext is the text after the last "." of the last path
// segment (query cut off); Directory and FileName split at the last "/" only
// for a known file type, otherwise Directory is the whole path and FileName
// "index.htm".
struct TLinkParts {
  std::string_view Host;
  std::string_view Directory;
  std::string_view FileName;
  std::string_view Ext;
};

TLinkParts SplitLinkForFilter(const TParamProObj& Params, std::string_view Url);
// Ext (lower-cased) occurs in the text of one of the first six file-type lists.
bool IsKnownFileType(const TParamProObj& Params, std::string_view Ext);
// Include rule: lower-cases Text; true when the list has no enabled entry or
// an enabled entry occurs in it.
bool PassesIncludeMasks(const TStrings& List, std::string_view Text);
// Exclude rule: false when an enabled entry occurs in Text as written.
bool PassesExcludeMasks(const TStrings& List, std::string_view Text);
// False only when the first file-type list that holds Ext has its Load off.
bool FileTypeLoads(const TParamProObj& Params, std::string_view Ext);

bool AcceptLinkBy(const TParamProObj& Params, const TListObj& Store, const AnsiString& Url, bool Resume,
                  int Level, bool Strict);
