// The reload on SIGHUP as one table of dates: what the data folder offers
// against what is in use. A document dated before the one in use of its feed is
// never installed (the rule a refresh keeps too); one of the same day or later is.
// A request is served on the keeper's thread, with a refresh after it when the
// keeper refreshes, also one asked before the thread started.
#include "service/rate_keeper.h"
#include "service/rate_store.h"

#include "service_fake_feeds.h"
#include "service_test_data.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

// USD at 1.2 per EUR marks the rates in use: 100 USD = 83.3333 EUR.
RateDocument ecbInUse(const std::string &date)
{
    return document(
        parseEcbDocument(replaced(replaced(ecbText(), "2026-07-06", date), "'1.1415'", "'1.2'")));
}

RateDocument dailyInUse(const std::string &date)
{
    return document(parseDailyTableDocument(replaced(dailyText(), "2026-07-06", date)));
}

class Folder
{
public:
    Folder() { m_path = testing_support::makeTempFolder("korvalux-reload"); }
    ~Folder() { fs::remove_all(m_path); }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

} // namespace

TEST(ServiceReload, NeverTakesTheRatesBackInTime)
{
    struct Row {
        const char *name;
        const char *inUse[2]; // ECB, daily
        const char *offered[2]; // the snapshot files in the data folder
        bool ecbTaken; // USD back at the snapshot's 1.1415
        const char *dailyAfter;
        const char *logged;
    };
    const Row rows[] = {
        // A refresh took newer rates but could not write the cache.
        {"older on both feeds", {"2026-07-20", "2026-07-20"}, {"2026-07-06", "2026-07-06"}, false,
            "2026-07-20",
            "reloaded: ECB rates of 2026-07-20 kept, the 2026-07-06 read is older, daily table of "
            "2026-07-20 kept, the 2026-07-06 read is older"},
        {"newer on both feeds", {"2026-07-06", "2026-07-06"}, {"2026-07-09", "2026-07-10"}, true,
            "2026-07-10", "reloaded: ECB rates of 2026-07-09, daily table of 2026-07-10"},
        {"the same day", {"2026-07-06", "2026-07-06"}, {"2026-07-06", "2026-07-06"}, true,
            "2026-07-06", "reloaded: ECB rates of 2026-07-06, daily table of 2026-07-06"},
        {"ECB older, daily newer", {"2026-07-20", "2026-07-06"}, {"2026-07-06", "2026-07-09"},
            false, "2026-07-09",
            "ECB rates of 2026-07-20 kept, the 2026-07-06 read is older, daily table of "
            "2026-07-09"},
        {"ECB newer, daily older", {"2026-07-06", "2026-07-20"}, {"2026-07-09", "2026-07-06"}, true,
            "2026-07-20", "daily table of 2026-07-20 kept"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Folder data;
        const Folder cache;
        std::ofstream(data.path() / ("eurofxref-daily-" + std::string(row.offered[0]) + ".xml"))
            << replaced(ecbText(), "2026-07-06", row.offered[0]);
        std::ofstream(data.path() / ("currency-api-eur-" + std::string(row.offered[1]) + ".json"))
            << replaced(dailyText(), "2026-07-06", row.offered[1]);
        RateStore store(ecbInUse(row.inUse[0]), dailyInUse(row.inUse[1]));
        std::vector<std::string> log;
        KeeperOptions options;
        options.dataDir = data.path();
        options.cacheDir = cache.path();
        FakeFeeds feeds([](const std::string &) { return failure("not asked"); });
        RateKeeper keeper(
            store, options, [&](const std::string &line) { log.push_back(line); }, feeds);
        keeper.reloadNow();

        EXPECT_EQ(store.date(Feed::Ecb), row.ecbTaken ? row.offered[0] : row.inUse[0]);
        EXPECT_EQ(formatExact(store.table()->find("USD")->perEur), row.ecbTaken ? "1.1415" : "1.2");
        EXPECT_EQ(store.date(Feed::Daily), row.dailyAfter);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find(row.logged), std::string::npos) << log[0];
    }
}

TEST(ServiceReload, ARequestIsServedOnTheKeepersThread)
{
    struct Row {
        const char *name;
        bool refresh;
        bool askedBeforeStart;
        int fetches; // of both feeds, by the time the reload is done
    };
    const Row rows[] = {
        {"without --refresh", false, false, 0},
        {"without --refresh, asked before the start", false, true, 0},
        // The first round, then the reload's own.
        {"with --refresh", true, false, 4},
        // The reload's round is the first one.
        {"with --refresh, asked before the start", true, true, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Folder cache;
        RateStore store(ecbInUse("2026-07-06"), dailyInUse("2026-07-06"));
        FakeFeeds feeds([](const std::string &) { return failure("HTTP status 503"); });
        KeeperOptions options;
        options.refresh = row.refresh;
        options.dataDir = KORVALUX_SERVICE_TEST_DATA;
        options.cacheDir = cache.path();
        options.ecbUrl = "ecb";
        options.dailyUrls = {"daily"};
        std::mutex logMutex;
        std::vector<std::string> log;
        RateKeeper keeper(
            store, options,
            [&](const std::string &line) {
                std::lock_guard lock(logMutex);
                log.push_back(line);
            },
            feeds);
        const auto reloaded = [&] {
            std::lock_guard lock(logMutex);
            return std::any_of(log.begin(), log.end(), [](const std::string &line) {
                return line.find("reloaded:") != std::string::npos;
            });
        };
        const auto waitFor = [](const auto &done) {
            const auto giveUp = std::chrono::steady_clock::now() + 10s;
            while (!done() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(5ms);
        };
        if (row.askedBeforeStart)
            keeper.requestReload();
        keeper.start();
        if (!row.askedBeforeStart) {
            // Asked once the first round has begun, so it comes after that round.
            waitFor([&] { return feeds.fetches() >= (row.refresh ? 2 : 0); });
            keeper.requestReload();
        }
        waitFor([&] { return reloaded() && feeds.fetches() >= row.fetches; });
        // Time for a round that should not come.
        std::this_thread::sleep_for(50ms);
        keeper.stop();
        EXPECT_TRUE(reloaded());
        EXPECT_EQ(feeds.fetches(), row.fetches);
        // The snapshot of the day in use replaces the marked rates.
        EXPECT_EQ(formatExact(store.table()->find("USD")->perEur), "1.1415");
    }
}
