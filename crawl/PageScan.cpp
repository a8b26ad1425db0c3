#include "crawl/PageScan.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <map>
#include <string_view>

#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"

namespace {

enum class TTagExtra { None, Anchor, Base, Meta, Script, Style, Title };

struct TTagRule {
  std::string_view Name;
  const char* LinkAttrs[2];
  const char* ScriptAttr;
  TTagExtra Extra;
};

// Tags whose attributes hold links; every other tag is passed over.
const TTagRule TagTable[] = {
    {"a", {"href", nullptr}, "onmouseover", TTagExtra::Anchor},
    {"area", {"href", nullptr}, "onmouseover", TTagExtra::None},
    {"base", {nullptr, nullptr}, nullptr, TTagExtra::Base},
    {"bgsound", {"src", nullptr}, nullptr, TTagExtra::None},
    {"body", {"background", nullptr}, "onload", TTagExtra::None},
    {"csobj", {"csref", nullptr}, nullptr, TTagExtra::None},
    {"embed", {"src", nullptr}, nullptr, TTagExtra::None},
    {"form", {"action", nullptr}, nullptr, TTagExtra::None},
    {"frame", {"src", nullptr}, "onmouseover", TTagExtra::None},
    {"iframe", {"src", nullptr}, "onmouseover", TTagExtra::None},
    {"img", {"src", "dynsrc"}, "onmouseover", TTagExtra::None},
    {"image", {"src", "dynsrc"}, "onmouseover", TTagExtra::None},
    {"input", {"src", nullptr}, "onfocus", TTagExtra::None},
    {"link", {"href", nullptr}, "onmouseover", TTagExtra::None},
    {"meta", {"url", nullptr}, nullptr, TTagExtra::Meta},
    {"object", {"data", nullptr}, "onmouseover", TTagExtra::None},
    {"script", {"src", nullptr}, nullptr, TTagExtra::Script},
    {"table", {"background", nullptr}, "onmouseover", TTagExtra::Style},
    {"td", {"href", "background"}, "onmouseover", TTagExtra::Style},
    {"title", {nullptr, nullptr}, nullptr, TTagExtra::Title},
};

// For each first byte of a name, the range of TagTable (sorted by name)
// whose names begin with it.
struct TTagIndex {
  uint8_t Begin[256] = {};
  uint8_t End[256] = {};
  TTagIndex() {
    for (size_t i = std::size(TagTable); i-- > 0;) {
      const auto first = static_cast<unsigned char>(TagTable[i].Name[0]);
      Begin[first] = static_cast<uint8_t>(i);
      if (End[first] == 0) End[first] = static_cast<uint8_t>(i + 1);
    }
  }
};

const TTagRule* FindTagRule(std::string_view Name) {
  static const TTagIndex index;
  if (Name.empty()) return nullptr;
  const auto first = static_cast<unsigned char>(Name[0]);
  for (size_t i = index.Begin[first]; i < index.End[first]; ++i)
    if (TagTable[i].Name == Name) return &TagTable[i];
  return nullptr;
}

bool IsBlank(unsigned char c) { return c <= 0x20; }

// Letters, the six characters after "Z", and "-".
bool IsAttrNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z' + 6) || (c >= 'a' && c <= 'z') || c == '-';
}

// Characters that never stand in a link taken from a script string or url().
bool IsForbiddenLinkChar(unsigned char c) {
  switch (c) {
  case '"': case '<': case '>': case '[': case ']': case '(': case ')': case '+': case ';':
    return true;
  default:
    return c <= 0x20;
  }
}

// Characters that never stand in an attribute value taken as a link.
bool IsForbiddenValueChar(unsigned char c) {
  return c < 0x20 || (c != '+' && c > 0x20 && IsForbiddenLinkChar(c));
}

bool HasForbiddenLinkChar(std::string_view S) {
  return std::any_of(S.begin(), S.end(), [](char c) { return IsForbiddenLinkChar(static_cast<unsigned char>(c)); });
}

[[noreturn, gnu::noinline, gnu::cold]] void RaiseIndexError(int Index) {
  throw ERangeError("Character index out of range (" + IntToStr(Index) + ")");
}

// Ends a scan that its caller stopped, from wherever the scan is.
struct TScanStopped : std::exception {};

// The "=" of a tag noted without growing their list.
constexpr size_t TagAttributesRoom = 8;

// Longest text a candidate can have (the width of TLinkCandidate::Length).
constexpr size_t MaxCandidateLength = (size_t{1} << 30) - 1;

// A value as it stands in the page (a view of the page's text).
struct TAttrValue {
  std::string_view Text;
  int Pos = 0;
};

// Where a tag's scan ended: Last is the last character of the tag's text, Next
// where the page scan goes on.
struct TTagSpan {
  AnsiString Name;
  int Last = 0;
  int Next = 0;
};

