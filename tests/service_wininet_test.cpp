// The service's WinINet fetcher under Wine against the loopback server: the feed
// asked with the service's agent, its body from a 200 answer, and a failure for
// any other status or an ending the transfer reports. How a transfer ends is
// tested on the transfer (wininet_transfer_test.cpp), what the service makes of
// a result on Linux (service_fetch_test.cpp).
#include "service/wininet_fetcher.h"

#include "loopback_http_server.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using korvalux::service::feedLimits;
using korvalux::service::FetchResult;
using korvalux::service::WinInetFetcher;

TEST(WinInetFetcher, TakesTheBodyOfA200AndFailsEverythingElse)
{
    const std::string feed = "<Cube time='2026-07-06'/>";
    const struct {
        const char *what;
        loopback::Answer answer;
        std::string body;
        std::string error; // a part of the expected error; empty for success
    } rows[] = {
        {"200", loopback::response(200, feed), feed, ""},
        {"404", loopback::response(404, "not here"), "", "HTTP status 404"},
        {"cut mid-body",
            loopback::Answer()
                .send(loopback::responseHead(200, {{"Content-Length", "100"}}) + feed)
                .close(),
            "", "body: cut short"},
    };
    for (const auto &row : rows) {
        loopback::Server server([&](const loopback::Request &) { return row.answer; });
        ASSERT_TRUE(server.start());
        const FetchResult result
            = WinInetFetcher().fetch(server.baseUrl() + "/feed.xml", feedLimits, nullptr);
        server.stop();
        EXPECT_EQ(result.body, row.body) << row.what;
        if (row.error.empty()) {
            EXPECT_EQ(result.error, "") << row.what;
        } else {
            EXPECT_NE(result.error.find(row.error), std::string::npos)
                << row.what << ": " << result.error;
        }
        for (const loopback::Request &request : server.requests()) {
            EXPECT_EQ(request.header("User-Agent"), "korvalux-service/1.0") << row.what;
        }
    }
}

} // namespace
