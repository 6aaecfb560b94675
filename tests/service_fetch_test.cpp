// What the service makes of a transfer: a feed only whole and only from a 200
// answer, with the transfer's reason otherwise (no socket needed), and the libcurl
// fetcher asking with its agent on loopback. How a transfer ends is tested on the
// transfer (curl_transfer_test.cpp); what the refresh makes of a document on a
// fake Fetcher (service_refresh_test.cpp).
#include "service/curl_fetcher.h"

#include "loopback_http_server.h"
#include "service_test_data.h"

#include <gtest/gtest.h>

using namespace korvalux::service;
using namespace korvalux::service::testData;
using namespace std::chrono_literals;
using core::DownloadFailure;

TEST(ServiceFetch, TakesOnlyAWholeAnswerOf200)
{
    const std::string cut = "<gesmes:Envelope><Cube><Cube time='2026-07-07'>";
    const struct {
        const char *name;
        transfer::Result got;
        FetchResult taken;
    } rows[] = {
        {"whole", {200, ecbText(), DownloadFailure::None, ""}, {ecbText(), ""}},
        {"another status", {503, ecbText(), DownloadFailure::None, ""}, {"", "HTTP status 503"}},
        {"redirected nowhere", {302, "", DownloadFailure::None, ""}, {"", "HTTP status 302"}},
        {"cut", {200, cut, DownloadFailure::Cut, "body: cut short"}, {"", "body: cut short"}},
        {"stalled", {200, cut, DownloadFailure::TimedOut, "receive: nothing for 30000 ms"},
            {"", "receive: nothing for 30000 ms"}},
        {"refused", {0, "", DownloadFailure::ConnectionRefused, "connect: refused"},
            {"", "connect: refused"}},
        // Nothing tells the transfer that a text without a length is cut: the
        // parser refuses it.
        {"cut without a length", {200, cut, DownloadFailure::None, ""}, {cut, ""}},
    };
    for (const auto &row : rows) {
        const FetchResult taken = feedResult(row.got);
        EXPECT_EQ(taken.body, row.taken.body) << row.name;
        EXPECT_EQ(taken.error, row.taken.error) << row.name;
    }
}

// Nothing else would notice a changed bound: every fetch test passes its own.
TEST(ServiceFetch, FeedLimitsBoundEveryRefresh)
{
    EXPECT_EQ(feedLimits.connectTimeout, 15s);
    EXPECT_EQ(feedLimits.stallTimeout, 30s);
    EXPECT_EQ(feedLimits.totalTimeout, 60s);
    EXPECT_EQ(feedLimits.maxBodyBytes, 8u * 1024 * 1024);
}

TEST(ServiceFetch, CurlFetcherAsksWithItsAgent)
{
    loopback::Server server([](const loopback::Request &request) {
        return request.target == "/ecb" ? loopback::response(200, ecbText())
                                        : loopback::response(404, "none");
    });
    ASSERT_TRUE(server.start());
    CurlFetcher fetcher;
    const FetchResult whole = fetcher.fetch(server.baseUrl() + "/ecb", feedLimits, nullptr);
    EXPECT_EQ(whole.error, "");
    EXPECT_EQ(whole.body, ecbText());
    const FetchResult missing = fetcher.fetch(server.baseUrl() + "/gone", feedLimits, nullptr);
    EXPECT_EQ(missing.error, "HTTP status 404");
    EXPECT_EQ(missing.body, "");
    server.stop();
    for (const loopback::Request &request : server.requests())
        EXPECT_EQ(request.header("User-Agent"), "korvalux-service/1.0") << request.raw;
    EXPECT_EQ(server.requests().size(), 2u);
}
