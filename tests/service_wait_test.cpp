// The first refresh's bounded wait, against feeds faked behind Fetcher (no
// socket): stale rates hold converter answers while the first round runs, until
// it ends or the bound passes; fresh rates, a service without --refresh, or a
// bound already spent hold nothing. Each "request" here asks the keeper again
// every few milliseconds; the server instead is told once, when the hold ends,
// and that telling is counted.
#include "service/rate_keeper.h"
#include "service/rate_store.h"

#include "service_test_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace korvalux::service;
using namespace korvalux::service::testData;
using namespace std::chrono_literals;
using Clock = FreshRatesWait::Clock;

namespace
{

// Both feeds behind one gate the test opens: then they answer with documents of
// 2026-07-10, or fail; a stalling feed ignores the gate and waits for the cancel.
class GatedFeeds final : public Fetcher
{
public:
    enum class Mode { Answer, Fail, Stall };
    explicit GatedFeeds(Mode mode)
        : m_mode(mode)
    {
    }

    FetchResult fetch(const std::string &url, const core::DownloadLimits &,
        const std::atomic<bool> *cancel) override
    {
        std::unique_lock lock(m_mutex);
        // The cancel flag notifies nobody: look at it now and then.
        while (!(m_open && m_mode != Mode::Stall) && !(cancel && cancel->load()))
            m_changed.wait_for(lock, 5ms);
        if (cancel && cancel->load())
            return {{}, "cancelled"};
        if (m_mode == Mode::Fail)
            return {{}, "HTTP status 503"};
        const std::string &text = url == "ecb" ? ecbText() : dailyText();
        return {replaced(text, "2026-07-06", "2026-07-10"), {}};
    }

    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }

private:
    const Mode m_mode;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// The ECB date a converter request arriving now is answered with, held as the
// server holds it.
std::string answeredDate(const FreshRatesWait &wait, const RateStore &store)
{
    const auto giveUp = Clock::now() + 20s; // a hold past every bound fails, not hangs
    while (wait.holdUntil() && Clock::now() < giveUp)
        std::this_thread::sleep_for(5ms);
    return store.table()->ecbDate();
}

class CountingListener final : public HoldListener
{
public:
    void holdEnded() override { ++told; }
    std::atomic<int> told {0};
};

} // namespace

TEST(ServiceFirstRoundWait, OnlyStaleRatesWaitAndNeverPastTheBound)
{
    using Mode = GatedFeeds::Mode;
    struct Row {
        const char *name;
        const char *today;
        Mode feeds;
        std::chrono::milliseconds wait; // the bound
        bool refresh; // started, as with --refresh
        bool held; // a request at the start waits
        const char *answered; // the ECB date it is answered with
        std::chrono::milliseconds startedAgo {0}; // the service's start, before the round's
        const char *dailyHeld = "2026-07-06"; // the daily table's date at the start
    };
    // The feeds' documents are of 2026-07-10; the snapshot's of 2026-07-06. The long
    // bounds show that an ended round, not the bound, lets a request go.
    const Row rows[] = {
        {"stale, the feed answers", "2026-07-31", Mode::Answer, 60s, true, true, "2026-07-10"},
        {"stale, the feed fails", "2026-07-31", Mode::Fail, 60s, true, true, "2026-07-06"},
        {"stale, the feed stalls", "2026-07-31", Mode::Stall, 300ms, true, true, "2026-07-06"},
        {"five days old", "2026-07-11", Mode::Answer, 60s, true, true, "2026-07-10"},
        {"four days old, a weekend and a holiday", "2026-07-10", Mode::Answer, 60s, true, false,
            "2026-07-06"},
        {"a daily table of two days ago", "2026-07-31", Mode::Answer, 60s, true, false,
            "2026-07-06", 0ms, "2026-07-29"},
        {"without --refresh", "2026-07-31", Mode::Answer, 60s, false, false, "2026-07-06"},
        {"no wait asked", "2026-07-31", Mode::Answer, 0ms, true, false, "2026-07-06"},
        {"the bound spent while starting", "2026-07-31", Mode::Answer, 2s, true, false,
            "2026-07-06", 3s},
        {"the bound partly spent while starting", "2026-07-31", Mode::Stall, 1300ms, true, true,
            "2026-07-06", 1s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        RateStore store(ecbDocument(),
            document(parseDailyTableDocument(replaced(dailyText(), "2026-07-06", row.dailyHeld))));
        GatedFeeds feeds(row.feeds);
        KeeperOptions options;
        options.refresh = row.refresh;
        options.ecbUrl = "ecb";
        options.dailyUrls = {"daily"};
        options.today = [&] { return std::string(row.today); };
        options.firstRoundWait = row.wait;
        if (row.startedAgo > 0ms)
            options.waitFrom = Clock::now() - row.startedAgo;
        std::vector<std::string> log;
        std::mutex logMutex;
        RateKeeper keeper(
            store, options,
            [&](const std::string &line) {
                std::lock_guard lock(logMutex);
                log.push_back(line);
            },
            feeds);
        CountingListener listener;
        keeper.setHoldListener(&listener);

        const auto before = Clock::now();
        keeper.start();
        const auto after = Clock::now();
        const auto until = keeper.holdUntil();
        ASSERT_EQ(until.has_value(), row.held);
        if (until && row.startedAgo > 0ms) {
            EXPECT_EQ(*until, options.waitFrom + row.wait);
        } else if (until) {
            EXPECT_GE(*until, before + row.wait);
            EXPECT_LE(*until, after + row.wait);
        }
        if (until)
            feeds.open(); // a stalling feed stays shut
        const auto asked = Clock::now();
        EXPECT_EQ(answeredDate(keeper, store), row.answered);
        // Generous: what matters is that a stalling feed ends no later than the
        // bound, and an ended round well before a bound of a minute.
        EXPECT_LT(Clock::now() - asked, std::min<Clock::duration>(row.wait + 3s, 10s));
        feeds.open();
        keeper.stop();
        // Once for a hold, when its round ended or the keeper stopped; never without one.
        EXPECT_EQ(listener.told, row.held ? 1 : 0);
        std::lock_guard lock(logMutex);
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                      [](const std::string &line) {
                          return line.find("older than the feeds publish") != std::string::npos;
                      }),
            row.held ? 1 : 0);
    }
}

TEST(ServiceFirstRoundWait, StaleMeansOlderThanAWeekendAndAHoliday)
{
    struct Row {
        const char *newest;
        const char *today;
        bool stale;
    };
    const Row rows[] = {
        {"2026-07-06", "2026-07-06", false},
        {"2026-07-03", "2026-07-07", false}, // Friday's rates on a Tuesday after a holiday
        {"2026-07-03", "2026-07-08", true},
        {"2026-12-31", "2027-01-05", true}, // across the year's end
        {"2026-07-06", "2026-12-07", true},
        {"2026-07-08", "2026-07-06", false}, // dated ahead of this clock
        {"", "2026-07-06", false}, // a store built by hand
        {"2026-07-06", "", false},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(olderThanPublished(row.newest, row.today), row.stale)
            << row.newest << " on " << row.today;
    }
}
