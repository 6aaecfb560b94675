// The one file that sees the build's converter host, so that changing it
// rebuilds this file alone.
#include "core/converter_host.h"

namespace core
{

std::string_view converterHost()
{
    return KORVALUX_CONVERTER_HOST;
}

} // namespace core