class TScanner {
public:
  TScanner(const AnsiString& Content, const TScanHooks& Hooks, TPageScan& Out)
      : S_(Content), N_(static_cast<int>(std::min<size_t>(Content.size(), INT_MAX - 1))), Hooks_(Hooks), Out_(Out),
        MaxCandidates_(std::max<size_t>(Content.size() / sizeof(TLinkCandidate), 16)) {
    // Room for the attributes of most tags at once.
    Separators_.reserve(TagAttributesRoom);
    SeparatorNames_.reserve(TagAttributesRoom);
  }

  void ScanHtml();
  void ScanCss();

private:
  // Checked access: an index outside the text raises ERangeError, which ends
  // the tag being handled. Every walk over the text passes here, so this is
  // where a stopped scan ends, also in the middle of one huge tag.
  unsigned char At(int I) const {
    if (static_cast<unsigned>(I) - 1u >= static_cast<unsigned>(N_)) [[unlikely]]
      RaiseIndexError(I);
    if ((I & 0xFFFF) == 0 && Hooks_.IsStopped()) [[unlikely]]
      throw TScanStopped();
    return static_cast<unsigned char>(S_[static_cast<size_t>(I - 1)]);
  }
  std::string_view Text(int From, int To) const;
  bool MatchText(int I, std::string_view Word, int To) const;
  bool HasText(const char* Word, int From, int To) const;
  int FindText(const char* Word, int From) const;
  int FindByte(char C, int From) const;
  int SkipBlanks(int I, int To) const;
  void Add(int Pos, std::string_view Text, bool IsBase = false);
  void AddUrlValue(const TAttrValue& Value);
  void ReportProgress(int Done);

  int HandleTag(int Lt);
  int PlainTagEnd(int Lt) const;
  TTagSpan ScanTag(int Lt);
  int SkipTo(unsigned char Quote, int I) const;
  int SkipToTagMark(int I) const;
  bool FindAttribute(int& P, int End, const char* Name, bool ScriptMode, TAttrValue& Value) const;
  bool NameBeforeIs(int Separator, int From, const char* Name) const;
  std::string_view NameBefore(int Separator, int From) const;
  void IndexSeparators(int Lt, int Last);
  bool FindTagAttribute(int Last, const char* Name, TAttrValue& Value) const;
  bool ReadAttrValue(int Eq, int End, bool ScriptMode, TAttrValue& Value, int& After) const;
  int QuotedValueEnd(int V, int End, unsigned char Quote) const;
  int UnquotedValueEnd(int V, int End, bool ScriptMode) const;
  void AddLinkAttr(int Last, const char* Name);
  void AddScriptAttr(int Last, const char* Name);
  void ReadBase(int Last);
  void ReadStyle(int Last);
  int ParseScript(int BodyStart);
  int FindClosingTag(int From) const;
  void ScanScriptText(int From, int To, bool HrefRule);
  void TakeScriptString(int From, int To, bool HrefRule);
  int TakeWindowOpen(int I, int To);
  int TakeHttpRun(int I, int To);
  int TakeAddItem(int I, int To);
  int ReadQuoted(int I, int To, char Quote, TAttrValue& Value) const;
  int CssBlockEnd(int Open) const;
  void ScanCssUrls(int From, int To);
  int TakeCssUrl(int I, int To);
  int TakeCssImport(int I);

  const AnsiString& S_;
  const int N_;
  const TScanHooks& Hooks_;
  TPageScan& Out_;
  const size_t MaxCandidates_;
  int LastReport_ = 0;
  int TagStart_ = 0;
  std::vector<int> Separators_; // the "=" outside quotes of the tag being handled
  // The attribute names before them, read at the first look-up in the tag.
  mutable std::vector<std::string_view> SeparatorNames_;
  // The last search for each closing text, so that many openings without a
  // closing text do not search the rest of the page again and again.
  struct TFindMemo {
    int From = 0;
    int Found = 0;
  };
  mutable std::map<const char*, TFindMemo> FindMemos_;
};

// The text [From, To] of the page, as Copy(S_, From, To - From + 1) takes it.
std::string_view TScanner::Text(int From, int To) const {
  if (From > To) return {};
  const int index = std::max(From, 1);
  if (static_cast<size_t>(index) > S_.size()) return {};
  return std::string_view(S_).substr(static_cast<size_t>(index) - 1, static_cast<size_t>(To - From + 1));
}

bool TScanner::MatchText(int I, std::string_view Word, int To) const {
  const int last = I + static_cast<int>(Word.size()) - 1;
  if (I < 1 || last > To || last > N_) return false;
  return StartsTextView(std::string_view(S_.data() + I - 1, Word.size()), Word);
}

