// Text, path and checksum helpers shared by the project model, the download
// workers and the main window. Free functions without state (the language list
// reads the user's data folder); all of them are safe to call from any thread and
// none raises an error for bad input. Positions count from 1.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

// Extension and default name of the language files in the user's data folder.
inline const AnsiString LanguageFileExt = ".lan";
inline const AnsiString DefaultLanguageName = "language";

// The checksum that names saved files: the reflected CRC-32 table step, but the
// step's result is added to the running value instead of replacing it. Saved
// mirrors and site-tree files hold names made from it, so it must not change.
uint32_t StrCRC32(const AnsiString& S);

// Copy of S with every "/" replaced by a backslash.
AnsiString SlashToBackslash(const AnsiString& S);

// Turns a URL tail holding a query into a file name: everything from the first
// "?", "=", ":" or "*" on is replaced by the decimal checksum of the text after
// that character, and an extension just before it is dropped.
void QueryToFileName(AnsiString& S);

// S with "?", "://", ":\\" and "&" replaced by "%3f", "%3a2f2f", "%3a5c5c", "%26".
AnsiString EscapeUrlChars(const AnsiString& S);

// The fields of S cut at each Sep, trimmed, empty fields kept; a trailing Sep
// gives a final empty field and an empty S no field at all.
std::vector<AnsiString> SplitFields(const AnsiString& Sep, const AnsiString& S);
// The same fields into List, which is emptied first.
void SplitStr(const AnsiString& Sep, const AnsiString& S, TStrings& List);

// A and B joined with exactly one Sep between them; an empty A or B is joined
// without a separator.
AnsiString JoinWithSep(const AnsiString& A, const AnsiString& B, const AnsiString& Sep);

// List receives the sorted, lower-cased names (without extension) of the
// language files in the user's data folder, the default language file excepted.
void GetLanguageList(TStrings& List);

// The application's message box, always task-modal; returns the button pressed.
int MsgBox(const AnsiString& Text, const AnsiString& Caption, unsigned Flags);

// Compares A and B from the year down to Part (0 year, 1 month, 2 day, 3 hour,
// 4 minute, 5 second, 6 millisecond): -1 only when every compared part of A is
// smaller than B's, 1 only when every one is greater, else 0. Part 7 compares
// the whole values; any other Part gives 0.
int CompareDateTimePart(int Part, TDateTime A, TDateTime B);

// Creates every missing level of the absolute folder Path without touching the
// process's current directory. Refuses relative paths and "." or ".."
// components; true only when the whole path exists as a folder afterwards.
bool MakeDirPath(const AnsiString& Path);
