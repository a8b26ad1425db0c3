#include "platform/web/HtmlSanitizer.h"

#include <set>
#include <vector>

namespace {

constexpr size_t kMaxBytes = 4u << 20;
constexpr size_t kMaxDepth = 48;
constexpr int kMaxTables = 4;
constexpr size_t kMaxValue = 2048;
constexpr size_t kMaxLinkValue = 8192;
constexpr size_t kMaxAttributes = 64;
constexpr long kMaxSize = 4000;
constexpr long kMaxSpacing = 100;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '-' || c == '_' || c == ':'; }
bool IsWordChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; }

bool In(const AnsiString& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

bool DroppedWithContent(const AnsiString& name) {
  return In(name, {"script", "iframe", "frameset", "object", "embed", "applet", "template", "noembed"});
}
bool IsVoid(const AnsiString& name) {
  return In(name, {"area", "base", "br", "col", "frame", "hr", "img", "input", "link", "meta", "param",
                   "source", "track", "wbr", "basefont", "isindex"});
}
bool IsTablePart(const AnsiString& name) {
  return In(name, {"tr", "td", "th", "tbody", "thead", "tfoot", "caption", "col", "colgroup"});
}
bool IsRawText(const AnsiString& name) { return In(name, {"style", "title", "textarea", "xmp"}); }

// Replaces every number above limit (not part of a word or a hex colour).
AnsiString ClampNumbers(const AnsiString& text, long limit) {
  AnsiString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const bool startsNumber = IsDigit(c) && (i == 0 || !(IsWordChar(text[i - 1]) || text[i - 1] == '#'));
    if (!startsNumber) {
      // Skip a whole word or colour so that its digits stay as they are.
      if (IsWordChar(c) || c == '#') {
        size_t j = i + 1;
        while (j < text.size() && IsWordChar(text[j])) ++j;
        out.append(text, i, j - i);
        i = j;
      } else {
        out.push_back(c);
        ++i;
      }
      continue;
    }
    size_t j = i;
    while (j < text.size() && IsDigit(text[j])) ++j;
    const bool tooBig = j - i > 9 || std::stol(text.substr(i, j - i)) > limit;
    if (tooBig) {
      out += std::to_string(limit);
      while (j < text.size() && (IsDigit(text[j]) || text[j] == '.')) ++j;
    } else {
      out.append(text, i, j - i);
    }
    i = j;
  }
  return out;
}

// The position after the end tag of name (case-insensitive), or the end.
size_t SkipPastEndTag(const AnsiString& s, size_t from, const AnsiString& name, size_t* contentEnd) {
  for (size_t i = s.find("</", from); i != AnsiString::npos; i = s.find("</", i + 2)) {
    if (!SameText(s.substr(i + 2, name.size()), name)) continue;
    const char after = i + 2 + name.size() < s.size() ? s[i + 2 + name.size()] : '>';
    if (IsNameChar(after)) continue;
    if (contentEnd) *contentEnd = i;
    const size_t close = s.find('>', i);
    return close == AnsiString::npos ? s.size() : close + 1;
  }
  if (contentEnd) *contentEnd = s.size();
  return s.size();
}

struct Attribute {
  AnsiString name;
  AnsiString value;
  bool hasValue = false;
};

struct Tag {
  AnsiString name;
  std::vector<Attribute> attributes;
  bool closing = false;
  bool selfClosing = false;
};

// Reads a tag starting at s[i] == '<'; returns the position after it.
size_t ReadTag(const AnsiString& s, size_t i, Tag& tag) {
  ++i;
  if (i < s.size() && s[i] == '/') {
    tag.closing = true;
    ++i;
  }
  const size_t nameStart = i;
  while (i < s.size() && IsNameChar(s[i])) ++i;
  tag.name = LowerCase(s.substr(nameStart, i - nameStart));
  while (i < s.size()) {
    while (i < s.size() && (IsSpace(s[i]) || s[i] == '/')) {
      if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '>') tag.selfClosing = true;
      ++i;
    }
    if (i >= s.size()) break;
    if (s[i] == '>') return i + 1;
    Attribute a;
    const size_t attrStart = i;
    while (i < s.size() && !IsSpace(s[i]) && s[i] != '=' && s[i] != '>' && s[i] != '/') ++i;
    if (i == attrStart) ++i;  // a lone character that starts no name
    a.name = LowerCase(s.substr(attrStart, i - attrStart));
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i < s.size() && s[i] == '=') {
      ++i;
      while (i < s.size() && IsSpace(s[i])) ++i;
      a.hasValue = true;
      if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
        const char quote = s[i++];
        size_t end = s.find(quote, i);
        if (end == AnsiString::npos) end = s.size();
        a.value = s.substr(i, end - i);
        i = end < s.size() ? end + 1 : end;
      } else {
        const size_t valueStart = i;
        while (i < s.size() && !IsSpace(s[i]) && s[i] != '>') ++i;
        a.value = s.substr(valueStart, i - valueStart);
      }
    }
    tag.attributes.push_back(std::move(a));
  }
  return i;
}

