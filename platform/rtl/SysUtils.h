// SysUtils: the basic runtime every other module builds on. Byte strings with
// helpers that count positions from 1, ASCII case folding and trimming, number
// conversions that reject bad input with EConvertError, the exception family,
// a type-safe Format, UTF-8/UTF-16 conversion and the message-box hook that
// lets code without a user interface ask the user something.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

using AnsiString = std::string;
using WideString = std::u16string;

// ---------------------------------------------------------------------------
// Exceptions. Every exception class of the system derives from Exception.

class Exception : public std::exception {
public:
  explicit Exception(AnsiString msg, int helpContext = 0);
  const AnsiString& Message() const { return message_; }
  void SetMessage(AnsiString msg) { message_ = std::move(msg); }
  int HelpContext() const { return helpContext_; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  AnsiString message_;
  int helpContext_;
};

// The silent exception: the application's handler ignores it.
class EAbort : public Exception { public: using Exception::Exception; };
class EConvertError : public Exception { public: using Exception::Exception; };
class ERangeError : public Exception { public: using Exception::Exception; };
class EIntOverflow : public Exception { public: using Exception::Exception; };
class EListError : public Exception { public: using Exception::Exception; };
class EStreamError : public Exception { public: using Exception::Exception; };
class EFOpenError : public EStreamError { public: using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { public: using EStreamError::EStreamError; };
class EInOutError : public Exception { public: using Exception::Exception; };
class EInvalidOperation : public Exception { public: using Exception::Exception; };
class ENotImplemented : public Exception { public: using Exception::Exception; };

// An operating-system failure; ErrorCode is the system's error number.
class EOSError : public Exception {
public:
  explicit EOSError(AnsiString msg, int errorCode = 0, int helpContext = 0)
      : Exception(std::move(msg), helpContext), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Throws EAbort.
[[noreturn]] void Abort();

// The system's text for an error number (errno).
AnsiString SysErrorMessage(int errorCode);

// ---------------------------------------------------------------------------
// String helpers. Positions count from 1; a failed search gives 0.

int Length(const AnsiString& s);
int Pos(const AnsiString& sub, const AnsiString& s);
int PosEx(const AnsiString& sub, const AnsiString& s, int offset = 1);
// Position of the last byte of s that occurs in delims, 0 if none.
int LastDelimiter(const AnsiString& delims, const AnsiString& s);
// Up to count bytes from index; index and count are clamped to the string.
AnsiString Copy(const AnsiString& s, int index, int count);
void Delete(AnsiString& s, int index, int count);
void Insert(const AnsiString& src, AnsiString& dest, int index);
// Checked access: ERangeError outside 1..Length(s).
char CharAt(const AnsiString& s, int index);
void SetCharAt(AnsiString& s, int index, char c);
unsigned char ByteAt(const AnsiString& s, int index);

// Case (ASCII only) and trimming (bytes up to 0x20).
AnsiString LowerCase(const AnsiString& s);
AnsiString UpperCase(const AnsiString& s);
AnsiString AnsiLowerCase(const AnsiString& s);
AnsiString AnsiUpperCase(const AnsiString& s);
bool SameText(const AnsiString& a, const AnsiString& b);
// <0, 0, >0 comparing ASCII-folded unsigned bytes.
int CompareText(const AnsiString& a, const AnsiString& b);
// <0, 0, >0 comparing unsigned bytes.
int CompareStr(const AnsiString& a, const AnsiString& b);
AnsiString Trim(const AnsiString& s);
// The part of s that Trim copies, without copying it.
std::string_view TrimmedView(std::string_view s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
AnsiString StringOfChar(char c, int count);

enum TReplaceFlag : unsigned { rfReplaceAll = 1u, rfIgnoreCase = 2u };

// A set of TReplaceFlag: rfReplaceAll | rfIgnoreCase, or TReplaceFlags() << rfReplaceAll.
class TReplaceFlags {
public:
  constexpr TReplaceFlags() = default;
  constexpr TReplaceFlags(TReplaceFlag flag) : bits_(flag) {}
  constexpr TReplaceFlags operator<<(TReplaceFlag flag) const { return FromBits(bits_ | flag); }
  constexpr TReplaceFlags operator|(TReplaceFlags other) const { return FromBits(bits_ | other.bits_); }
  constexpr bool Contains(TReplaceFlag flag) const { return (bits_ & flag) != 0; }

private:
  static constexpr TReplaceFlags FromBits(unsigned bits) {
    TReplaceFlags flags;
    flags.bits_ = bits;
    return flags;
  }
  unsigned bits_ = 0;
};

constexpr TReplaceFlags operator|(TReplaceFlag a, TReplaceFlag b) {
  return TReplaceFlags(a) | TReplaceFlags(b);
}

AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern,
                         const AnsiString& newPattern, TReplaceFlags flags = {});
// 'text' with embedded quotes doubled.
AnsiString QuotedStr(const AnsiString& s);
bool StartsText(const AnsiString& prefix, const AnsiString& s);
bool EndsText(const AnsiString& suffix, const AnsiString& s);
bool StartsStr(const AnsiString& prefix, const AnsiString& s);
bool EndsStr(const AnsiString& suffix, const AnsiString& s);
bool ContainsText(const AnsiString& s, const AnsiString& sub);

// ---------------------------------------------------------------------------
// Numbers. Integer texts: optional blanks, optional sign, decimal digits or
// hexadecimal after "$" or "0x"; a hexadecimal text may give the full bit
// pattern of the type (for example "$FFFFFFFF" is -1 as int).

AnsiString IntToStr(int64_t value);
AnsiString UIntToStr(uint64_t value);
// Upper-case hexadecimal with at least 'digits' digits; negative values show
// their 64-bit two's complement.
AnsiString IntToHex(int64_t value, int digits);
// Whole text must be a number (blanks around it allowed), otherwise
// EConvertError "'x' is not a valid integer value".
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int def);
bool TryStrToInt(const AnsiString& s, int& value);
int64_t StrToInt64(const AnsiString& s);
int64_t StrToInt64Def(const AnsiString& s, int64_t def);
bool TryStrToInt64(const AnsiString& s, int64_t& value);
// The partial reader: value gets the number read so far and code the 1-based
// position of the first byte that could not be read (0 when all was read).
// A number that leaves the int range stops at the digit that overflowed.
void Val(const AnsiString& s, int& value, int& code);
// Floating point with '.' as decimal separator whatever the locale.
double StrToFloat(const AnsiString& s);
double StrToFloatDef(const AnsiString& s, double def);
bool TryStrToFloat(const AnsiString& s, double& value);
// Up to 15 significant digits, exponent form "1E20" for large or tiny values.
AnsiString FloatToStr(double value);

// ---------------------------------------------------------------------------
// Format: %[index:][-][0][width][.precision]type with type d u x X s f g e,
// "*" for width or precision taken from an int argument, and %%.
// For d u x X the precision is the minimum number of digits ("%.2d" -> "05");
// for s it is the maximum number of characters; f defaults to 2 decimals.
// x gives lower-case, X upper-case hexadecimal digits; a negative value
// shown by u, x or X is the two's complement of its own type's width.
// A bad format, a missing argument or a wrong argument type throws EConvertError.

class FormatArg {
public:
  enum class Kind { Signed, Unsigned, Float, Text };

