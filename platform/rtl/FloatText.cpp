// Double to text for FloatToStr and Format.
#include "platform/rtl/FloatText.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdlib>

namespace {

AnsiString ToChars(double value, std::chars_format format, int precision) {
  char buffer[768];  // holds 1e308 with 300 decimals
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  if (result.ec != std::errc())
    throw EConvertError("Floating point value cannot be formatted");
  return AnsiString(buffer, result.ptr);
}

// Rewrites the exponent "e+05" as "E+005" (minDigits 3) or "E5" (minDigits 0,
// sign shown only when negative).
AnsiString RewriteExponent(const AnsiString& text, size_t minDigits) {
  size_t e = text.find('e');
  if (e == AnsiString::npos)
    return text;
  int exponent = std::atoi(text.c_str() + e + 1);
  AnsiString digits = std::to_string(std::abs(exponent));
  if (digits.size() < minDigits)
    digits.insert(0, minDigits - digits.size(), '0');
  AnsiString sign = exponent < 0 ? "-" : (minDigits > 0 ? "+" : "");
  return text.substr(0, e) + "E" + sign + digits;
}

}  // namespace

AnsiString FloatText(double value, char type, int precision) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value < 0 ? "-INF" : "INF";
  if (value == 0)
    value = 0;  // no "-0"
  precision = std::max(0, std::min(precision, 300));
  switch (type) {
    case 'f':
      return ToChars(value, std::chars_format::fixed, precision);
    case 'e':
      return RewriteExponent(ToChars(value, std::chars_format::scientific, std::max(precision, 1) - 1), 3);
    default:
      return RewriteExponent(ToChars(value, std::chars_format::general, std::max(precision, 1)), 0);
  }
}