bool KeepAttribute(const Attribute& a) {
  if (a.name.empty() || a.name.size() > 64 || !IsAlpha(a.name[0])) return false;
  if (StartsText("on", a.name)) return false;
  const size_t limit = a.name == "href" || a.name == "src" ? kMaxLinkValue : kMaxValue;
  return a.value.size() <= limit;
}

AnsiString BoundedValue(const Attribute& a) {
  if (a.name == "width" || a.name == "height") return ClampNumbers(a.value, kMaxSize);
  if (In(a.name, {"cellpadding", "cellspacing", "border", "colspan", "rowspan", "hspace", "vspace", "size"}))
    return ClampNumbers(a.value, kMaxSpacing);
  if (a.name == "style") return ClampNumbers(a.value, kMaxSize);
  return a.value;
}

AnsiString Render(const Tag& tag) {
  AnsiString out = "<" + tag.name;
  size_t kept = 0;
  for (const Attribute& a : tag.attributes) {
    if (!KeepAttribute(a) || kept++ >= kMaxAttributes) continue;
    out += " " + a.name;
    if (a.hasValue) out += "=\"" + StringReplace(BoundedValue(a), "\"", "&quot;", rfReplaceAll) + "\"";
  }
  return out + (tag.selfClosing ? " />" : ">");
}

class TSanitizer {
 public:
  explicit TSanitizer(const AnsiString& html) : s_(html.substr(0, kMaxBytes)) {}

  AnsiString Run() {
    size_t i = 0;
    while (i < s_.size()) {
      const size_t lt = s_.find('<', i);
      out_.append(s_, i, (lt == AnsiString::npos ? s_.size() : lt) - i);
      if (lt == AnsiString::npos) break;
      i = Markup(lt);
    }
    return out_;
  }

 private:
  // Handles the markup at s_[i] == '<'; returns where the text goes on.
  size_t Markup(size_t i) {
    const char next = i + 1 < s_.size() ? s_[i + 1] : '\0';
    if (s_.compare(i, 4, "<!--") == 0) {
      const size_t end = s_.find("-->", i + 4);
      return end == AnsiString::npos ? s_.size() : end + 3;
    }
    if (next == '!' || next == '?') {
      const size_t end = s_.find('>', i);
      return end == AnsiString::npos ? s_.size() : end + 1;
    }
    if (!IsAlpha(next) && !(next == '/' && i + 2 < s_.size() && IsAlpha(s_[i + 2]))) {
      out_ += "&lt;";
      return i + 1;
    }
    Tag tag;
    const size_t after = ReadTag(s_, i, tag);
    if (tag.closing) {
      Close(tag.name);
      return after;
    }
    return Open(tag, after);
  }

  size_t Open(Tag& tag, size_t after) {
    if (DroppedWithContent(tag.name)) return tag.selfClosing ? after : SkipPastEndTag(s_, after, tag.name, nullptr);
    if (IsRawText(tag.name) && !tag.selfClosing) return RawText(tag, after);
    if (Suppressed(tag.name)) {
      if (tag.name == "table") ++suppressedTables_;
      return after;
    }
    out_ += Render(tag);
    if (!IsVoid(tag.name) && !tag.selfClosing) {
      open_.push_back(tag.name);
      if (tag.name == "table") ++tables_;
    }
    return after;
  }

  bool Suppressed(const AnsiString& name) const {
    if (name == "table" && tables_ >= kMaxTables) return true;
    if (suppressedTables_ > 0 && IsTablePart(name)) return true;
    return !IsVoid(name) && open_.size() >= kMaxDepth;
  }

  size_t RawText(const Tag& tag, size_t after) {
    size_t contentEnd = 0;
    const size_t next = SkipPastEndTag(s_, after, tag.name, &contentEnd);
    if (open_.size() >= kMaxDepth) return next;
    AnsiString content = s_.substr(after, contentEnd - after);
    if (tag.name == "style") content = TameStyleSheet(content);
    else content = StringReplace(content, "<", "&lt;", rfReplaceAll);
    out_ += Render(tag) + content + "</" + tag.name + ">";
    return next;
  }

  void Close(const AnsiString& name) {
    if (name == "table" && suppressedTables_ > 0) {
      --suppressedTables_;
      return;
    }
    size_t at = open_.size();
    while (at > 0 && open_[at - 1] != name) --at;
    if (at == 0) return;
    while (open_.size() >= at) {
      if (open_.back() == "table") --tables_;
      out_ += "</" + open_.back() + ">";
      open_.pop_back();
    }
  }

  AnsiString s_;
  AnsiString out_;
  std::vector<AnsiString> open_;
  int tables_ = 0;
  int suppressedTables_ = 0;
};

}  // namespace

AnsiString SanitizeHtml(const AnsiString& html) { return TSanitizer(html).Run(); }

AnsiString TameStyleSheet(const AnsiString& css) { return ClampNumbers(css, kMaxSize); }
