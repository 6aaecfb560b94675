// korvalux-service's command line as one table: what each good command line
// sets, and the one-line reason each bad one gives.
#include "service/options.h"

#include <gtest/gtest.h>

#include <functional>

using namespace korvalux::service;
using Outcome = ParsedOptions::Outcome;

TEST(ServiceOptions, GoodCommandLines)
{
    struct Row {
        std::vector<std::string> args;
        std::function<bool(const ParsedOptions &)> holds;
    };
    const Row rows[] = {
        {{},
            [](const ParsedOptions &p) {
                const auto &o = p.options;
                return o.server.address == "127.0.0.1" && o.server.port == 8765 && !o.listenGiven
                    && !o.refresh && !o.ecbUrl && o.dailyUrls.empty() && o.dataDir == "/defaults"
                    && o.server.exitIdleTime.count() == 0 && o.server.threads == 1
                    && o.refreshWait == std::chrono::seconds(2);
            }},
        {{"--help"}, [](const ParsedOptions &p) { return p.outcome == Outcome::Help; }},
        {{"--quiet", "-h", "--frobnicate"},
            [](const ParsedOptions &p) { return p.outcome == Outcome::Help; }},
        {{"--listen", "[::1]:0"},
            [](const ParsedOptions &p) {
                return p.options.server.address == "::1" && p.options.server.port == 0
                    && p.options.listenGiven;
            }},
        {{"--listen", "0.0.0.0:65535"},
            [](const ParsedOptions &p) { return p.options.server.port == 65535; }},
        {{"--daily-url", "http://127.0.0.1:1/a.json", "--daily-url", "http://127.0.0.1:2/b.json"},
            [](const ParsedOptions &p) {
                return p.options.dailyUrls
                    == std::vector<std::string> {
                        "http://127.0.0.1:1/a.json", "http://127.0.0.1:2/b.json"};
            }},
        {{"--ecb-url", ""}, // an empty address turns that feed off
            [](const ParsedOptions &p) { return p.options.ecbUrl == std::string(); }},
        {{"--exit-idle-time", "1", "--refresh", "--quiet"},
            [](const ParsedOptions &p) {
                return p.options.server.exitIdleTime.count() == 1 && p.options.refresh
                    && p.options.server.quiet;
            }},
        {{"--refresh-wait", "0", "--refresh-wait", "60"},
            [](const ParsedOptions &p) {
                return p.options.refreshWait == std::chrono::seconds(60);
            }},
        {{"--refresh-wait", "0"},
            [](const ParsedOptions &p) { return p.options.refreshWait.count() == 0; }},
        {{"--exit-idle-time", "86400"},
            [](const ParsedOptions &p) { return p.options.server.exitIdleTime.count() == 86400; }},
        {{"--threads", "64", "--read-timeout", "3600", "--idle-timeout", "1"},
            [](const ParsedOptions &p) {
                return p.options.server.threads == 64
                    && p.options.server.readTimeout == std::chrono::seconds(3600)
                    && p.options.server.idleTimeout == std::chrono::seconds(1);
            }},
        {{"--data-dir", "/d", "--cache-dir", "/c", "--data-dir", "/e"},
            [](const ParsedOptions &p) {
                return p.options.dataDir == "/e" && p.options.cacheDir == "/c";
            }},
    };
    ServiceOptions defaults;
    defaults.dataDir = "/defaults";
    for (const auto &row : rows) {
        const auto parsed = parseOptions(row.args, defaults);
        std::string line;
        for (const auto &arg : row.args)
            line += arg + " ";
        EXPECT_NE(parsed.outcome, Outcome::Bad) << line << ": " << parsed.error;
        EXPECT_TRUE(row.holds(parsed)) << line;
    }
}

TEST(ServiceOptions, BadCommandLines)
{
    struct Row {
        std::vector<std::string> args;
        const char *error;
    };
    const Row rows[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--listen"}, "--listen needs ADDR:PORT"},
        {{"--listen", "nowhere"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:99999"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:-1"}, "--listen needs ADDR:PORT"},
        {{"--listen", "::1:8765"}, "--listen needs ADDR:PORT"},
        {{"--listen", "[::1:8765"}, "--listen needs ADDR:PORT"},
        {{"--listen", "localhost:8765"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:"}, "--listen needs ADDR:PORT"},
        {{"--threads", "0"}, "--threads needs a number from 1 to 64"},
        {{"--threads", "65"}, "--threads needs a number from 1 to 64"},
        {{"--threads", "2x"}, "--threads needs a number from 1 to 64"},
        {{"--read-timeout", "0"}, "--read-timeout needs seconds from 1 to 3600"},
        {{"--idle-timeout", "3601"}, "--idle-timeout needs seconds from 1 to 3600"},
        {{"--exit-idle-time"}, "--exit-idle-time needs seconds from 1 to 86400"},
        {{"--exit-idle-time", "0"}, "--exit-idle-time needs seconds from 1 to 86400"},
        {{"--exit-idle-time", "86401"}, "--exit-idle-time needs seconds from 1 to 86400"},
        {{"--exit-idle-time", "1.5"}, "--exit-idle-time needs seconds from 1 to 86400"},
        {{"--refresh-wait"}, "--refresh-wait needs seconds from 0 to 60"},
        {{"--refresh-wait", "61"}, "--refresh-wait needs seconds from 0 to 60"},
        {{"--refresh-wait", "-1"}, "--refresh-wait needs seconds from 0 to 60"},
        {{"--refresh-wait", "0.5"}, "--refresh-wait needs seconds from 0 to 60"},
        {{"--daily-url"}, "--daily-url needs a URL"},
        {{"--ecb-url"}, "--ecb-url needs a URL"},
        {{"--data-dir"}, "--data-dir needs a folder"},
        {{"--data-dir", ""}, "--data-dir needs a folder"},
        {{"--cache-dir"}, "--cache-dir needs a folder"},
        {{"--cache-dir", ""}, "--cache-dir needs a folder"},
        {{"--listen", ""}, "--listen needs ADDR:PORT"},
        {{"--threads", ""}, "--threads needs a number from 1 to 64"},
        {{"--read-timeout", ""}, "--read-timeout needs seconds from 1 to 3600"},
        {{"--exit-idle-time", ""}, "--exit-idle-time needs seconds from 1 to 86400"},
        {{"--quiet", "extra"}, "unknown option extra"},
    };
    for (const auto &row : rows) {
        const auto parsed = parseOptions(row.args);
        EXPECT_EQ(parsed.outcome, Outcome::Bad) << row.error;
        EXPECT_TRUE(parsed.error.starts_with(row.error)) << parsed.error;
    }
}
