// The WinINet transfer under Wine against loopback servers: every way a GET can
// end, above all the servers Wine's WinINet would wait on for ever (one that
// accepts and never answers, one that trickles its status line, one that
// trickles its body), which must end within the bound given; the request it
// sends, and WinINet's open failures classified. The default bound, 60 s, is
// checked with the other defaults in core_download_test.
#include "transfer/wininet_transfer.h"

#include "loopback_http_server.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using core::DownloadFailure;
using core::DownloadLimits;

std::string head(std::size_t length)
{
    return loopback::responseHead(200, {{"Content-Length", std::to_string(length)}});
}

TEST(WinInetTransfer, EndsEveryWayAGetCanWithinItsBound)
{
    const std::string feed = "<Cube time='2026-07-06'/>";
    const std::string body(100, 'x');
    const DownloadLimits defaults;
    const DownloadLimits capped {60s, 60s, 4096, 60s};
    // The bound these servers meet: two seconds, not the default sixty.
    const DownloadLimits bound {60s, 60s, 1 << 20, 2s};
    const DownloadLimits stall {60s, 500ms, 1 << 20, 60s};
    struct Row {
        const char *name;
        loopback::Answer answer;
        DownloadLimits limits {};
        std::chrono::milliseconds cancelAfter {-1}; // negative: never; zero: before the GET
        long status = 200;
        std::string body = "";
        bool prefix = false; // only a part of body, from its start, arrives
        DownloadFailure failure = DownloadFailure::None;
        std::string error = ""; // a part of the error text
        std::chrono::milliseconds within {4000};
    };
    const Row rows[] = {
        {.name = "200", .answer = loopback::response(200, feed), .body = feed},
        {.name = "404 with its body",
            .answer = loopback::response(404, "not here"),
            .status = 404,
            .body = "not here"},
        {.name = "chunked",
            .answer = loopback::Answer()
                          .send(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}))
                          .send(loopback::chunk(feed.substr(0, 5)))
                          .send(loopback::chunk(feed.substr(5)))
                          .send(loopback::chunk("")),
            .body = feed},
        {.name = "several reads",
            .answer = loopback::response(200, std::string(20000, 'b')),
            .body = std::string(20000, 'b')},
        {.name = "redirect",
            .answer = loopback::response(302, "", {{"Location", "/moved"}}),
            .body = feed},
        {.name = "announced over the cap",
            .answer = loopback::response(200, std::string(5000, 'c')),
            .limits = capped,
            .failure = DownloadFailure::TooLarge,
            .error = "body: larger than 4096 bytes"},
        {.name = "over the cap, no length",
            .answer = loopback::Answer()
                          .send(loopback::responseHead(200, {{"Connection", "close"}}))
                          .send(std::string(5000, 'c'))
                          .close(),
            .limits = capped,
            .failure = DownloadFailure::TooLarge,
            .error = "larger than 4096"},
        {.name = "cut mid-body",
            .answer = loopback::Answer().send(head(100) + body.substr(0, 50)).close(),
            .body = body.substr(0, 50),
            .failure = DownloadFailure::Cut,
            .error = "body: cut short after 50 of 100 bytes"},
        {.name = "accepted, never answered",
            .answer = loopback::Answer().pause(30s),
            .limits = bound,
            .status = 0,
            .failure = DownloadFailure::TimedOut,
            .error = "no end within 2000 ms",
            .within = 3500ms},
        {.name = "status line trickled",
            .answer = loopback::trickle("", "HTTP/1.1 200 OK\r\n" + std::string(300, ' ')),
            .limits = bound,
            .status = 0,
            .failure = DownloadFailure::TimedOut,
            .error = "no end within 2000 ms",
            .within = 3500ms},
        {.name = "body trickled",
            .answer = loopback::trickle(head(300), std::string(300, 'x')),
            .limits = bound,
            .body = std::string(300, 'x'),
            .prefix = true,
            .failure = DownloadFailure::TimedOut,
            .error = "no end within 2000 ms",
            .within = 3500ms},
        {.name = "stalled mid-body",
            .answer = loopback::Answer().send(head(100) + "xx").pause(30s),
            .limits = stall,
            .body = "xx",
            .failure = DownloadFailure::TimedOut,
            .error = "receive: nothing for 500 ms"},
        {.name = "cancelled before",
            .answer = loopback::response(200, feed),
            .cancelAfter = 0ms,
            .status = 0,
            .failure = DownloadFailure::Cancelled,
            .error = "cancelled"},
        {.name = "cancelled mid-body",
            .answer = loopback::trickle(head(300), std::string(300, 'x')),
            .cancelAfter = 500ms,
            .body = std::string(300, 'x'),
            .prefix = true,
            .failure = DownloadFailure::Cancelled,
            .error = "cancelled"},
        {.name = "cancelled while stalled",
            .answer = loopback::Answer().send(head(100)).send("xx").pause(30s),
            .cancelAfter = 500ms,
            .body = "xx",
            .failure = DownloadFailure::Cancelled,
            .error = "cancelled"},
    };

    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        loopback::Server server([&](const loopback::Request &request) {
            return request.target == "/moved" ? loopback::response(200, feed) : row.answer;
        });
        ASSERT_TRUE(server.start());
        transfer::WinInetTransfer transfer("korvalux-test");
        ASSERT_TRUE(transfer.isOpen());
        std::atomic<bool> cancel {row.cancelAfter == 0ms};
        std::thread canceller;
        if (row.cancelAfter > 0ms) {
            canceller = std::thread([&] {
                std::this_thread::sleep_for(row.cancelAfter);
                cancel = true;
            });
        }
        const auto started = std::chrono::steady_clock::now();
        const transfer::Result result
            = transfer.get(server.baseUrl() + "/feed", row.limits, &cancel);
        const auto took = std::chrono::steady_clock::now() - started;
        if (canceller.joinable())
            canceller.join();
        server.stop();

        EXPECT_LT(took, row.within);
        EXPECT_EQ(result.status, row.status);
        if (row.prefix) {
            EXPECT_LT(result.body.size(), row.body.size());
            EXPECT_EQ(row.body.substr(0, result.body.size()), result.body);
        } else {
            EXPECT_EQ(result.body, row.body);
        }
        EXPECT_EQ(result.failure, row.failure) << result.error;
        EXPECT_EQ(result.error.empty(), row.failure == DownloadFailure::None) << result.error;
        EXPECT_NE(result.error.find(row.error), std::string::npos) << result.error;
        if (row.cancelAfter == 0ms) {
            EXPECT_EQ(server.requests().size(), 0u);
        }
        for (const loopback::Request &request : server.requests()) {
            EXPECT_EQ(request.method, "GET");
            EXPECT_EQ(request.header("User-Agent"), "korvalux-test");
            EXPECT_TRUE(request.header("Pragma") == "no-cache"
                || request.header("Cache-Control") == "no-cache")
                << request.raw;
        }
    }
}

