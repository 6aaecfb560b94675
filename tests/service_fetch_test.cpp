// CurlFetcher against scripted servers on loopback: what only a real transfer
// shows. A whole document comes back as sent; a status other than 200, a body
// over the cap, a cut or stalled transfer and a refused connection fail with
// the reason; a cancel ends a transfer under way. What the refresh makes of a
// document is tested on a fake Fetcher (service_refresh_test.cpp).
#include "service/curl_fetcher.h"

#include "loopback_http_server.h"
#include "service_test_data.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace korvalux::service;
using namespace korvalux::service::testData;
using namespace std::chrono_literals;

TEST(ServiceFetch, CurlFetcherTakesOnlyAWholeDocument)
{
    struct Row {
        const char *name;
        std::function<loopback::Answer()> answer;
        const char *error; // a part of the reason; "" when it succeeds
        std::string body; // what comes back on success
    };
    const std::string cut = "<gesmes:Envelope><Cube><Cube time='2026-07-07'>";
    const Row rows[] = {
        {"whole", [] { return loopback::response(200, ecbText()); }, "", ecbText()},
        {"refused with a status", [] { return loopback::response(503, ecbText()); },
            "HTTP status 503", ""},
        {"too large", [] { return loopback::response(200, std::string(100 * 1024, ' ')); },
            "larger than 65536 bytes", ""},
        {"shorter than its length",
            [] {
                return loopback::Answer()
                    .send(loopback::responseHead(200, {{"Content-Length", "5000"}})
                        + ecbText().substr(0, 700))
                    .close();
            },
            // libcurl's words differ by release ("transfer closed with 4300 bytes
            // remaining to read", "end of response with 4300 bytes missing").
            "4300 bytes", ""},
        // Nothing tells the transfer that the text is cut: the parser refuses it.
        {"cut without a length",
            [&] {
                return loopback::Answer()
                    .send(loopback::responseHead(200, {{"Connection", "close"}}) + cut)
                    .close();
            },
            "", cut},
        {"stalled",
            [] {
                return loopback::Answer()
                    .send(loopback::responseHead(200, {{"Content-Length", "5000"}}) + "<?xml")
                    .pause(20s);
            },
            "timed out", ""},
    };
    CurlFetcher fetcher;
    FetchLimits limits;
    limits.connectTimeout = 2000ms;
    limits.transferTimeout = 1500ms;
    limits.maxBytes = 64 * 1024;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        loopback::Server server([&](const loopback::Request &) { return row.answer(); }, false);
        ASSERT_TRUE(server.start());
        const FetchResult result = fetcher.fetch(server.baseUrl() + "/ecb", limits, nullptr);
        server.stop();
        if (*row.error) {
            EXPECT_NE(result.error.find(row.error), std::string::npos) << result.error;
        } else {
            EXPECT_EQ(result.error, "");
        }
        EXPECT_EQ(result.body, row.body);
    }

    // Nobody listens on a port just given back.
    loopback::Server gone([](const loopback::Request &) { return loopback::response(200, ""); });
    ASSERT_TRUE(gone.start());
    const std::string url = gone.baseUrl() + "/ecb";
    gone.stop();
    const FetchResult refused = fetcher.fetch(url, limits, nullptr);
    EXPECT_NE(refused.error, "");
    EXPECT_EQ(refused.body, "");
}

TEST(ServiceFetch, CancelEndsATransferUnderWay)
{
    loopback::Server server(
        [](const loopback::Request &) {
            return loopback::Answer()
                .send(loopback::responseHead(200, {{"Content-Length", "9"}}))
                .pause(10s);
        },
        false);
    ASSERT_TRUE(server.start());
    CurlFetcher fetcher;
    FetchLimits limits;
    limits.transferTimeout = 30s;
    std::atomic<bool> cancel {false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        cancel = true;
    });
    const auto before = std::chrono::steady_clock::now();
    const FetchResult result = fetcher.fetch(server.baseUrl() + "/ecb", limits, &cancel);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    stopper.join();
    server.stop();
    EXPECT_NE(result.error, "");
    EXPECT_EQ(result.body, "");
}
