// The rate refresh against feeds faked behind Fetcher (no socket): good feeds are
// taken together and cached, bad ones (corrupt, cut, wrongly dated, implausible,
// failed) leave the rates as they were; of several daily addresses the newest
// wins; readers never see a half-updated table nor a torn cache file; a stop ends
// the periodic refresh mid-fetch. At start the newest valid document of snapshot
// and cache wins and stale temporary files go. The transfer itself (size cap,
// time-outs, cancel) is korvalux_transfer's, tested on loopback in its own file;
// the status rule is the fetchers' (service_fetch_test.cpp).
#include "service/rate_cache.h"
#include "service/rate_keeper.h"
#include "service/rate_store.h"

#include "service_fake_feeds.h"
#include "service_test_data.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

// The real files moved to another day, with USD (ECB) and ARS (daily) set to
// values derived from the day, so a reader can tell which day it looks at.
std::string ecbOfDay(int day)
{
    char date[16];
    std::snprintf(date, sizeof date, "2026-07-%02d", day);
    return replaced(replaced(ecbText(), "2026-07-06", date), "'1.1415'",
        "'1." + std::to_string(1000 + day) + "'");
}

std::string dailyOfDay(int day)
{
    char date[16];
    std::snprintf(date, sizeof date, "2026-07-%02d", day);
    return replaced(
        replaced(dailyText(), "2026-07-06", date), "1706.39780514", std::to_string(2000 + day));
}

RateStore realStore()
{
    return RateStore(ecbDocument(), dailyDocument());
}

class TempDir
{
public:
    TempDir() { m_path = testing_support::makeTempFolder("korvalux-refresh"); }
    ~TempDir() { fs::remove_all(m_path); }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

// The fake's addresses: "ecb" and "daily".
KeeperOptions options(const fs::path &cache)
{
    KeeperOptions o;
    o.ecbUrl = "ecb";
    o.dailyUrls = {"daily"};
    o.cacheDir = cache;
    o.today = [] { return std::string("2026-07-31"); };
    return o;
}

std::string usd(const RateTable &table)
{
    return formatExact(table.find("USD")->perEur);
}

} // namespace

TEST(ServiceRefresh, GoodFeedsAreTakenTogetherAndCached)
{
    TempDir cache;
    FakeFeeds feeds(
        [](const std::string &url) { return body(url == "ecb" ? ecbOfDay(7) : dailyOfDay(7)); });
    RateStore store = realStore();
    std::vector<std::string> log;
    RateKeeper keeper(
        store, options(cache.path()), [&](const std::string &line) { log.push_back(line); }, feeds);
    keeper.refreshOnce();

    const auto table = store.table();
    EXPECT_EQ(table->ecbDate(), "2026-07-07");
    EXPECT_EQ(table->dailyDate(), "2026-07-07");
    EXPECT_EQ(usd(*table), "1.1007");
    EXPECT_EQ(formatExact(table->find("ARS")->perEur), "2007");
    EXPECT_EQ(formatExact(table->find("AED")->perEur), "4.04232075"); // the peg follows USD
    EXPECT_EQ(readWholeFile(cache.path() / "ecb.xml"), ecbOfDay(7));
    EXPECT_EQ(readWholeFile(cache.path() / "daily.json"), dailyOfDay(7));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
        [](const std::string &line) { return line.find("now using") != std::string::npos; }));
}

