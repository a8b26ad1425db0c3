// Format: walks the pattern once, taking one FormatArg per conversion.
#include "platform/rtl/FloatText.h"
#include "platform/rtl/SysUtils.h"

#include <charconv>
#include <limits>

namespace {

struct Directive {
  bool left = false;
  bool zero = false;
  int width = -1;
  int precision = -1;
  char type = 0;
};

// Widths and precisions beyond this are taken as a broken pattern rather
// than as a request for a huge string.
constexpr int kMaxCount = 100000;

class Formatter {
public:
  Formatter(const AnsiString& fmt, std::initializer_list<FormatArg> args)
      : fmt_(fmt), args_(args.begin()), count_(args.size()) {}

  AnsiString Run() {
    AnsiString out;
    out.reserve(fmt_.size() + 16 * count_);
    for (size_t i = 0; i < fmt_.size();) {
      char c = fmt_[i++];
      if (c != '%') {
        out.push_back(c);
      } else if (i < fmt_.size() && fmt_[i] == '%') {
        out.push_back('%');
        ++i;
      } else {
        Directive directive = ParseDirective(i);
        out += Convert(directive, NextArg());
      }
    }
    return out;
  }

private:
  [[noreturn]] void Fail() const {
    throw EConvertError("Format '" + fmt_ + "' invalid or incompatible with argument");
  }

  const FormatArg& NextArg() {
    if (next_ >= count_)
      Fail();
    return args_[next_++];
  }

  bool AtDigit(size_t i) const { return i < fmt_.size() && fmt_[i] >= '0' && fmt_[i] <= '9'; }

  int ReadDigits(size_t& i) const {
    int value = 0;
    for (; AtDigit(i); ++i) {
      value = value * 10 + (fmt_[i] - '0');
      if (value > kMaxCount)
        Fail();
    }
    return value;
  }

  // Digits, or "*" for the next argument, which must be an integer.
  int ReadCount(size_t& i) {
    if (i < fmt_.size() && fmt_[i] == '*') {
      ++i;
      const FormatArg& arg = NextArg();
      if (arg.kind() != FormatArg::Kind::Signed || arg.asSigned() > kMaxCount ||
          arg.asSigned() < -kMaxCount)
        Fail();
      return static_cast<int>(arg.asSigned());
    }
    return ReadDigits(i);
  }

  Directive ParseDirective(size_t& i) {
    Directive directive;
    size_t start = i;
    if (AtDigit(i)) {  // "%1:s" picks the argument by index
      int index = ReadDigits(i);
      if (i < fmt_.size() && fmt_[i] == ':') {
        next_ = static_cast<size_t>(index);
        ++i;
      } else {
        i = start;
      }
    }
    for (; i < fmt_.size() && (fmt_[i] == '-' || fmt_[i] == '0'); ++i)
      (fmt_[i] == '-' ? directive.left : directive.zero) = true;
    if (AtDigit(i) || (i < fmt_.size() && fmt_[i] == '*')) {
      directive.width = ReadCount(i);
      if (directive.width < 0) {
        directive.left = true;
        directive.width = -directive.width;
      }
    }
    if (i < fmt_.size() && fmt_[i] == '.') {
      ++i;
      directive.precision = std::max(ReadCount(i), -1);
    }
    if (i >= fmt_.size())
      Fail();
    directive.type = fmt_[i++];
    return directive;
  }

  AnsiString Convert(const Directive& directive, const FormatArg& arg) const {
    switch (directive.type) {
      case 'd': case 'D': return Integer(directive, arg, 10, false);
      case 'u': case 'U': return Integer(directive, arg, 10, true);
      case 'x': return Integer(directive, arg, 16, true);
      case 'X': return UpperCase(Integer(directive, arg, 16, true));
      case 's': case 'S': return Text(directive, arg);
      case 'f': case 'F': return Float(directive, arg, 'f', 2);
      case 'e': case 'E': return Float(directive, arg, 'e', 15);
      case 'g': case 'G': return Float(directive, arg, 'g', 15);
      default: Fail();
    }
  }

  // Negative values shown as unsigned take the two's complement of the
  // argument's own width (32 bits for int).
  static uint64_t AsUnsignedBits(const FormatArg& arg) {
    if (arg.kind() == FormatArg::Kind::Unsigned)
      return arg.asUnsigned();
    uint64_t bits = static_cast<uint64_t>(arg.asSigned());
    return arg.wide() ? bits : bits & 0xFFFFFFFFu;
  }

  AnsiString Integer(const Directive& directive, const FormatArg& arg, int base, bool asUnsigned) const {
    if (arg.kind() != FormatArg::Kind::Signed && arg.kind() != FormatArg::Kind::Unsigned)
      Fail();
    bool negative = !asUnsigned && arg.kind() == FormatArg::Kind::Signed && arg.asSigned() < 0;
    uint64_t magnitude = asUnsigned ? AsUnsignedBits(arg)
                         : arg.kind() == FormatArg::Kind::Unsigned ? arg.asUnsigned()
                         : negative ? 0 - static_cast<uint64_t>(arg.asSigned())
                                    : static_cast<uint64_t>(arg.asSigned());
    char buffer[32];
    AnsiString digits(buffer, std::to_chars(buffer, buffer + sizeof buffer, magnitude, base).ptr);
    if (directive.precision > static_cast<int>(digits.size()))
      digits.insert(0, static_cast<size_t>(directive.precision) - digits.size(), '0');
    return Pad(directive, negative ? "-" : "", digits, directive.precision < 0);
  }

  AnsiString Text(const Directive& directive, const FormatArg& arg) const {
    if (arg.kind() != FormatArg::Kind::Text)
      Fail();
    std::string_view text = arg.asText();
    if (directive.precision >= 0 && static_cast<size_t>(directive.precision) < text.size())
      text = text.substr(0, static_cast<size_t>(directive.precision));
    return Pad(directive, "", AnsiString(text), false);
  }

  AnsiString Float(const Directive& directive, const FormatArg& arg, char type, int defaultPrecision) const {
    if (arg.kind() != FormatArg::Kind::Float)
      Fail();
    AnsiString text =
        FloatText(arg.asFloat(), type, directive.precision < 0 ? defaultPrecision : directive.precision);
    bool negative = !text.empty() && text[0] == '-';
    return Pad(directive, negative ? "-" : "", negative ? text.substr(1) : text, true);
  }

  // Fills to the width: spaces on the left (or right with "-"), or zeros
  // between sign and digits with "0" where zeros are allowed.
  static AnsiString Pad(const Directive& directive, const AnsiString& sign, const AnsiString& body,
                        bool zerosAllowed) {
    size_t length = sign.size() + body.size();
    if (directive.width < 0 || static_cast<size_t>(directive.width) <= length)
      return sign + body;
    size_t fill = static_cast<size_t>(directive.width) - length;
    if (directive.left)
      return sign + body + AnsiString(fill, ' ');
    if (directive.zero && zerosAllowed)
      return sign + AnsiString(fill, '0') + body;
    return AnsiString(fill, ' ') + sign + body;
  }

  const AnsiString& fmt_;
  const FormatArg* args_;
  size_t count_;
  size_t next_ = 0;
};

}  // namespace

AnsiString FormatArgs(const AnsiString& fmt, std::initializer_list<FormatArg> args) {
  return Formatter(fmt, args).Run();
}
