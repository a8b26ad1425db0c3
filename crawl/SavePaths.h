// The file-system boundary of the local mirror: every path the download
// worker reads or writes under the download folder passes through
// MapMirrorPath, which guarantees that it lies inside that folder.
//
// Contract of MapMirrorPath:
// - The mirror's names (LocalDir + NamePart + LocalName, "/" separators,
//   LocalDir starting with the download folder) are cut into components.
//   EscapeUrlChars is applied to the folder part below the download folder.
// - Inside a component a backslash and control bytes are kept encoded
//   ("%5C", "%01"); a component that is "." or ".." is escaped ("%2E").
// - A component Windows could not create (one of : * ? " < > |, a trailing
//   "." or blank, longer than 255 bytes, empty file name) makes the result
//   NameNotCreatable (the file name) or DirNotCreatable (a folder).
// - Each component reuses an existing entry that differs only in case.
// - A download folder that is empty or relative, or names that do not start
//   with it, give Outside; nothing is ever mapped outside the folder.
#pragma once

#include "platform/rtl/SysUtils.h"

enum class TMirrorPathResult { Ok, NameNotCreatable, DirNotCreatable, Outside };

struct TMirrorPath {
  TMirrorPathResult Result = TMirrorPathResult::Outside;
  AnsiString Dir;  // the folder of the file, without trailing "/"
  AnsiString File; // the whole file name
  bool FileMissing = false; // nothing stood at File when it was resolved
  bool DirMissing = false;  // ... nor at Dir: the file cannot be made before the folder
  bool Ok() const { return Result == TMirrorPathResult::Ok; }
};

TMirrorPath MapMirrorPath(const AnsiString& Folder, const AnsiString& LocalDir, const AnsiString& NamePart,
                          const AnsiString& LocalName);

// The fallback base of a local name: the text before its first ".", "?",
// "=" or "*"; false when it holds none of them (then there is no fallback).
bool FallbackBase(const AnsiString& LocalName, AnsiString& Base);
// The n-th fallback name: Base + "-" + n + ".htm".
AnsiString FallbackName(const AnsiString& Base, int N);
constexpr int MaxFallbackNames = 1000;