TEST(WinInetTransfer, FailsWhereNothingListensOrTheSchemeIsNotHttp)
{
    loopback::Server closed([](const loopback::Request &) { return loopback::Answer(); });
    ASSERT_TRUE(closed.start());
    const std::string nobody = closed.baseUrl() + "/x";
    closed.stop(); // nothing listens there now
    const struct {
        std::string url;
        DownloadFailure failure;
        const char *error;
    } rows[] = {
        {nobody, DownloadFailure::ConnectionRefused, "request: "},
        {"ftp://127.0.0.1/feed.xml", DownloadFailure::Other, "address: "},
        {"file:///C:/windows/win.ini", DownloadFailure::Other, "address: "},
    };
    transfer::WinInetTransfer transfer("korvalux-test");
    for (const auto &row : rows) {
        const transfer::Result result = transfer.get(row.url, {}, nullptr);
        EXPECT_EQ(result.body, "") << row.url;
        EXPECT_EQ(result.failure, row.failure) << row.url;
        EXPECT_NE(result.error.find(row.error), std::string::npos) << result.error;
    }
}

TEST(WinInetTransfer, OnlyCannotConnectCountsAsRefused)
{
    const struct {
        unsigned long error;
        DownloadFailure failure;
    } rows[] = {
        {ERROR_INTERNET_CANNOT_CONNECT, DownloadFailure::ConnectionRefused},
        {ERROR_INTERNET_TIMEOUT, DownloadFailure::TimedOut},
        {10060, DownloadFailure::TimedOut}, // WSAETIMEDOUT, as Wine 10 gives it
        {ERROR_INTERNET_NAME_NOT_RESOLVED, DownloadFailure::Other},
        {ERROR_INTERNET_CONNECTION_RESET, DownloadFailure::Other},
        {ERROR_INTERNET_INVALID_URL, DownloadFailure::Other},
        {0, DownloadFailure::Other},
    };
    for (const auto &row : rows)
        EXPECT_EQ(transfer::classifyOpenFailure(row.error), row.failure) << row.error;
}

} // namespace
