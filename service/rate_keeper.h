// Keeping the rates current while the service runs, on one thread of its own: a
// round of both feeds every interval (--refresh), fetched through a Fetcher (the
// daily table from each of its addresses), installed together and kept in the
// cache; a reload of the data folder and the cache when asked (SIGHUP), followed
// by a round with --refresh. What is taken is rate_acceptance's call; whatever
// fails keeps the last good rates and says why in the log. When the rates held at
// start are older than the feeds publish, converter answers may wait, briefly,
// for the first round (FreshRatesWait). A stop cancels a transfer under way.
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

struct KeeperOptions {
    bool refresh = false; // rounds on the interval; otherwise reloads alone
    std::filesystem::path dataDir; // the snapshot, read again on a reload
    std::filesystem::path cacheDir;
    std::string ecbUrl = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
    // The publisher's two addresses; the CDN's may lag without failing, so both are asked.
    std::vector<std::string> dailyUrls = {
        "https://cdn.jsdelivr.net/npm/@fawazahmed0/currency-api@latest/v1/currencies/eur.json",
        "https://currency-api.pages.dev/v1/currencies/eur.json",
    };
    std::chrono::seconds interval {6 * 3600};
    core::DownloadLimits limits = feedLimits;
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

class RateKeeper : public FreshRatesWait
{
public:
    RateKeeper(RateStore &store, KeeperOptions options, LogFunction log, Fetcher &fetcher);
    ~RateKeeper();
    RateKeeper(const RateKeeper &) = delete;
    RateKeeper &operator=(const RateKeeper &) = delete;

    // One round on the calling thread: both feeds fetched and checked, the good
    // ones installed together.
    void refreshOnce();
    // The reload on the calling thread: the newest valid documents of the data
    // folder and the cache, installed unless dated before the ones in use.
    void reloadNow();

    // The keeper's thread: with refresh, a round now and then every interval
    // (converter answers wait for that first round when the rates are stale, at
    // most firstRoundWait); reloads whenever asked. Until stop().
    void start();
    void stop();
    // Returns at once; a reload asked before start() is made once started.
    void requestReload();

    std::optional<Clock::time_point> holdUntil() const override;

private:
    void run();
    std::string today() const;
    void logDailyLag();
    void openFirstRoundWait();

    RateStore &m_store;
    KeeperOptions m_options;
    LogFunction m_log;
    Fetcher &m_fetcher;
    // Until the first round ends; min(): no wait.
    std::atomic<Clock::time_point> m_holdUntil {Clock::time_point::min()};
    std::atomic<bool> m_stopping {false}; // also the fetch's cancel flag
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_reloadAsked = false; // under m_mutex
    std::thread m_thread;
};

} // namespace korvalux::service