TEST(ServiceRefresh, BadFeedsKeepTheLastGoodRates)
{
    struct Row {
        const char *name;
        FetchResult answer; // the same for both feeds
        const char *logged;
    };
    const Row rows[] = {
        {"corrupt", body("{{{ <<< not a feed"), "not "},
        {"truncated", body(ecbOfDay(7).substr(0, 700)), "not taken"},
        {"cut without a length", body("<gesmes:Envelope><Cube><Cube time='2026-07-07'>"),
            "not taken"},
        {"the fetch failed", failure("HTTP status 503"), "HTTP status 503"},
        {"older dated", body(replaced(ecbText(), "2026-07-06", "2026-07-01")), "older than"},
        {"future dated beyond a day of slack",
            body(replaced(ecbText(), "2026-07-06", "2026-08-02")), "in the future"},
        {"a rate over ten times the one in use",
            body(replaced(ecbOfDay(7), "'185.31'", "'1853.2'")),
            "rate of JPY moved more than tenfold"},
        {"a rate under a tenth of the one in use",
            body(replaced(ecbOfDay(7), "'185.31'", "'18.53'")),
            "rate of JPY moved more than tenfold"},
    };
    for (const auto &row : rows) {
        TempDir cache;
        FakeFeeds feeds([&](const std::string &) { return row.answer; });
        RateStore store = realStore();
        const auto before = store.table();
        std::vector<std::string> log;
        RateKeeper keeper(
            store, options(cache.path()), [&](const std::string &line) { log.push_back(line); },
            feeds);
        keeper.refreshOnce();

        EXPECT_EQ(store.table(), before) << row.name; // the very same table
        EXPECT_EQ(store.date(Feed::Ecb), "2026-07-06") << row.name;
        EXPECT_EQ(store.date(Feed::Daily), "2026-07-06") << row.name;
        EXPECT_FALSE(fs::exists(cache.path() / "ecb.xml")) << row.name;
        EXPECT_FALSE(fs::exists(cache.path() / "daily.json")) << row.name;
        ASSERT_GE(log.size(), 1u) << row.name;
        EXPECT_NE(log.front().find(row.logged), std::string::npos)
            << row.name << ": " << log.front();
        EXPECT_NE(log.front().find("keeping 2026-07-06"), std::string::npos) << log.front();
    }
}

TEST(ServiceRefresh, OneBadFeedDoesNotHoldBackTheOther)
{
    TempDir cache;
    FakeFeeds feeds([](const std::string &url) {
        return body(url == "ecb" ? ecbOfDay(8) : dailyOfDay(8).substr(0, 300));
    });
    RateStore store = realStore();
    RateKeeper keeper(
        store, options(cache.path()), [](const std::string &) {}, feeds);
    keeper.refreshOnce();
    EXPECT_EQ(store.date(Feed::Ecb), "2026-07-08");
    EXPECT_EQ(store.date(Feed::Daily), "2026-07-06");
    EXPECT_EQ(formatExact(store.table()->find("ARS")->perEur), "1706.39780514");
    EXPECT_TRUE(fs::exists(cache.path() / "ecb.xml"));
    EXPECT_FALSE(fs::exists(cache.path() / "daily.json"));
}

TEST(ServiceRefresh, TheNewestDailyTableOfAllAddressesWins)
{
    struct Row {
        const char *name;
        int first; // the day each address serves; 0: HTTP 503, -1: a cut document
        int second;
        const char *dailyDate; // in use afterwards
        const char *winner; // "a", "b" or "" for none
    };
    const Row rows[] = {
        {"the second newer", 9, 12, "2026-07-12", "b"},
        {"the first newer", 12, 9, "2026-07-12", "a"},
        {"a tie goes to the first", 10, 10, "2026-07-10", "a"},
        {"the first refused", 0, 11, "2026-07-11", "b"},
        {"the second cut", 10, -1, "2026-07-10", "a"},
        {"both fail", 0, -1, "2026-07-06", ""},
    };
    for (const auto &row : rows) {
        TempDir cache;
        FakeFeeds feeds([&](const std::string &url) {
            if (url == "ecb")
                return body(ecbOfDay(12));
            const int day = url == "a" ? row.first : row.second;
            if (day == 0)
                return failure("HTTP status 503");
            return body(day < 0 ? dailyOfDay(13).substr(0, 400) : dailyOfDay(day));
        });
        KeeperOptions o = options(cache.path());
        o.dailyUrls = {"a", "b"};
        RateStore store = realStore();
        std::vector<std::string> log;
        RateKeeper keeper(
            store, o, [&](const std::string &line) { log.push_back(line); }, feeds);
        keeper.refreshOnce();

        EXPECT_EQ(store.date(Feed::Daily), row.dailyDate) << row.name;
        std::string all;
        for (const auto &line : log)
            all += line + "\n";
        if (*row.winner) {
            EXPECT_NE(all.find(std::string("daily table of ") + row.dailyDate + " from "
                          + row.winner + ", the newest of 2"),
                std::string::npos)
                << row.name << ":\n"
                << all;
            EXPECT_EQ(readWholeFile(cache.path() / "daily.json"),
                dailyOfDay(std::stoi(std::string(row.dailyDate).substr(8))))
                << row.name;
        }
        const long lag = daysBetween(row.dailyDate, "2026-07-12").value();
        EXPECT_NE(all.find("lags the ECB's 2026-07-12 by " + std::to_string(lag) + " day"),
            std::string::npos)
            << row.name << ":\n"
            << all;
        if (row.first <= 0) {
            EXPECT_NE(all.find("daily table from a not taken"), std::string::npos) << row.name;
        }
    }
}

