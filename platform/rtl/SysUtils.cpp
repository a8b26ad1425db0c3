// String helpers, case folding, exceptions, text conversions and the
// message-box hook. Number conversions are in NumberConversion.cpp, Format in
// Format.cpp.
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <system_error>

Exception::Exception(AnsiString msg, int helpContext)
    : message_(std::move(msg)), helpContext_(helpContext) {}

void Abort() {
  throw EAbort("Operation aborted");
}

AnsiString SysErrorMessage(int errorCode) {
  return std::system_category().message(errorCode);
}

// ---------------------------------------------------------------------------

namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

void CheckCharIndex(const AnsiString& s, int index) {
  if (index < 1 || static_cast<size_t>(index) > s.size())
    throw ERangeError("Character index " + std::to_string(index) + " out of range 1.." +
                      std::to_string(s.size()));
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

}  // namespace

int Length(const AnsiString& s) {
  return static_cast<int>(std::min<size_t>(s.size(), INT32_MAX));
}

int Pos(const AnsiString& sub, const AnsiString& s) {
  return PosEx(sub, s, 1);
}

int PosEx(const AnsiString& sub, const AnsiString& s, int offset) {
  if (sub.empty() || offset < 1 || static_cast<size_t>(offset) > s.size())
    return 0;
  size_t found = s.find(sub, static_cast<size_t>(offset) - 1);
  return found == AnsiString::npos ? 0 : static_cast<int>(found) + 1;
}

int LastDelimiter(const AnsiString& delims, const AnsiString& s) {
  size_t found = s.find_last_of(delims);
  return found == AnsiString::npos ? 0 : static_cast<int>(found) + 1;
}

AnsiString Copy(const AnsiString& s, int index, int count) {
  if (index < 1)
    index = 1;
  if (count <= 0 || static_cast<size_t>(index) > s.size())
    return AnsiString();
  return s.substr(static_cast<size_t>(index) - 1, static_cast<size_t>(count));
}

void Delete(AnsiString& s, int index, int count) {
  if (index < 1 || count <= 0 || static_cast<size_t>(index) > s.size())
    return;
  s.erase(static_cast<size_t>(index) - 1, static_cast<size_t>(count));
}

void Insert(const AnsiString& src, AnsiString& dest, int index) {
  size_t at = index < 1 ? 0 : std::min(static_cast<size_t>(index) - 1, dest.size());
  dest.insert(at, src);
}

char CharAt(const AnsiString& s, int index) {
  CheckCharIndex(s, index);
  return s[static_cast<size_t>(index) - 1];
}

void SetCharAt(AnsiString& s, int index, char c) {
  CheckCharIndex(s, index);
  s[static_cast<size_t>(index) - 1] = c;
}

unsigned char ByteAt(const AnsiString& s, int index) {
  return static_cast<unsigned char>(CharAt(s, index));
}

// ---------------------------------------------------------------------------

AnsiString LowerCase(const AnsiString& s) {
  AnsiString result(s);
  for (char& c : result)
    c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return result;
}

AnsiString UpperCase(const AnsiString& s) {
  AnsiString result(s);
  for (char& c : result)
    c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  return result;
}

AnsiString AnsiLowerCase(const AnsiString& s) {
  return LowerCase(s);
}

AnsiString AnsiUpperCase(const AnsiString& s) {
  return UpperCase(s);
}

bool SameText(const AnsiString& a, const AnsiString& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareText(const AnsiString& a, const AnsiString& b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    int diff = FoldAscii(static_cast<unsigned char>(a[i])) -
               FoldAscii(static_cast<unsigned char>(b[i]));
    if (diff != 0)
      return Sign(diff);
  }
  return (a.size() > b.size()) - (a.size() < b.size());
}

int CompareStr(const AnsiString& a, const AnsiString& b) {
  return Sign(a.compare(b));  // std::string compares chars as unsigned bytes
}

