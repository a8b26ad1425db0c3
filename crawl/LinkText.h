// Allocation-free text comparisons for the hot paths of the page parser and
// the link routines: the same ASCII case folding as SameText and StartsText,
// on string views, so that comparing a prefix copies nothing.
#pragma once

#include <string>
#include <string_view>

constexpr unsigned char FoldAsciiByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

// A and B are equal without regard to ASCII case.
inline bool SameTextView(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (FoldAsciiByte(A[i]) != FoldAsciiByte(B[i])) return false;
  return true;
}

// S begins with Prefix without regard to ASCII case.
inline bool StartsTextView(std::string_view S, std::string_view Prefix) {
  return S.size() >= Prefix.size() && SameTextView(S.substr(0, Prefix.size()), Prefix);
}

// S ends with Suffix without regard to ASCII case.
inline bool EndsTextView(std::string_view S, std::string_view Suffix) {
  return S.size() >= Suffix.size() && SameTextView(S.substr(S.size() - Suffix.size()), Suffix);
}

// True when S holds any byte of Set (a few characters); a plain loop, as the
// library's find_first_of calls memchr once per byte of S.
inline bool HoldsAnyOf(std::string_view S, std::string_view Set) {
  for (char c : S)
    for (char wanted : Set)
      if (c == wanted) return true;
  return false;
}

// True when S begins or ends with a byte up to 0x20 (what Trim removes).
inline bool HasOuterBlanks(std::string_view S) {
  return !S.empty() && (static_cast<unsigned char>(S.front()) <= 0x20 || static_cast<unsigned char>(S.back()) <= 0x20);
}

// True when S holds an upper-case ASCII letter. Like the test below, it
// reads every byte without a branch each, so that it runs on whole vectors:
// link texts are short and mostly hold none.
inline bool HoldsUpperCase(std::string_view S) {
  unsigned found = 0;
  for (char c : S) found |= static_cast<unsigned char>(c - 'A') < 26;
  return found != 0;
}

// True when S holds a control byte (below 0x20, or 0x7F).
inline bool HoldsControlBytes(std::string_view S) {
  unsigned found = 0;
  for (char c : S) found |= static_cast<unsigned>(static_cast<unsigned char>(c) < 0x20) | static_cast<unsigned>(c == 0x7F);
  return found != 0;
}

// A link value as a browser reads it: every control byte (TAB, LF, CR, NUL
// and the others) dropped, then the blanks around what is left.
inline std::string AsBrowserReads(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  for (char c : S)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out.push_back(c);
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// The first position at or after From of a byte of Set (a few characters), or
// npos; a plain loop for the same reason as HoldsAnyOf.
inline size_t FindAnyOf(std::string_view S, std::string_view Set, size_t From = 0) {
  for (size_t i = From; i < S.size(); ++i)
    for (char wanted : Set)
      if (S[i] == wanted) return i;
  return std::string_view::npos;
}