// Word (lower case) stands within [From, To], without regard to case.
bool TScanner::HasText(const char* Word, int From, int To) const {
  const int length = static_cast<int>(std::strlen(Word));
  const char last = Word[length - 1];
  const bool caseless = FoldAsciiByte(last) == static_cast<unsigned char>(last) && !(last >= 'a' && last <= 'z');
  if (caseless && From >= 1 && To <= N_) {
    // A word that ends in a byte without case can end only where that byte stands.
    for (int end = From + length - 1; end <= To; ++end) {
      const void* found = std::memchr(S_.data() + end - 1, last, static_cast<size_t>(To - end + 1));
      if (!found) return false;
      end = static_cast<int>(static_cast<const char*>(found) - S_.data()) + 1;
      if (MatchText(end - length + 1, Word, To)) return true;
    }
    return false;
  }
  for (int i = From; i <= To; ++i)
    if (FoldAsciiByte(static_cast<char>(At(i))) == static_cast<unsigned char>(Word[0]) && MatchText(i, Word, To))
      return true;
  return false;
}

// 1-based position of Word (lower case) at or after From, without regard to
// case; 0 when absent.
int TScanner::FindText(const char* Word, int From) const {
  TFindMemo& memo = FindMemos_[Word];
  if (memo.From != 0 && memo.From <= From && (memo.Found == 0 || memo.Found >= From)) return memo.Found;
  int found = 0;
  for (int i = FindByte(Word[0], From); i != 0 && found == 0; i = FindByte(Word[0], i + 1))
    if (MatchText(i, Word, N_)) found = i;
  memo = {From, found};
  return found;
}

// 1-based position of the byte C at or after From; 0 when absent.
int TScanner::FindByte(char C, int From) const {
  if (From < 1 || From > N_) return 0;
  const void* found = std::memchr(S_.data() + From - 1, C, static_cast<size_t>(N_ - From + 1));
  return found ? static_cast<int>(static_cast<const char*>(found) - S_.data()) + 1 : 0;
}

int TScanner::SkipBlanks(int I, int To) const {
  while (I <= To && IsBlank(At(I))) ++I;
  return I;
}

void TScanner::Add(int Pos, std::string_view Text, bool IsBase) {
  if (Out_.Candidates.size() >= MaxCandidates_ || Text.size() > MaxCandidateLength) return;
  TLinkCandidate candidate;
  candidate.Pos = Pos;
  candidate.Length = static_cast<uint32_t>(Text.size());
  candidate.IsBase = IsBase;
  Out_.Candidates.push_back(candidate);
}

// Adds a value that IsUrlValue accepts once the blanks around it are
// dropped, as a browser drops them; the position is that of its first
// character, so rewriting replaces the link and leaves the blanks.
void TScanner::AddUrlValue(const TAttrValue& Value) {
  const bool escapedDot = Value.Text.starts_with('%') || Value.Text.starts_with(".%");
  const bool plain = !escapedDot && !HasOuterBlanks(Value.Text) && !HoldsControlBytes(Value.Text);
  // A value taken as it is written (its "&amp;" as "&") is taken as read.
  const bool accepted = plain && IsUrlValue(Value.Text);
  const bool refs = !accepted && Value.Text.find('&') != std::string_view::npos;
  if (accepted || (plain && !refs)) {
    if (accepted) Add(Value.Pos, Value.Text);
    return;
  }
  // The value is judged as a browser reads it (character references
  // decoded, control bytes dropped, "%2e" dot segments read as dots); the
  // candidate covers it as written, so that rewriting replaces all of it.
  const AnsiString written(Value.Text);
  const AnsiString text = Trim(written);
  const int lead = static_cast<int>(written.size() - TrimLeft(written).size());
  AnsiString read = AsBrowserReads(refs ? DecodeCharRefs(text) : text);
  if (read.find('%') != AnsiString::npos) DecodeDotSegments(read);
  if (IsUrlValue(read)) Add(Value.Pos + lead, text);
}

void TScanner::ReportProgress(int Done) {
  if (!Hooks_.Progress || N_ <= 1000 || Done - LastReport_ <= 1000) return;
  LastReport_ = Done;
  Hooks_.Report(Format("%10d <%10d>", Done, N_));
}

// ---------------------------------------------------------------------------
// HTML

void TScanner::ScanHtml() {
  int i = 1;
  while (i <= N_ && !Hooks_.IsStopped()) {
    const int tagStart = FindByte('<', i);
    if (tagStart == 0) break;
    int next = tagStart + 1;
    try {
      next = HandleTag(tagStart);
    } catch (const std::exception&) {
      next = tagStart + 1;
    }
    i = std::max(next, tagStart + 1);
    ReportProgress(std::min(i, N_));
  }
}