TEST(ServiceRefresh, ReadersNeverSeeHalfAnUpdateNorATornCache)
{
    TempDir cache;
    std::atomic<int> day {7};
    FakeFeeds feeds([&](const std::string &url) {
        const int d = day.load();
        return body(url == "ecb" ? ecbOfDay(d) : dailyOfDay(d));
    });
    RateStore store = realStore();
    RateKeeper keeper(
        store, options(cache.path()), [](const std::string &) {}, feeds);

    std::atomic<bool> done {false};
    std::atomic<int> checked {0};
    std::atomic<int> faults {0};
    std::thread tableReader([&] {
        while (!done) {
            const auto table = store.table();
            const std::string date = table->ecbDate();
            const int d = std::stoi(date.substr(8));
            const bool consistent = table->dailyDate() == date
                && table->find("USD")->perEur
                    == *parseDecimal(d == 6 ? "1.1415" : "1." + std::to_string(1000 + d))
                && (d == 6 || formatExact(table->find("ARS")->perEur) == std::to_string(2000 + d));
            if (!consistent && faults.fetch_add(1) == 0)
                ADD_FAILURE() << "half-updated: " << date << " " << table->dailyDate() << " "
                              << usd(*table);
            ++checked;
        }
    });
    std::thread cacheReader([&] {
        while (!done) {
            if (const auto text = readWholeFile(cache.path() / "ecb.xml")) {
                if (!std::holds_alternative<RateDocument>(parseEcbDocument(*text))
                    && faults.fetch_add(1) == 0)
                    ADD_FAILURE() << "torn cache file: " << text->size() << " bytes";
                ++checked;
            }
        }
    });
    for (int d = 7; d <= 30; ++d) {
        day = d;
        keeper.refreshOnce();
        ASSERT_EQ(store.date(Feed::Ecb), (d < 10 ? "2026-07-0" : "2026-07-") + std::to_string(d));
    }
    done = true;
    tableReader.join();
    cacheReader.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_GT(checked.load(), 24);
    EXPECT_EQ(readWholeFile(cache.path() / "daily.json"), dailyOfDay(30));
    // Only the two cache files and the day before's copies: no temporary file left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(cache.path()), fs::directory_iterator()), 4);
    EXPECT_EQ(readWholeFile(cache.path() / "daily.day-before.json"), dailyOfDay(29));
}

