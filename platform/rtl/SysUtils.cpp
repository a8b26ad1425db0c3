#include "platform/rtl/SysUtils.h"

Exception::Exception(AnsiString msg, int helpContext)
    : message_(std::move(msg)), helpContext_(helpContext) {}