// Position of the next Quote at or after I, or beyond the text.
int TScanner::SkipTo(unsigned char Quote, int I) const {
  if (I > N_) return I;
  const int found = FindByte(static_cast<char>(Quote), I);
  return found != 0 ? found : N_ + 1;
}

// Position of the next quote, "<", ">" or "=" at or after I, or beyond the
// text. The bytes are read directly: this runs over every byte of a tag.
int TScanner::SkipToTagMark(int I) const {
  if (I < 1) RaiseIndexError(I);
  const char* p = S_.data() + std::min(I, N_ + 1) - 1;
  const char* const end = S_.data() + N_;
  for (; p < end; ++p)
    switch (*p) {
    case '\'': case '"': case '<': case '>': case '=':
      return static_cast<int>(p - S_.data()) + 1;
    default:
      break;
    }
  return std::max(I, N_ + 1);
}

// Scans a tag from its "<" and notes the "=" outside quotes on the way.
TTagSpan TScanner::ScanTag(int Lt) {
  TTagSpan tag;
  TagStart_ = Lt;
  Separators_.clear();
  SeparatorNames_.clear();
  bool single = false, dbl = false, nameDone = false, isMeta = false;
  int i = Lt + 1;
  for (; i <= N_; ++i) {
    if (nameDone && !isMeta) {
      i = single ? SkipTo('\'', i) : dbl ? SkipTo('"', i) : SkipToTagMark(i);
      if (i > N_) break;
    }
    const unsigned char c = At(i);
    if (isMeta && IsBlank(c)) break;
    if (c == '\'' && !dbl && !isMeta) {
      single = !single;
    } else if (c == '"' && !single && !isMeta) {
      dbl = !dbl;
    } else if (c == '<' && !single && !dbl) {
      break;
    } else if (c == '>' && !single && !dbl) {
      tag.Last = i;
      tag.Next = i + 1;
      return tag;
    } else if (c == '=' && nameDone && !single && !dbl) {
      Separators_.push_back(i);
    } else if (c != '\r' && !nameDone) {
      if (!IsBlank(c)) {
        tag.Name += static_cast<char>(c);
        continue;
      }
      nameDone = true;
      if (tag.Name.starts_with("!--")) {
        tag.Name = "!--";
        break;
      }
      isMeta = SameTextView(tag.Name, "meta");
    }
  }
  tag.Last = i - 1;
  tag.Next = i;
  return tag;
}

int TScanner::HandleTag(int Lt) {
  if (const int next = PlainTagEnd(Lt)) return next;
  TTagSpan tag = ScanTag(Lt);
  if (tag.Name.empty()) return tag.Next;
  for (char& c : tag.Name) c = static_cast<char>(FoldAsciiByte(c));
  const AnsiString& name = tag.Name;
  if (name.starts_with("!--")) {
    const int close = FindText("-->", Lt + 4);
    return close == 0 ? tag.Next : close + 3;
  }
  const TTagRule* rule = FindTagRule(name);
  if (!rule) return tag.Next;
  if (rule->Extra == TTagExtra::Meta) IndexSeparators(Lt, tag.Last);
  for (const char* attr : rule->LinkAttrs)
    if (attr) AddLinkAttr(tag.Last, attr);
  if (rule->ScriptAttr) AddScriptAttr(tag.Last, rule->ScriptAttr);
  switch (rule->Extra) {
  case TTagExtra::Anchor:
    if (HasText("javascript:", Lt, std::min(Lt + 49, tag.Last))) AddScriptAttr(tag.Last, "onmouseclick");
    break;
  case TTagExtra::Base:
    ReadBase(tag.Last);
    break;
  case TTagExtra::Style:
    ReadStyle(tag.Last);
    break;
  case TTagExtra::Script:
    return ParseScript(tag.Next);
  case TTagExtra::Title: {
    const int close = FindText("</title", tag.Next);
    return close == 0 ? tag.Next : close;
  }
  case TTagExtra::Meta:
  case TTagExtra::None:
    break;
  }
  return tag.Next;
}

// Where a tag ends that is written as "<name>" or "</name>" (letters and
// digits only) and whose name no rule takes, as ScanTag and HandleTag would
// find: most tags of a page are such, and need no more; 0 for any other tag.
int TScanner::PlainTagEnd(int Lt) const {
  const char* const text = S_.data();
  const char* const end = text + N_;
  const char* const name = text + Lt; // the byte after "<"
  const char* p = name < end && *name == '/' ? name + 1 : name;
  const char* const letters = p;
  const auto isLetterOrDigit = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
  while (p < end && p - name < 16 && isLetterOrDigit(*p)) ++p;
  if (p == letters || p >= end || *p != '>') return 0;
  char folded[16];
  const auto length = static_cast<size_t>(p - name);
  for (size_t i = 0; i < length; ++i) folded[i] = static_cast<char>(FoldAsciiByte(name[i]));
  if (FindTagRule(std::string_view(folded, length))) return 0;
  return static_cast<int>(p - text) + 2;
}