TEST(ServiceRefresh, StartUpTakesTheNewestValidOfSnapshotAndCache)
{
    struct Row {
        const char *name;
        std::string cachedEcb; // "" for no file
        std::string cachedDaily;
        const char *ecbDate;
        const char *dailyDate;
        const char *noted; // in the start notes, or ""
    };
    const Row rows[] = {
        {"no cache", "", "", "2026-07-06", "2026-07-06", ""},
        {"newer cache", ecbOfDay(9), dailyOfDay(10), "2026-07-09", "2026-07-10", ""},
        {"older cache", replaced(ecbText(), "2026-07-06", "2026-07-02"), "", "2026-07-06",
            "2026-07-06", ""},
        {"torn cache", ecbOfDay(9).substr(0, 500), "{\"date\":", "2026-07-06", "2026-07-06",
            "refused"},
        {"cache dated tomorrow", replaced(ecbText(), "2026-07-06", "2026-08-01"), "", "2026-08-01",
            "2026-07-06", ""},
        // A tie goes to the cache: what the service fetched itself, read last.
        {"ECB cache of the snapshot's day", replaced(ecbText(), "'1.1415'", "'1.2'"), "",
            "2026-07-06", "2026-07-06", "ecb.xml\n"},
        {"daily cache of the snapshot's day", "", replaced(dailyText(), "1706.39780514", "2000"),
            "2026-07-06", "2026-07-06", "daily.json\n"},
        {"cache dated in the future", replaced(ecbText(), "2026-07-06", "2026-08-02"),
            replaced(dailyText(), "2026-07-06", "2099-01-01"), "2026-07-06", "2026-07-06",
            "ecb.xml: dated 2026-08-02, in the future"},
    };
    const fs::path snapshot = KORVALUX_SERVICE_TEST_DATA;
    for (const auto &row : rows) {
        TempDir cache;
        if (!row.cachedEcb.empty()) {
            ASSERT_EQ(writeFileAtomically(cache.path() / "ecb.xml", row.cachedEcb), "");
        }
        if (!row.cachedDaily.empty()) {
            ASSERT_EQ(writeFileAtomically(cache.path() / "daily.json", row.cachedDaily), "");
        }
        const auto loaded = loadStartDocuments(snapshot, cache.path(), "2026-07-31");
        ASSERT_TRUE(std::holds_alternative<StartDocuments>(loaded)) << row.name;
        const auto &docs = std::get<StartDocuments>(loaded);
        EXPECT_EQ(docs.ecb.date, row.ecbDate) << row.name;
        EXPECT_EQ(docs.daily.date, row.dailyDate) << row.name;
        EXPECT_NE(docs.notes.find(row.noted), std::string::npos) << row.name << ":\n" << docs.notes;
    }

    TempDir empty;
    const auto none = loadStartDocuments(empty.path() / "missing", empty.path());
    ASSERT_TRUE(std::holds_alternative<std::string>(none));
    EXPECT_NE(std::get<std::string>(none).find("no usable ECB rates"), std::string::npos);
}

TEST(ServiceRefresh, StartUpRemovesOnlyStaleTemporaryFilesOfItsOwn)
{
    struct Row {
        const char *name;
        bool old; // last written an hour ago, before this process started
        bool removed;
    };
    const Row rows[] = {
        {"ecb.xml.Ab12Cd", true, true},
        {"daily.json.zz09QQ", true, true},
        {"ecb.xml.Xy34Zw", false, false}, // a write in progress
        {"ecb.xml", true, false},
        {"ecb.xml.tmp", true, false},
        {"ecb.xml.Ab12Cd7", true, false},
        {"ecb.xml.Ab-2Cd", true, false},
        {"notes.txt.Ab12Cd", true, false},
    };
    TempDir cache;
    for (const auto &row : rows) {
        const fs::path path = cache.path() / row.name;
        ASSERT_EQ(
            writeFileAtomically(path, std::string(row.name) == "ecb.xml" ? ecbOfDay(8) : "<?xm"),
            "");
        if (row.old)
            fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const auto loaded = loadStartDocuments(KORVALUX_SERVICE_TEST_DATA, cache.path(), "2026-07-31");
    ASSERT_TRUE(std::holds_alternative<StartDocuments>(loaded));
    const auto &docs = std::get<StartDocuments>(loaded);
    EXPECT_EQ(docs.ecb.date, "2026-07-08");
    for (const auto &row : rows) {
        EXPECT_EQ(fs::exists(cache.path() / row.name), !row.removed) << row.name;
        EXPECT_EQ(docs.notes.find("removed " + (cache.path() / row.name).string() + ",")
                != std::string::npos,
            row.removed)
            << row.name << ":\n"
            << docs.notes;
    }
}

TEST(ServiceRefresh, PeriodicRefreshStopsPromptlyMidFetch)
{
    TempDir cache;
    FakeFeeds feeds([](const std::string &) { return failure(FakeFeeds::stall); });
    RateStore store = realStore();
    KeeperOptions o = options(cache.path());
    o.refresh = true;
    RateKeeper keeper(
        store, o, [](const std::string &) {}, feeds);
    keeper.start();
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (feeds.fetches() == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(feeds.fetches(), 1);
    const auto before = std::chrono::steady_clock::now();
    keeper.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(feeds.fetches(), 1); // nothing fetched after the stop
    EXPECT_EQ(store.date(Feed::Ecb), "2026-07-06");
}
