// The periodic refresh of the two rate feeds (--refresh): fetch each over HTTP(S)
// through a Fetcher (the daily table from each of its addresses, keeping the newest),
// check the whole document, its date and that no rate jumped tenfold, install the
// good ones in the rate store in one swap and keep them in the cache. Whatever
// fails keeps the last good rates and says why in the log. When the rates held at
// start are older than the feeds publish, converter answers may wait, briefly,
// for the first round (FreshRatesWait).
#pragma once

#include "service/fetcher.h"
#include "service/fresh_rates_wait.h"
#include "service/rate_store.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvalux::service
{

struct RefreshOptions {
    std::string ecbUrl = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
    // The publisher's two addresses; the CDN's may lag without failing, so both are asked.
    std::vector<std::string> dailyUrls = {
        "https://cdn.jsdelivr.net/npm/@fawazahmed0/currency-api@latest/v1/currencies/eur.json",
        "https://currency-api.pages.dev/v1/currencies/eur.json",
    };
    std::filesystem::path cacheDir;
    std::chrono::seconds interval {6 * 3600};
    FetchLimits limits;
    std::function<std::string()> today; // "YYYY-MM-DD" in UTC; the clock when empty
    // How long converter answers may wait for the first round when the rates held
    // are older than the feeds publish, counted from waitFrom (the service's start;
    // the round's own start when unset). Zero: never.
    std::chrono::milliseconds firstRoundWait {2000};
    std::chrono::steady_clock::time_point waitFrom {};
};

using LogFunction = std::function<void(const std::string &line)>;

// True when the newest rates held, of newestDate, are older than the feeds can
// have published by today: more than 4 days, which covers a weekend and a holiday.
bool olderThanPublished(const std::string &newestDate, const std::string &today);

// The fetched text as a document the store may take: it passes checkDocument and
// is not dated before currentDate. Otherwise the reason.
ParseResult checkFetched(
    Feed feed, std::string_view text, const std::string &currentDate, const std::string &today);

// Why a fresh document must not replace the one in use: a rate the table uses
// that is more than 10 times, or less than a tenth of, the same feed's rate in
// use. Empty when there is none; codes the one in use lacks are not bounded.
std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &inUse, const RateTable &table);

class Refresher : public FreshRatesWait
{
public:
    Refresher(RateStore &store, RefreshOptions options, LogFunction log, Fetcher &fetcher);
    ~Refresher();
    Refresher(const Refresher &) = delete;
    Refresher &operator=(const Refresher &) = delete;

    // One round: both feeds fetched and checked, the good ones installed together.
    void refreshOnce();

    // A round now and then every interval, on a thread of its own, until stop().
    // With rates older than the feeds publish, converter answers wait for that
    // first round, at most firstRoundWait.
    void start();
    void stop();
    // Wakes the refresh thread for a round now; nothing when it is not started.
    void refreshNow();

    std::optional<Clock::time_point> holdUntil() const override;

private:
    void logDailyLag();
    void openFirstRoundWait();

    RateStore &m_store;
    RefreshOptions m_options;
    LogFunction m_log;
    Fetcher &m_fetcher;
    // Until the first round ends; min(): no wait.
    std::atomic<Clock::time_point> m_holdUntil {Clock::time_point::min()};
    std::atomic<bool> m_stopping {false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_roundAsked = false; // under m_mutex
    std::thread m_thread;
};

} // namespace korvalux::service