// Searches [P, End] for the attribute Name: "=" (in ScriptMode also ":" or
// "(") outside quotes, preceded by the name. P is left after the value.
bool TScanner::FindAttribute(int& P, int End, const char* Name, bool ScriptMode, TAttrValue& Value) const {
  char quote = 0;
  for (int i = P; i <= End; ++i) {
    const unsigned char c = At(i);
    if (quote) {
      if (c == static_cast<unsigned char>(quote)) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = static_cast<char>(c);
      continue;
    }
    if (!(c == '=' || (ScriptMode && (c == ':' || c == '(')))) continue;
    if (!NameBeforeIs(i, P, Name)) continue;
    int after = 0;
    if (ReadAttrValue(i, End, ScriptMode, Value, after)) {
      P = after;
      return true;
    }
  }
  return false;
}

// The attribute name just before the separator at Separator (blanks between
// skipped, not reaching before From) is Name, without regard to case.
bool TScanner::NameBeforeIs(int Separator, int From, const char* Name) const {
  return SameTextView(NameBefore(Separator, From), Name);
}

std::string_view TScanner::NameBefore(int Separator, int From) const {
  int nameEnd = Separator - 1;
  while (nameEnd >= From && At(nameEnd) == ' ') --nameEnd;
  int nameStart = nameEnd;
  while (nameStart >= From && IsAttrNameChar(At(nameStart))) --nameStart;
  return std::string_view(S_.data() + nameStart, static_cast<size_t>(nameEnd - nameStart));
}

// Notes the "=" outside quotes of the tag [Lt, Last] (the tag scan of a meta
// tag does not follow quotes), so that looking up each attribute does not scan
// the tag again.
void TScanner::IndexSeparators(int Lt, int Last) {
  TagStart_ = Lt;
  Separators_.clear();
  SeparatorNames_.clear();
  unsigned char quote = 0;
  for (int i = Lt; i <= Last; ++i) {
    const unsigned char c = At(i);
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '=') {
      Separators_.push_back(i);
    }
  }
}

// FindAttribute of the tag being handled, through its indexed separators.
bool TScanner::FindTagAttribute(int Last, const char* Name, TAttrValue& Value) const {
  if (SeparatorNames_.empty())
    for (int separator : Separators_) SeparatorNames_.push_back(NameBefore(separator, TagStart_));
  for (size_t i = 0; i < Separators_.size(); ++i) {
    int after = 0;
    if (SameTextView(SeparatorNames_[i], Name) && ReadAttrValue(Separators_[i], Last, false, Value, after)) return true;
  }
  return false;
}

// Reads the value after the separator at Eq. False when the value is a script
// concatenation (the other quote kind followed by "+").
bool TScanner::ReadAttrValue(int Eq, int End, bool ScriptMode, TAttrValue& Value, int& After) const {
  int v = SkipBlanks(Eq + 1, End);
  unsigned char quote = 0;
  if (v <= End && (At(v) == '"' || At(v) == '\'')) quote = At(v++);
  int e = v;
  if (!quote) {
    e = UnquotedValueEnd(v, End, ScriptMode);
  } else if (End <= N_) {
    e = QuotedValueEnd(v, End, quote);
    if (e == 0) return false;
  }
  for (; quote && e <= End; ++e) {
    // A browser takes a quoted value to its closing quote, line breaks and
    // other control bytes included (and then drops those).
    const unsigned char c = At(e);
    if (c == quote) break;
    const unsigned char other = quote == '"' ? '\'' : '"';
    if (c == other && e + 1 <= End && At(e + 1) == '+') return false;
  }
  Value = {Text(v, e - 1), v};
  After = e;
  return true;
}

// Where an unquoted value from V on ends, as reading it byte by byte through
// At finds: at the first blank or ">" (in ScriptMode also ")") up to End,
// End + 1 when none; past the end of the text it raises as At does.
int TScanner::UnquotedValueEnd(int V, int End, bool ScriptMode) const {
  const char* const base = S_.data() - 1; // base[i] is the character at i
  const int last = std::min(End, N_);
  int e = V;
  for (; e <= last; ++e) {
    const auto c = static_cast<unsigned char>(base[e]);
    if (IsBlank(c) || c == '>' || (ScriptMode && c == ')')) break;
  }
  // The poll that reading the bytes one by one would have met.
  const int read = std::min(e, last);
  if (read >= V && (read >> 16) > ((V - 1) >> 16) && Hooks_.IsStopped()) throw TScanStopped();
  if (e > last && e <= End) RaiseIndexError(e);
  return e;
}