AnsiString Trim(const AnsiString& s) { return AnsiString(TrimmedView(s)); }

std::string_view TrimmedView(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

AnsiString TrimLeft(const AnsiString& s) {
  auto first = std::find_if_not(s.begin(), s.end(), IsBlank);
  return AnsiString(first, s.end());
}

AnsiString TrimRight(const AnsiString& s) {
  auto last = std::find_if_not(s.rbegin(), s.rend(), IsBlank);
  return AnsiString(s.begin(), last.base());
}

AnsiString StringOfChar(char c, int count) {
  return count > 0 ? AnsiString(static_cast<size_t>(count), c) : AnsiString();
}

AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern,
                         const AnsiString& newPattern, TReplaceFlags flags) {
  if (oldPattern.empty())
    return s;
  bool ignoreCase = flags.Contains(rfIgnoreCase);
  // ASCII folding keeps every byte in place, so positions found in the
  // folded copy are positions in s.
  const AnsiString haystack = ignoreCase ? LowerCase(s) : s;
  const AnsiString needle = ignoreCase ? LowerCase(oldPattern) : oldPattern;
  AnsiString result;
  size_t from = 0;
  for (;;) {
    size_t found = haystack.find(needle, from);
    if (found == AnsiString::npos)
      break;
    result.append(s, from, found - from).append(newPattern);
    from = found + needle.size();
    if (!flags.Contains(rfReplaceAll))
      break;
  }
  return result.append(s, from, AnsiString::npos);
}

AnsiString QuotedStr(const AnsiString& s) {
  return "'" + StringReplace(s, "'", "''", rfReplaceAll) + "'";
}

bool StartsText(const AnsiString& prefix, const AnsiString& s) {
  return prefix.size() <= s.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(const AnsiString& suffix, const AnsiString& s) {
  return suffix.size() <= s.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

bool StartsStr(const AnsiString& prefix, const AnsiString& s) {
  return s.starts_with(prefix);
}

bool EndsStr(const AnsiString& suffix, const AnsiString& s) {
  return s.ends_with(suffix);
}

bool ContainsText(const AnsiString& s, const AnsiString& sub) {
  return Pos(LowerCase(sub), LowerCase(s)) > 0;
}

// ---------------------------------------------------------------------------

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0.
size_t DecodeUtf8(const AnsiString& s, size_t i, char32_t& code) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || i + length > s.size())
    return 0;
  code = length == 1 ? lead : lead & (0xFF >> (length + 1));
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  bool overlong = code < smallest[length];
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return (overlong || surrogate || code > 0x10FFFF) ? 0 : length;
}

void AppendUtf8(AnsiString& out, char32_t code) {
  auto put = [&](unsigned value) { out.push_back(static_cast<char>(value)); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | (code >> 6));
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3F));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  }
}

}  // namespace

WideString Utf8ToWide(const AnsiString& s) {
  WideString result;
  result.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t code = 0;
    size_t length = DecodeUtf8(s, i, code);
    if (length == 0) {  // invalid: the byte stands for itself (Latin-1)
      result.push_back(static_cast<unsigned char>(s[i]));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return result;
}

AnsiString WideToUtf8(const WideString& s) {
  AnsiString result;
  result.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t code = s[i];
    bool high = code >= 0xD800 && code <= 0xDBFF;
    bool pairs = high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
    if (pairs) {
      code = 0x10000 + ((code - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(result, code);
  }
  return result;
}

// ---------------------------------------------------------------------------

namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

TMessageBoxHook& Hook() {
  static TMessageBoxHook hook;
  return hook;
}

int FirstButton(unsigned flags) {
  switch (flags & 0xF) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

}  // namespace

void SetMessageBoxHook(TMessageBoxHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = std::move(hook);
}

int ShowMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  TMessageBoxHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hook();
  }
  if (hook)
    return hook(text, caption, flags);
  std::cerr << caption << ": " << text << std::endl;
  return FirstButton(flags);
}