  template <std::integral T>
  FormatArg(T value) {
    if constexpr (std::is_same_v<T, char>) {
      kind_ = Kind::Text;
      char_ = value;
      isChar_ = true;
    } else if constexpr (std::is_same_v<T, bool> || std::is_signed_v<T>) {
      kind_ = Kind::Signed;
      signed_ = static_cast<int64_t>(value);
      wide_ = sizeof(T) > 4;
    } else {
      kind_ = Kind::Unsigned;
      unsigned_ = static_cast<uint64_t>(value);
      wide_ = sizeof(T) > 4;
    }
  }
  template <std::floating_point T>
  FormatArg(T value) : kind_(Kind::Float), float_(static_cast<double>(value)) {}
  FormatArg(const char* text) : kind_(Kind::Text), text_(text ? text : "") {}
  FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}
  FormatArg(const AnsiString& text) : kind_(Kind::Text), text_(text) {}

  Kind kind() const { return kind_; }
  int64_t asSigned() const { return signed_; }
  uint64_t asUnsigned() const { return unsigned_; }
  double asFloat() const { return float_; }
  std::string_view asText() const { return isChar_ ? std::string_view(&char_, 1) : text_; }
  // True when the argument came from a type wider than 32 bits.
  bool wide() const { return wide_; }

private:
  Kind kind_ = Kind::Signed;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
  double float_ = 0;
  std::string_view text_;
  char char_ = 0;
  bool isChar_ = false;
  bool wide_ = false;
};

AnsiString FormatArgs(const AnsiString& fmt, std::initializer_list<FormatArg> args);

template <class... Args>
AnsiString Format(const AnsiString& fmt, const Args&... args) {
  return FormatArgs(fmt, {FormatArg(args)...});
}

// ---------------------------------------------------------------------------
// Text conversions. An invalid UTF-8 sequence decodes byte by byte as Latin-1.

WideString Utf8ToWide(const AnsiString& s);
AnsiString WideToUtf8(const WideString& s);

// ---------------------------------------------------------------------------
// Message box hook: the controls module installs the real dialog, tests
// install their own. Without a hook the text goes to stderr and the first
// button of the set is the answer.

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TASKMODAL = 0x2000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using TMessageBoxHook =
    std::function<int(const AnsiString& text, const AnsiString& caption, unsigned flags)>;
// An empty hook restores the stderr fallback. ShowMessageBox may be called
// on any thread; the hook is called on the caller's thread and must bring
// the box to the thread that owns the windows itself.
void SetMessageBoxHook(TMessageBoxHook hook);
int ShowMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);
