// Build tool: writes the socket unit with the address it listens on, put in by
// the same rule the windows use for the converter host, so the unit and the
// window always agree. A host that is not on this machine leaves the service's
// own default.
//
// usage: korvalux-unit-listen UNIT.in UNIT CONVERTER-HOST
#include "core/service_address.h"
#include "service/server.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: korvalux-unit-listen UNIT.in UNIT CONVERTER-HOST\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "korvalux-unit-listen: cannot read " << argv[1] << "\n";
        return 1;
    }
    const korvalux::service::ServerOptions defaults;
    const auto listen = core::loopbackListenAddress(argv[3]);
    const std::string address = core::formatHostPort(
        listen.value_or(core::ServiceAddress {defaults.address, defaults.port}));
    std::string unit = text.str();
    const std::string placeholder = "@KORVALUX_SERVICE_LISTEN@";
    for (std::size_t at; (at = unit.find(placeholder)) != std::string::npos;)
        unit.replace(at, placeholder.size(), address);
    std::ofstream out(argv[2]);
    out << unit;
    if (!out.flush()) {
        std::cerr << "korvalux-unit-listen: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
