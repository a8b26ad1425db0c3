// Allocation-free text comparisons for the hot paths of the page parser and
// the link routines: the same ASCII case folding as SameText and StartsText,
// on string views, so that comparing a prefix copies nothing.
#pragma once

#include <string_view>

inline unsigned char FoldAsciiByte(char c) {
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

// True when S holds an upper-case ASCII letter.
inline bool HoldsUpperCase(std::string_view S) {
  for (char c : S)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}