// Where the value quoted by Quote from V on ends, as ReadAttrValue reads it
// byte by byte: at the first Quote (End + 1 when none up to End); 0 when the
// other quote followed by "+" comes before (a script concatenation). End
// lies within the text.
int TScanner::QuotedValueEnd(int V, int End, unsigned char Quote) const {
  const char* const base = S_.data() - 1; // base[i] is the character at i
  const char* const close =
      V <= End ? static_cast<const char*>(std::memchr(base + V, Quote, static_cast<size_t>(End - V + 1))) : nullptr;
  const int e = close ? static_cast<int>(close - base) : End + 1;
  const char other = Quote == '"' ? '\'' : '"';
  for (const char* p = base + V; p < base + e; ++p) {
    p = static_cast<const char*>(std::memchr(p, other, static_cast<size_t>(base + e - p)));
    if (!p) break;
    if (p - base + 1 <= End && p[1] == '+') return 0;
  }
  // The poll that reading the bytes one by one would have met.
  if (((e - (e > End)) >> 16) > ((V - 1) >> 16) && Hooks_.IsStopped()) throw TScanStopped();
  return e;
}

void TScanner::AddLinkAttr(int Last, const char* Name) {
  TAttrValue value;
  if (FindTagAttribute(Last, Name, value)) AddUrlValue(value);
}

void TScanner::AddScriptAttr(int Last, const char* Name) {
  TAttrValue value;
  if (FindTagAttribute(Last, Name, value)) ScanScriptText(value.Pos, Last, false);
}

void TScanner::ReadBase(int Last) {
  TAttrValue href;
  if (FindTagAttribute(Last, "href", href)) {
    // As in a browser, the first base tag with an href decides, even an
    // empty one (which stands for the page itself).
    if (!Out_.BaseTagSeen) Out_.BaseHref = href.Text.empty() ? AnsiString() : BaseDirOf(AsBrowserReads(DecodeCharRefs(href.Text)));
    Out_.BaseTagSeen = true;
    if (!href.Text.empty()) Add(href.Pos, href.Text, true);
  }
  TAttrValue target;
  if (FindTagAttribute(Last, "target", target)) Out_.BaseTarget.assign(target.Text);
}

void TScanner::ReadStyle(int Last) {
  TAttrValue style;
  if (!FindTagAttribute(Last, "style", style) || style.Text.empty()) return;
  const int from = style.Pos, to = style.Pos + static_cast<int>(style.Text.size()) - 1;
  TAttrValue background;
  int q = from;
  int urlFrom = from;
  if (FindAttribute(q, to, "background", true, background)) {
    urlFrom = background.Pos;
  } else {
    q = from;
    if (FindAttribute(q, to, "background-image", true, background)) urlFrom = background.Pos;
  }
  TAttrValue url;
  if (FindAttribute(urlFrom, to, "url", true, url)) AddUrlValue(url);
}

// ---------------------------------------------------------------------------
// Scripts

int TScanner::ParseScript(int BodyStart) {
  const int close = FindClosingTag(BodyStart);
  const int to = close - 1;
  const int first = SkipBlanks(BodyStart, to);
  if (MatchText(first, "<!--", to)) ScanScriptText(first, to, true);
  for (int i = BodyStart; i <= to;) {
    const unsigned char c = static_cast<unsigned char>(std::tolower(At(i)));
    if (c == 'w' && MatchText(i, "window.open", to))
      i = TakeWindowOpen(i + 11, to);
    else if (c == 'h' && i + 6 <= to && S_.compare(static_cast<size_t>(i - 1), 7, "http://") == 0)
      i = TakeHttpRun(i, to);
    else if (c == 'a' && MatchText(i, "additem", to))
      i = TakeAddItem(i + 7, to);
    else
      ++i;
  }
  return close;
}

// Position of the "</script" that ends a script element: outside quotes and
// braces; failing that the first one at all; the end of the page when none.
// The search outside quotes looks no further than twice the distance to the
// first one plus 4 KiB, so that broken scripts cost linear time.
int TScanner::FindClosingTag(int From) const {
  const int plain = FindText("</script", From);
  if (plain == 0) return N_ + 1;
  const int64_t reach = int64_t{plain} + (plain - From) + 4096;
  const int limit = static_cast<int>(std::min<int64_t>(reach, N_));
  unsigned char quote = 0;
  int braces = 0;
  for (int i = From; i <= limit; ++i) {
    const unsigned char c = At(i);
    if (quote) {
      if (c == quote && !(quote == '\'' && i > From && At(i - 1) == '\\')) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '{') {
      ++braces;
    } else if (c == '}') {
      if (braces > 0) --braces;
    } else if (c == '<' && braces == 0 && MatchText(i, "</script", N_)) {
      return i;
    }
  }
  return plain;
}

