// The real korvalux-service.exe under Wine, started as the window or an
// installer would start it: the converter answered from the snapshot beside it,
// keep-alive, a framing refusal, and its leaving once idle.
#include "service_exe_process.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
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

} // namespace
