// FloatText: the one place that turns a double into text for FloatToStr and
// Format. Locale-independent ('.' decimal separator).
#pragma once

#include "platform/rtl/SysUtils.h"

// type 'f': fixed with 'precision' decimals; 'e': scientific with
// 'precision' significant digits and a three-digit exponent ("1.50E+003");
// 'g': shortest of fixed and scientific with up to 'precision' significant
// digits and a plain exponent ("1E20", "1.5E-7"). Non-finite values give
// "NAN", "INF" or "-INF".
AnsiString FloatText(double value, char type, int precision);