void TScanner::ScanScriptText(int From, int To, bool HrefRule) {
  unsigned char quote = 0;
  int start = 0;
  for (int i = From; i <= To; ++i) {
    const unsigned char c = At(i);
    if (!quote) {
      if (c == '\'' || c == '"') {
        quote = c;
        start = i + 1;
      }
    } else if (c == quote) {
      TakeScriptString(start, i - 1, HrefRule);
      quote = 0;
    }
  }
}

void TScanner::TakeScriptString(int From, int To, bool HrefRule) {
  const AnsiString raw(Text(From, To));
  const AnsiString text = Trim(raw);
  if (text.empty() || text.find('.') == AnsiString::npos) return;
  bool isLink = StartsStr("../", text) || StartsStr("./", text);
  if (!isLink)
    isLink = !(StartsStr(".", text) || EndsStr(".", text) || StartsStr("\"", text) || EndsStr("\"", text));
  if (isLink && StartsText("document.", text))
    isLink = text.size() <= 12 && !StartsText("document.all", text);
  if (isLink && !HasForbiddenLinkChar(text)) {
    Add(From + static_cast<int>(raw.size() - TrimLeft(raw).size()), text);
    return;
  }
  if (!HrefRule) return;
  int p = From;
  TAttrValue href;
  if (FindAttribute(p, To, "href", true, href)) AddUrlValue(href);
}

// Reads a quoted text starting at I (the opening quote); a quote preceded by
// a backslash does not end it. Returns the position after the closing quote,
// or 0 when it does not close before To.
int TScanner::ReadQuoted(int I, int To, char Quote, TAttrValue& Value) const {
  for (int e = I + 1; e <= To; ++e) {
    if (At(e) == static_cast<unsigned char>(Quote) && At(e - 1) != '\\') {
      Value = {Text(I + 1, e - 1), I + 1};
      return e + 1;
    }
  }
  return 0;
}

int TScanner::TakeWindowOpen(int I, int To) {
  int j = SkipBlanks(I, To);
  if (j > To || At(j) != '(') return I;
  j = SkipBlanks(j + 1, To);
  if (j > To || (At(j) != '\'' && At(j) != '"')) return I;
  TAttrValue arg;
  const int after = ReadQuoted(j, To, static_cast<char>(At(j)), arg);
  if (after == 0) return I;
  AddUrlValue(arg);
  return after;
}

int TScanner::TakeHttpRun(int I, int To) {
  int e = I;
  while (e <= To) {
    const unsigned char c = At(e);
    if (c < 0x20 || c == '"' || c == '\'' || c == '>' || c == ')' || c == '(') break;
    ++e;
  }
  AddUrlValue({Text(I, e - 1), I});
  return e;
}

int TScanner::TakeAddItem(int I, int To) {
  int j = SkipBlanks(I, To);
  if (j > To || At(j) != '(') return I;
  j = SkipBlanks(j + 1, To);
  TAttrValue first, second;
  if (j > To || At(j) != '\'' || (j = ReadQuoted(j, To, '\'', first)) == 0) return I;
  j = SkipBlanks(j, To);
  if (j > To || At(j) != ',') return I;
  j = SkipBlanks(j + 1, To);
  if (j > To || At(j) != '\'' || (j = ReadQuoted(j, To, '\'', second)) == 0) return I;
  AddUrlValue(second);
  return j;
}

// ---------------------------------------------------------------------------
// Style sheets

void TScanner::ScanCss() {
  int depth = 0;
  unsigned char quote = 0;
  for (int i = 1; i <= N_ && !Hooks_.IsStopped();) {
    const unsigned char c = At(i);
    const unsigned char next = i < N_ ? At(i + 1) : 0;
    if (depth > 0 || !quote) {
      if (c == '/' && next == '*') {
        ++depth;
        i += 2;
        continue;
      }
      if (c == '*' && next == '/') {
        if (depth > 0) --depth;
        i += 2;
        continue;
      }
    }
    if (depth > 0) {
      ++i;
    } else if (quote) {
      if (c == quote) quote = 0;
      ++i;
    } else if (c == '@' && MatchText(i, "@import", N_)) {
      i = TakeCssImport(i + 7);
    } else if (c == '\'' || c == '"') {
      quote = c;
      ++i;
    } else if (c == '{') {
      const int end = CssBlockEnd(i);
      try {
        ScanCssUrls(i + 1, std::min(end - 1, N_));
      } catch (const std::exception&) {
      }
      i = end + 1;
      ReportProgress(std::min(i, N_));
    } else {
      ++i;
    }
  }
}

