// The download worker's acceptance rules, as pure functions over the
// project's settings: its URL mask rules (an include rule and an exclude rule
// of its own), the file-type load and size rules, the "Location:" lookup and
// the update-mode date test. The worker applies them at the end of a
// response header; tests call them directly.
//
// Mask entries: a leading "+" makes an accepting entry (the "+" is not part
// of its text), any other non-empty entry is a refusing one, empty entries
// are skipped; an entry matches when its text occurs in the tested text
// (case-sensitive). Sizes are bytes in 64 bits, rules are KB.
#pragma once

#include <cstdint>

#include "platform/rtl/Classes.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "project/Settings.h"

// Include rule: the first entry that occurs in Text decides (accepting:
// true, refusing: false); true when none occurs.
bool MatchMaskList(const TStrings& List, const AnsiString& Text);
// Exclude rule: false when an accepting entry occurs in Text; refusing
// entries are ignored.
bool MatchPlusMasks(const TStrings& List, const AnsiString& Text);
// False only when List holds Ext (without regard to case) with Load off.
bool FileTypeAllowed(const TStringList& List, const AnsiString& Ext);

// The trimmed value of the first "Location:" line (name without regard to
// case); empty when there is none.
AnsiString GetLocation(const TStrings& Lines);

// The parts of a document the filters test.
struct TAcceptSubject {
  AnsiString Host; // the URL's own host
  AnsiString Path; // request path with its query ("/" for the root)
  AnsiString Name; // base name of the document, without extension
  AnsiString Ext;  // extension without "."
};
// Host, directory, file-name and file-type tests in that order.
bool AcceptByFilters(const TParamProObj& Params, const TAcceptSubject& Subject);

// The size rules of the file-type lists for an extension (lower case, no
// "."): every list that holds it with CheckSize on must accept Length.
bool SizeRulesAllow(const TParamProObj& Params, const AnsiString& Ext, int64_t Length);
// The largest body the size rules allow for Ext, never above 2^31-1.
int64_t MaxBodySize(const TParamProObj& Params, const AnsiString& Ext);
// Largest document the worker keeps.
constexpr int64_t MaxDocumentSize = 0x7FFFFFFF;
// Largest page held in memory to be parsed: PageLimit, or less when a size
// rule for Ext says so.
constexpr int64_t PageLimit = 64 << 20;
int64_t PageLimitFor(const TParamProObj& Params, const AnsiString& Ext);

// Update modes 1 and 2: the server's copy is newer than the local file,
// comparing the two whole times to the second.
bool ServerCopyIsNewer(TDateTime ServerDate, TDateTime LocalTime);
