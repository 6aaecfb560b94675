// The reload on SIGHUP as one table of dates: what the data folder offers
// against what is in use. A document dated before the one in use of its feed is
// never installed (the rule a refresh keeps too); one of the same day or later is.
// A request is served on the keeper's thread, with a refresh after it when the
// keeper refreshes, also one asked before the thread started. Then reloads while
// a round stalls or crawls, which are served at once, and bursts of them, which
// ask the feeds again only when the last round failed or is old.
#include "service/rate_keeper.h"
#include "service/rate_store.h"

#include "service_fake_feeds.h"
#include "service_test_data.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

// The keeper's log, written from its threads and read by the test.
class KeeperLog
{
public:
    LogFunction sink()
    {
        return [this](const std::string &line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    int count(std::string_view part) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
            [&](const std::string &line) { return line.find(part) != std::string::npos; }));
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Bounded: a wait that runs out fails the checks after it.
template<typename Done> bool waitFor(const Done &done)
{
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (!done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(2ms);
    return done();
}

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
        KeeperLog log;
        RateKeeper keeper(store, options, log.sink(), feeds);
        const auto reloaded = [&] { return log.count("reloaded:") > 0; };
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

TEST(ServiceReload, ServedAtOnceWhateverTheRoundDoes)
{
    enum class Feeds { Answer, Fail, Stall, Slow };
    struct Row {
        const char *name;
        Feeds feeds; // the feeds answer with documents of 2026-07-08
        int reloads; // asked once the first round has begun (stalled, slow) or ended
        bool oneAtATime; // each once the one before, and any round it asked for, are done
        int fetches; // of both feeds, in the end: two a round
        std::chrono::seconds roundAfter = 60s; // the reload's round needs a last one this old
    };
    const Row rows[] = {
        {"one reload while both feeds stall", Feeds::Stall, 1, false, 1},
        // The slow round's ECB document is older than the one reloaded: a failed
        // round, asked again once it ends.
        {"one reload while the feeds are slow", Feeds::Slow, 1, false, 4},
        {"a burst of 500 after a good round", Feeds::Answer, 500, false, 2},
        {"three one at a time after a good round", Feeds::Answer, 3, true, 2},
        {"three one at a time after a failed round", Feeds::Fail, 3, true, 8},
        {"one after a good round a minute old", Feeds::Answer, 1, true, 4, 0s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Folder data;
        const Folder cache;
        // A newer ECB document than any feed's: the reload's mark.
        std::ofstream(data.path() / "eurofxref-daily-2026-07-09.xml")
            << replaced(ecbText(), "2026-07-06", "2026-07-09");
        std::ofstream(data.path() / "currency-api-eur-2026-07-06.json") << dailyText();
        RateStore store(ecbInUse("2026-07-06"), dailyInUse("2026-07-06"));
        std::atomic<bool> open {false};
        FakeFeeds feeds([&](const std::string &url) {
            switch (row.feeds) {
            case Feeds::Fail:
                return failure("HTTP status 503");
            case Feeds::Stall:
                return failure(FakeFeeds::stall);
            case Feeds::Slow:
                while (!open)
                    std::this_thread::sleep_for(5ms);
                break;
            case Feeds::Answer:
                break;
            }
            const std::string &text = url == "ecb" ? ecbText() : dailyText();
            return body(replaced(text, "2026-07-06", "2026-07-08"));
        });
        KeeperOptions options;
        options.refresh = true;
        options.dataDir = data.path();
        options.cacheDir = cache.path();
        options.ecbUrl = "ecb";
        options.dailyUrls = {"daily"};
        options.today = [] { return std::string("2026-07-31"); };
        options.reloadRoundAfter = row.roundAfter;
        KeeperLog log;
        RateKeeper keeper(store, options, log.sink(), feeds);
        const auto logged = [&](const char *part) { return log.count(part); };
        // A round has ended when the daily table's lag is logged.
        const char *roundEnd = "lags the ECB's";
        keeper.start();
        if (row.feeds == Feeds::Answer || row.feeds == Feeds::Fail) {
            EXPECT_TRUE(waitFor([&] { return logged(roundEnd) == 1; }));
        } else {
            EXPECT_TRUE(waitFor([&] { return feeds.fetches() == 1; }));
        }
        for (int i = 1; i <= row.reloads; ++i) {
            keeper.requestReload();
            if (row.oneAtATime) {
                EXPECT_TRUE(waitFor([&] { return logged("reloaded:") == i; }));
                std::this_thread::sleep_for(20ms); // time to begin a round it asks for
                EXPECT_TRUE(waitFor([&] { return logged(roundEnd) == feeds.fetches() / 2; }));
            }
        }
        EXPECT_TRUE(waitFor([&] { return logged("reloaded:") >= 1; })) << "not reloaded";
        EXPECT_EQ(store.date(Feed::Ecb), "2026-07-09");
        open = true;
        EXPECT_TRUE(waitFor([&] { return feeds.fetches() >= row.fetches; }));
        std::this_thread::sleep_for(50ms); // time for a round that should not come
        keeper.stop();
        EXPECT_EQ(feeds.fetches(), row.fetches);
        EXPECT_EQ(store.date(Feed::Ecb), "2026-07-09");
        EXPECT_LE(logged("reloaded:"), row.reloads);
    }
}