// Position of the "}" that closes the block opened at Open; beyond the end of
// the text when it is not closed.
int TScanner::CssBlockEnd(int Open) const {
  int count = 0;
  bool single = false, dbl = false;
  for (int j = Open; j <= N_; ++j) {
    const unsigned char c = At(j);
    if (c == '\'' && !dbl) {
      single = !single;
    } else if (c == '"' && !single) {
      dbl = !dbl;
    } else if (!single && !dbl) {
      if (c == '{') ++count;
      if (c == '}' && --count == 0) return j;
    }
  }
  return N_ + 1;
}

void TScanner::ScanCssUrls(int From, int To) {
  unsigned char quote = 0;
  for (int i = From; i <= To;) {
    const unsigned char c = At(i);
    if (quote) {
      if (c == quote) quote = 0;
      ++i;
    } else if (c == '\'' || c == '"') {
      quote = c;
      ++i;
    } else if (MatchText(i, "url", To)) {
      i = TakeCssUrl(i + 3, To);
    } else {
      ++i;
    }
  }
}

// A url(...) value from just after "url": blanks, "(", the value (in single
// or double quotes, or bare up to a blank or ")"), blanks and ")". Returns
// where the scan goes on.
int TScanner::TakeCssUrl(int I, int To) {
  int j = SkipBlanks(I, To);
  if (j > To || At(j) != '(') return I;
  j = SkipBlanks(j + 1, To);
  TAttrValue value;
  if (j <= To && (At(j) == '\'' || At(j) == '"')) {
    const int after = ReadQuoted(j, To, static_cast<char>(At(j)), value);
    if (after == 0) return j + 1;
    j = after;
  } else {
    const int start = j;
    while (j <= To && !IsBlank(At(j)) && At(j) != ')' && At(j) != '\'' && At(j) != '"') ++j;
    value = {Text(start, j - 1), start};
  }
  j = SkipBlanks(j, To);
  if (j <= To && At(j) == ')' && !value.Text.empty() && !HasForbiddenLinkChar(value.Text)) Add(value.Pos, value.Text);
  return std::max(j, I);
}

// An @import rule from just after "@import": a quoted style sheet name or a
// url(...) value. Returns where the scan goes on.
int TScanner::TakeCssImport(int I) {
  try {
    const int j = SkipBlanks(I, N_);
    if (j > N_) return j;
    if (MatchText(j, "url", N_)) return TakeCssUrl(j + 3, N_);
    if (At(j) != '\'' && At(j) != '"') return j;
    TAttrValue value;
    const int after = ReadQuoted(j, N_, static_cast<char>(At(j)), value);
    if (after == 0) return j + 1;
    if (!value.Text.empty() && !HasForbiddenLinkChar(value.Text)) Add(value.Pos, value.Text);
    return after;
  } catch (const ERangeError&) {
    return I;
  }
}

} // namespace

TPageScan ScanHtml(const AnsiString& Content, const TScanHooks& Hooks) {
  TPageScan scan;
  try {
    TScanner(Content, Hooks, scan).ScanHtml();
  } catch (const TScanStopped&) {
  }
  return scan;
}

TPageScan ScanCss(const AnsiString& Content, const TScanHooks& Hooks) {
  TPageScan scan;
  try {
    TScanner(Content, Hooks, scan).ScanCss();
  } catch (const TScanStopped&) {
  }
  return scan;
}

bool IsUrlValue(std::string_view V) {
  if (V.empty()) return false;
  if (V[0] == '.' && !(V.size() > 1 && (V[1] == '.' || V[1] == '/'))) return false;
  if (V.front() == '"' || V.back() == '.' || V.back() == '"') return false;
  // IsForbiddenValueChar for every byte, looked up rather than worked out:
  // this runs over every byte of every value. "&" is marked apart, so that a
  // byte costs one look-up.
  enum : uint8_t { Allowed, Forbidden, Ampersand };
  static const struct TKinds {
    uint8_t Byte[256];
    TKinds() : Byte() {
      for (int c = 0; c < 256; ++c) Byte[c] = IsForbiddenValueChar(static_cast<unsigned char>(c)) ? Forbidden : Allowed;
      Byte[static_cast<unsigned char>('&')] = Ampersand;
    }
  } kinds;
  // Mostly every byte is allowed, which is seen without a branch a byte.
  uint8_t seen = Allowed;
  for (const char c : V) seen |= kinds.Byte[static_cast<unsigned char>(c)];
  if (seen == Allowed) return true;
  for (size_t i = 0; i < V.size(); ++i) {
    const uint8_t kind = kinds.Byte[static_cast<unsigned char>(V[i])];
    if (kind == Allowed) continue;
    if (kind == Forbidden) return false;
    if (V.compare(i, 5, "&amp;") == 0) i += 4;
  }
  return true;
}
