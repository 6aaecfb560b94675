// The service's WinINet fetcher under Wine against the loopback server: what a
// feed fetch gives for each kind of answer, the request it sends, and how soon a
// cancel or the overall bound ends it. A stall (no byte at all for a while) is
// left out: Wine's WinINet does not keep INTERNET_OPTION_RECEIVE_TIMEOUT.
#include "service/wininet_fetcher.h"

#include "loopback_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using korvalux::service::FetchLimits;
using korvalux::service::FetchResult;
using korvalux::service::WinInetFetcher;

std::string head(std::size_t length)
{
    return loopback::responseHead(200, {{"Content-Length", std::to_string(length)}});
}

// Content-Length given, then a byte each 100 ms: a transfer of about ten seconds.
loopback::Answer trickle()
{
    loopback::Answer answer;
    answer.send(head(100));
    for (int i = 0; i < 100; ++i)
        answer.send("x").pause(100ms);
    return answer;
}

TEST(WinInetFetcher, GivesTheBodyOfA200AndFailsEverythingElse)
{
    const std::string feed = "<Cube time='2026-07-06'/>";
    const FetchLimits defaults;
    FetchLimits small;
    small.maxBytes = 4096;
    FetchLimits briefly;
    briefly.transferTimeout = 1s;
    const struct {
        const char *what;
        loopback::Answer answer;
        FetchLimits limits;
        std::chrono::milliseconds cancelAfter; // negative: never; zero: before the fetch
        std::string body;
        std::string error; // a part of the expected error; empty for success
    } rows[] = {
        {"200", loopback::response(200, feed), defaults, -1ms, feed, ""},
        {"200 chunked",
            loopback::Answer()
                .send(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}))
                .send(loopback::chunk(feed.substr(0, 5)))
                .send(loopback::chunk(feed.substr(5)))
                .send(loopback::chunk("")),
            defaults, -1ms, feed, ""},
        {"redirect", loopback::response(302, "", {{"Location", "/moved"}}), defaults, -1ms, feed,
            ""},
        {"404", loopback::response(404, "not here"), defaults, -1ms, "", "404"},
        {"500", loopback::response(500, feed), defaults, -1ms, "", "500"},
        {"announced over the cap", loopback::response(200, std::string(5000, 'c')), small, -1ms, "",
            "larger than 4096"},
        {"over the cap, no length",
            loopback::Answer()
                .send(loopback::responseHead(200, {{"Connection", "close"}}))
                .send(std::string(5000, 'c'))
                .close(),
            small, -1ms, "", "larger than 4096"},
        {"cut mid-body", loopback::Answer().send(head(100)).send(std::string(50, 'x')).close(),
            defaults, -1ms, "", "cut short"},
        {"past the overall bound", trickle(), briefly, -1ms, "", "timed out"},
        {"cancelled before", loopback::response(200, feed), defaults, 0ms, "", "cancelled"},
        {"cancelled mid-body", trickle(), defaults, 500ms, "", "cancelled"},
    };

    for (const auto &row : rows) {
        loopback::Server server([&](const loopback::Request &request) {
            return request.target == "/moved" ? loopback::response(200, feed) : row.answer;
        });
        ASSERT_TRUE(server.start());
        std::atomic<bool> cancel {row.cancelAfter == 0ms};
        std::thread canceller;
        if (row.cancelAfter > 0ms)
            canceller = std::thread([&] {
                std::this_thread::sleep_for(row.cancelAfter);
                cancel = true;
            });
        const auto started = std::chrono::steady_clock::now();
        const FetchResult result
            = WinInetFetcher().fetch(server.baseUrl() + "/feed.xml", row.limits, &cancel);
        const auto took = std::chrono::steady_clock::now() - started;
        if (canceller.joinable())
            canceller.join();
        server.stop();

        EXPECT_EQ(result.body, row.body) << row.what;
        if (row.error.empty())
            EXPECT_EQ(result.error, "") << row.what;
        else
            EXPECT_NE(result.error.find(row.error), std::string::npos)
                << row.what << ": " << result.error;
        // Every ending well before the trickle's ten seconds.
        EXPECT_LT(took, 4s) << row.what;
        if (row.cancelAfter == 0ms) {
            EXPECT_EQ(server.requests().size(), 0u) << row.what;
        }
        for (const loopback::Request &request : server.requests()) {
            EXPECT_EQ(request.method, "GET") << row.what;
            EXPECT_EQ(request.header("User-Agent"), "korvalux-service/1.0") << row.what;
            EXPECT_TRUE(request.header("Pragma") == "no-cache"
                || request.header("Cache-Control") == "no-cache")
                << row.what << "\n"
                << request.raw;
        }
    }
}

TEST(WinInetFetcher, FailsWhereNothingListensOrTheSchemeIsNotHttp)
{
    loopback::Server closed([](const loopback::Request &) { return loopback::Answer(); });
    ASSERT_TRUE(closed.start());
    const std::string nobody = closed.baseUrl();
    closed.stop(); // nothing listens there now
    for (const std::string &url : {nobody + "/feed.xml", std::string("ftp://127.0.0.1/feed.xml"),
             std::string("file:///C:/windows/win.ini")}) {
        const FetchResult result = WinInetFetcher().fetch(url, FetchLimits {}, nullptr);
        EXPECT_EQ(result.body, "") << url;
        EXPECT_NE(result.error, "") << url;
    }
}

} // namespace
