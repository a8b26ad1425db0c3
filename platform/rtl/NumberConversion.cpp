// Integer and floating-point conversions between text and numbers. One
// integer reader serves Val (partial) and the StrToInt family (whole text);
// floating point goes through std::to_chars/from_chars so that the decimal
// separator is '.' whatever the process locale.
#include "platform/rtl/FloatText.h"
#include "platform/rtl/SysUtils.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

struct IntegerRead {
  int64_t value = 0;
  size_t stop = 0;  // index of the first byte not read
  bool complete = false;
};

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (hex && c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Reads [blanks][sign][$|0x]digits from the start of s. The value must lie
// in [minValue, maxValue]; a hexadecimal number may also give any bit
// pattern up to hexMask, which is taken as two's complement.
IntegerRead ReadInteger(const AnsiString& s, int64_t minValue, int64_t maxValue,
                        uint64_t hexMask) {
  IntegerRead read;
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= 0x20)
    ++i;
  bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+'))
    ++i;
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  uint64_t limit = hex ? hexMask
                 : negative ? static_cast<uint64_t>(-(minValue + 1)) + 1
                            : static_cast<uint64_t>(maxValue);
  uint64_t magnitude = 0;
  size_t firstDigit = i;
  for (; i < s.size(); ++i) {
    int digit = DigitValue(s[i], hex);
    if (digit < 0)
      break;
    uint64_t base = hex ? 16 : 10;
    if (magnitude > (limit - static_cast<uint64_t>(digit)) / base)
      break;  // this digit would leave the range
    magnitude = magnitude * base + static_cast<uint64_t>(digit);
  }
  read.stop = i;
  if (hex && magnitude > static_cast<uint64_t>(maxValue)) {
    int64_t pattern = static_cast<int64_t>(magnitude | ~hexMask);
    if (negative && pattern == std::numeric_limits<int64_t>::min())
      return read;  // "-$8000000000000000" has no negation
    read.value = negative ? -pattern : pattern;
  } else if (negative && magnitude > 0) {
    read.value = -static_cast<int64_t>(magnitude - 1) - 1;  // reaches the minimum safely
  } else {
    read.value = static_cast<int64_t>(magnitude);
  }
  read.complete = i > firstDigit && i == s.size();
  return read;
}

IntegerRead ReadWholeInteger(const AnsiString& s, int64_t minValue, int64_t maxValue,
                             uint64_t hexMask) {
  return ReadInteger(TrimRight(s), minValue, maxValue, hexMask);
}

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

[[noreturn]] void ThrowNotInteger(const AnsiString& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

}  // namespace

AnsiString IntToStr(int64_t value) {
  return std::to_string(value);
}

AnsiString UIntToStr(uint64_t value) {
  return std::to_string(value);
}

AnsiString IntToHex(int64_t value, int digits) {
  char buffer[32];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<uint64_t>(value), 16).ptr;
  AnsiString hex = UpperCase(AnsiString(buffer, end));
  if (static_cast<int>(hex.size()) < digits)
    hex.insert(0, static_cast<size_t>(digits) - hex.size(), '0');
  return hex;
}

bool TryStrToInt(const AnsiString& s, int& value) {
  IntegerRead read = ReadWholeInteger(s, kIntMin, kIntMax, 0xFFFFFFFFu);
  if (read.complete)
    value = static_cast<int>(read.value);
  return read.complete;
}

int StrToInt(const AnsiString& s) {
  int value = 0;
  if (!TryStrToInt(s, value))
    ThrowNotInteger(s);
  return value;
}

int StrToIntDef(const AnsiString& s, int def) {
  int value = 0;
  return TryStrToInt(s, value) ? value : def;
}

bool TryStrToInt64(const AnsiString& s, int64_t& value) {
  IntegerRead read = ReadWholeInteger(s, kInt64Min, kInt64Max, ~uint64_t(0));
  if (read.complete)
    value = read.value;
  return read.complete;
}

int64_t StrToInt64(const AnsiString& s) {
  int64_t value = 0;
  if (!TryStrToInt64(s, value))
    ThrowNotInteger(s);
  return value;
}

int64_t StrToInt64Def(const AnsiString& s, int64_t def) {
  int64_t value = 0;
  return TryStrToInt64(s, value) ? value : def;
}

void Val(const AnsiString& s, int& value, int& code) {
  IntegerRead read = ReadInteger(s, kIntMin, kIntMax, 0xFFFFFFFFu);
  value = static_cast<int>(read.value);
  code = read.complete ? 0 : static_cast<int>(read.stop) + 1;
}

// ---------------------------------------------------------------------------

bool TryStrToFloat(const AnsiString& s, double& value) {
  AnsiString text = Trim(s);
  size_t start = !text.empty() && text[0] == '+' ? 1 : 0;
  if (start < text.size() && (text[start] == '+' || text[start] == '-') && start == 1)
    return false;  // "+-1"
  double parsed = 0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  auto [ptr, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || ptr != last || first == last || !std::isfinite(parsed))
    return false;
  value = parsed;
  return true;
}

double StrToFloat(const AnsiString& s) {
  double value = 0;
  if (!TryStrToFloat(s, value))
    throw EConvertError("'" + s + "' is not a valid floating point value");
  return value;
}

double StrToFloatDef(const AnsiString& s, double def) {
  double value = 0;
  return TryStrToFloat(s, value) ? value : def;
}

AnsiString FloatToStr(double value) {
  return FloatText(value, 'g', 15);
}
