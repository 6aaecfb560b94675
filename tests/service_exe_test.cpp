// The real korvalux-service.exe under Wine, started as the window or an
// installer would start it: the converter answered from the snapshot beside it,
// keep-alive, a framing refusal, its leaving once idle, and the refresh through
// WinINet into the cache.
#include "feed_handlers.h"
#include "loopback_http_server.h"
#include "service_exe_process.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using testing_support::TempFolder;

std::string get(const std::string &target, const std::string &extra = "")
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

std::vector<std::wstring> arguments(const TempFolder &cache, std::vector<std::wstring> more)
{
    std::vector<std::wstring> args {
        L"--listen", L"127.0.0.1:0", L"--cache-dir", cache.path().wstring(), L"--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(ServiceExe, AnswersFromTheSnapshotBesideIt)
{
    TempFolder cache("korvalux-exe-test");
    exe::ServiceProcess service(KORVALUX_SERVICE_EXE, arguments(cache, {}));
    ASSERT_TRUE(service.started());
    const unsigned short port = service.waitForPort(30s);
    ASSERT_NE(port, 0) << service.log();

    const struct {
        const char *what;
        std::string request;
        std::string status;
        std::string text; // in the answer
    } rows[] = {
        {"converter", get("/finance/converter?a=1&from=USD&to=EUR"), "HTTP/1.1 200",
            "1 USD = <b>0.8760 EUR</b> (2026-07-06)"},
        {"kept alive", get("/finance/converter?a=100&from=USD&to=EUR"), "HTTP/1.1 200",
            "100 USD = <b>87.6040 EUR</b> (2026-07-06)"},
        {"folded header", get("/finance/converter?a=1&from=USD&to=EUR", "X-A: a\r\n b\r\n"),
            "HTTP/1.1 400", "folded header line"},
    };
    exe::Client client(port); // one connection for every row
    ASSERT_TRUE(client.connected());
    for (const auto &row : rows) {
        const std::string answer = client.exchange(row.request);
        EXPECT_EQ(answer.rfind(row.status, 0), 0u) << row.what << "\n" << answer;
        EXPECT_NE(answer.find(row.text), std::string::npos) << row.what << "\n" << answer;
    }
    // The snapshot came from data\ beside the program.
    EXPECT_NE(service.log().find("\\data\\eurofxref-daily-2026-07-06.xml"), std::string::npos)
        << service.log();
}

// A console control event is not delivered to another process under Wine
// (GenerateConsoleCtrlEvent fails there), so what the console's handler does is
// tested in-process (service_console_test.cpp).
TEST(ServiceExe, LeavesWithCodeZeroOnceIdle)
{
    const struct {
        const char *what;
        bool request; // one request, the connection open a while, then closed
    } rows[] = {
        {"never asked", false},
        {"idle after the last connection", true},
    };
    for (const auto &row : rows) {
        TempFolder cache("korvalux-exe-test");
        exe::ServiceProcess service(
            KORVALUX_SERVICE_EXE, arguments(cache, {L"--exit-idle-time", L"1"}));
        ASSERT_TRUE(service.started()) << row.what;
        const unsigned short port = service.waitForPort(30s);
        ASSERT_NE(port, 0) << row.what << "\n" << service.log();
        if (row.request) {
            exe::Client client(port);
            EXPECT_NE(client.exchange(get("/finance/converter?a=1&from=USD&to=EUR")), "");
            // An open connection keeps it, however long.
            EXPECT_EQ(service.waitForExit(1500ms), std::nullopt) << row.what;
        }
        EXPECT_EQ(service.waitForExit(15s), std::optional<DWORD>(0)) << row.what << "\n"
                                                                     << service.log();
        EXPECT_NE(service.log().find("no connection for 1 s, leaving"), std::string::npos)
            << row.what << "\n"
            << service.log();
        EXPECT_NE(service.log().find("korvalux-service: stopped"), std::string::npos)
            << row.what << "\n"
            << service.log();
    }
}

// The snapshot, of 2026-07-06, is stale today: with --refresh the first
// converter answer waits for the feeds. One that answers gives today's rates
// and fills the cache; one that stalls is waited for only briefly, and holds
// neither the answer nor the leaving.
TEST(ServiceExe, RefreshesThroughWinInetAndLeavesWhateverTheFeeds)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char today[16];
    std::snprintf(today, sizeof today, "%04u-%02u-%02u", now.wYear % 10000u, now.wMonth % 100u,
        now.wDay % 100u);
    // Appended, not "(" + ... + ")": GCC 12 at -O3 warns falsely (-Wrestrict) there.
    const std::string todayShown = std::string("(").append(today).append(")");
    loopback::Server answering(feeds::ofDay(today), false);
    loopback::Server stalling(feeds::stalling(), false);
    ASSERT_TRUE(answering.start());
    ASSERT_TRUE(stalling.start());
    const struct {
        const char *what;
        const loopback::Server &feed;
        std::wstring wait;
        std::string shown;
        bool cached;
    } rows[] = {
        {"the feeds answer", answering, L"30", todayShown, true},
        {"the feeds stall", stalling, L"1", "(2026-07-06)", false},
    };
    for (const auto &row : rows) {
        TempFolder cache("korvalux-exe-test");
        const std::string url = row.feed.baseUrl();
        const std::wstring base(url.begin(), url.end());
        exe::ServiceProcess service(KORVALUX_SERVICE_EXE,
            arguments(cache,
                {L"--refresh", L"--refresh-wait", row.wait, L"--exit-idle-time", L"1", L"--ecb-url",
                    base + L"/ecb", L"--daily-url", base + L"/daily"}));
        ASSERT_TRUE(service.started()) << row.what;
        const unsigned short port = service.waitForPort(30s);
        ASSERT_NE(port, 0) << row.what << "\n" << service.log();
        {
            exe::Client client(port);
            const std::string answer
                = client.exchange(get("/finance/converter?a=1&from=USD&to=EUR"));
            EXPECT_NE(answer.find(row.shown), std::string::npos) << row.what << "\n" << answer;
        }
        // A stalled transfer left behind never holds the leaving.
        EXPECT_EQ(service.waitForExit(10s), std::optional<DWORD>(0)) << row.what << "\n"
                                                                     << service.log();
        EXPECT_EQ(fs::exists(cache.path() / "ecb.xml"), row.cached) << row.what;
        EXPECT_EQ(fs::exists(cache.path() / "daily.json"), row.cached) << row.what;
    }
    answering.stop();
    stalling.stop();
}

} // namespace
