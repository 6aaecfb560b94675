// The converter-host rule both windows, both starters, the service's --listen
// and the proxy bypass share: one table of hosts, read every way they are read.
#include "core/service_address.h"

#include <gtest/gtest.h>

namespace
{

TEST(ServiceAddress, EveryHostReadOneWay)
{
    // host: parseServiceAddress's host ("!" when it refuses); port likewise;
    // loopback: isLoopbackHost of that host; listen: loopbackListenAddress
    // formatted ("" when none).
    const struct {
        const char *text;
        const char *host;
        int port;
        bool loopback;
        const char *listen;
    } rows[] = {
        {"127.0.0.1:8765", "127.0.0.1", 8765, true, "127.0.0.1:8765"},
        {"127.0.0.1", "127.0.0.1", 80, true, "127.0.0.1:80"},
        {"127.255.1.2:1", "127.255.1.2", 1, true, "127.255.1.2:1"},
        {"localhost", "localhost", 80, true, "127.0.0.1:80"},
        {"LocalHost:9000", "LocalHost", 9000, true, "127.0.0.1:9000"},
        {"[::1]:8765", "::1", 8765, true, "[::1]:8765"},
        {"[0:0:0:0:0:0:0:1]", "0:0:0:0:0:0:0:1", 80, true, "[0:0:0:0:0:0:0:1]:80"},
        {"[::0001]:5", "::0001", 5, true, "[::0001]:5"},
        // Looks like loopback, is not.
        {"128.0.0.1:8765", "128.0.0.1", 8765, false, ""},
        {"126.255.255.255", "126.255.255.255", 80, false, ""},
        {"127.0.0.1.example.org", "127.0.0.1.example.org", 80, false, ""},
        {"localhost.example.org", "localhost.example.org", 80, false, ""},
        {"127.1", "127.1", 80, false, ""},
        {"127.000.0.1", "127.000.0.1", 80, false, ""},
        {"[::2]:80", "::2", 80, false, ""},
        {"[::ffff:127.0.0.1]", "::ffff:127.0.0.1", 80, false, ""},
        {"[1::1]", "1::1", 80, false, ""},
        {"rates.example.org:8080", "rates.example.org", 8080, false, ""},
        // Malformed: refused whole, never read as some other host.
        {"", "!", 0, false, ""},
        {":8765", "!", 0, false, ""},
        {"::1", "!", 0, false, ""},
        {"::1:8765", "!", 0, false, ""},
        {"[::1", "!", 0, false, ""},
        {"[::1]8765", "!", 0, false, ""},
        {"[::1:::2]", "!", 0, false, ""},
        {"[127.0.0.1]", "!", 0, false, ""},
        {"[localhost]", "!", 0, false, ""},
        {"localhost:", "!", 0, false, ""},
        {"localhost:0", "!", 0, false, ""},
        {"localhost:65536", "!", 0, false, ""},
        {"localhost:123456", "!", 0, false, ""},
        {"localhost:+80", "!", 0, false, ""},
        {"localhost:8x", "!", 0, false, ""},
        {"local host", "!", 0, false, ""},
        {"user@localhost", "!", 0, false, ""},
        {"localhost/evil", "!", 0, false, ""},
        {"evil.example?localhost", "!", 0, false, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        const auto address = core::parseServiceAddress(row.text);
        EXPECT_EQ(address ? address->host : std::string("!"), row.host);
        EXPECT_EQ(address ? address->port : 0, row.port);
        EXPECT_EQ(address && core::isLoopbackHost(address->host), row.loopback);
        const auto listen = core::loopbackListenAddress(row.text);
        EXPECT_EQ(listen ? core::formatHostPort(*listen) : std::string(), row.listen);
    }
}

TEST(ServiceAddress, LoopbackHostTakesBracketsOrNot)
{
    const struct {
        const char *host;
        bool loopback;
    } rows[] = {
        {"[::1]", true},
        {"::1", true},
        {"127.0.0.1", true},
        {"LOCALHOST", true},
        {"[127.0.0.1]", false},
        {"[::1", false},
        {"", false},
        {"0.0.0.0", false},
        {"::", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::isLoopbackHost(row.host), row.loopback) << row.host;
}

TEST(ServiceAddress, ListenArgumentIsNumericWithItsPort)
{
    const struct {
        const char *text;
        const char *want; // formatted back, "!" when refused
    } rows[] = {
        {"127.0.0.1:8765", "127.0.0.1:8765"},
        {"0.0.0.0:0", "0.0.0.0:0"},
        {"[::1]:8765", "[::1]:8765"},
        {"[::]:80", "[::]:80"},
        {"[fe80::1:2]:65535", "[fe80::1:2]:65535"},
        {"127.0.0.1", "!"},
        {"127.0.0.1:", "!"},
        {"localhost:8765", "!"},
        {"::1:8765", "!"},
        {"[::1]", "!"},
        {"256.0.0.1:80", "!"},
        {"127.0.0.1:65536", "!"},
        {":8765", "!"},
    };
    for (const auto &row : rows) {
        const auto listen = core::parseListenArgument(row.text);
        EXPECT_EQ(listen ? core::formatHostPort(*listen) : std::string("!"), row.want) << row.text;
    }
}

TEST(ServiceAddress, StartArgumentsAsBothWindowsPassThem)
{
    const std::vector<std::string> want
        = {"--listen", "[::1]:8765", "--exit-idle-time", "300", "--quiet", "--refresh"};
    EXPECT_EQ(core::serviceStartArguments({"::1", 8765}), want);
}

} // namespace
