// The converter host the build was configured with (KORVALUX_CONVERTER_HOST,
// "127.0.0.1:8765" unless set otherwise): where both windows ask for conversions.
#pragma once

#include <string_view>

namespace core
{

std::string_view converterHost();

} // namespace core
