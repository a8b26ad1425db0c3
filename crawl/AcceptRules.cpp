#include "crawl/AcceptRules.h"

#include <algorithm>
#include <cmath>

namespace {

// An entry's text and whether it accepts; false for an empty entry.
bool ReadEntry(const AnsiString& Entry, AnsiString& Text, bool& Accepting) {
  Accepting = StartsStr("+", Entry);
  Text = Accepting ? Entry.substr(1) : Entry;
  return !Entry.empty();
}

bool Occurs(const AnsiString& Text, const AnsiString& In) { return !Text.empty() && In.find(Text) != AnsiString::npos; }

bool PassesMasks(const TStringList& Include, const TStringList& Exclude, const AnsiString& Text) {
  return (Include.Count() == 0 || MatchMaskList(Include, Text)) &&
         (Exclude.Count() == 0 || MatchPlusMasks(Exclude, Text));
}

const TSizerObj* SizerAt(const TStringList& List, int Index) {
  return Index < 0 ? nullptr : dynamic_cast<const TSizerObj*>(List.Objects(Index));
}

const TSizerObj* SizerOf(const TStringList& List, const AnsiString& Ext) { return SizerAt(List, List.IndexOf(Ext)); }

// The load rule of the entry at Index (>= 0): one without a size rule loads.
bool LoadsAt(const TStringList& List, int Index) {
  const TSizerObj* sizer = SizerAt(List, Index);
  return sizer == nullptr || sizer->Load;
}

int64_t WholeSeconds(TDateTime Time) { return static_cast<int64_t>(std::llround(Time * 86400.0)); }

} // namespace

bool MatchMaskList(const TStrings& List, const AnsiString& Text) {
  for (int i = 0; i < List.Count(); ++i) {
    AnsiString entry;
    bool accepting = false;
    if (ReadEntry(List.Strings(i), entry, accepting) && Occurs(entry, Text)) return accepting;
  }
  return true;
}

bool MatchPlusMasks(const TStrings& List, const AnsiString& Text) {
  for (int i = 0; i < List.Count(); ++i) {
    AnsiString entry;
    bool accepting = false;
    if (ReadEntry(List.Strings(i), entry, accepting) && accepting && Occurs(entry, Text)) return false;
  }
  return true;
}

bool FileTypeAllowed(const TStringList& List, const AnsiString& Ext) {
  const int index = List.IndexOf(Ext);
  return index < 0 || LoadsAt(List, index);
}

AnsiString GetLocation(const TStrings& Lines) {
  for (int i = 0; i < Lines.Count(); ++i) {
    const AnsiString& line = Lines.Strings(i);
    if (SameText(Copy(line, 1, 9), "Location:")) return Trim(line.substr(9));
  }
  return "";
}

bool AcceptByFilters(const TParamProObj& Params, const TAcceptSubject& Subject) {
  bool ok = PassesMasks(Params.IncludeMasks[0], Params.ExcludeMasks[0], Subject.Host);
  if (ok && !Subject.Path.empty() && Subject.Path != "/")
    ok = PassesMasks(Params.IncludeMasks[1], Params.ExcludeMasks[1], Subject.Path);
  if (ok && !Subject.Name.empty()) ok = PassesMasks(Params.IncludeMasks[2], Params.ExcludeMasks[2], Subject.Name);
  if (ok && !Subject.Ext.empty()) {
    for (const TStringList& list : Params.FileTypes) {
      if (const int index = list.IndexOf(Subject.Ext); index >= 0) return LoadsAt(list, index);
    }
  }
  return ok;
}

bool SizeRulesAllow(const TParamProObj& Params, const AnsiString& Ext, int64_t Length) {
  for (const TStringList& list : Params.FileTypes) {
    const TSizerObj* sizer = SizerOf(list, Ext);
    if (sizer == nullptr || !sizer->CheckSize) continue;
    if (sizer->MinSize != 0 && int64_t(sizer->MinSize) * 1024 > Length) return false;
    if (sizer->MaxSize != 0 && int64_t(sizer->MaxSize) * 1024 < Length) return false;
  }
  return true;
}

int64_t MaxBodySize(const TParamProObj& Params, const AnsiString& Ext) {
  int64_t limit = MaxDocumentSize;
  for (const TStringList& list : Params.FileTypes) {
    const TSizerObj* sizer = SizerOf(list, Ext);
    if (sizer != nullptr && sizer->CheckSize && sizer->MaxSize > 0)
      limit = std::min(limit, int64_t(sizer->MaxSize) * 1024);
  }
  return limit;
}

int64_t PageLimitFor(const TParamProObj& Params, const AnsiString& Ext) {
  return std::min(PageLimit, MaxBodySize(Params, Ext));
}

bool ServerCopyIsNewer(TDateTime ServerDate, TDateTime LocalTime) {
  return WholeSeconds(ServerDate) > WholeSeconds(LocalTime);
}
