// Keeping the rates current while the service runs, on one thread of its own: a
// round of both feeds every interval (--refresh), fetched through a Fetcher (the
// daily table from each of its addresses) on a thread of the round's own, then
// judged against the rates in use once fetched, installed together and kept in
// the cache; a reload of the data folder and the cache when asked (SIGHUP),
// served at once whatever a round is doing. With --refresh a reload asks the
// feeds again only when the last round failed or is older than a minute, so a
// burst of them is one round at most. What is taken is rate_acceptance's call;
// whatever fails keeps the last good rates and says why in the log. When the
// rates held at start are older than the feeds publish, converter answers may
// wait, briefly, for the first round (FreshRatesWait). A stop cancels a transfer
// under way.
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
#include <optional>
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
    // A reload asks the feeds again when the last round failed or ended this long ago.
    std::chrono::seconds reloadRoundAfter {60};
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
    // ones installed together. True when each feed gave a document taken.
    bool refreshOnce();
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
    void setHoldListener(HoldListener *listener) override;

private:
    struct Fetched {
        Feed feed;
        std::string url;
        FetchResult result;
    };
    std::vector<Fetched> fetchRound();
    bool judgeRound(std::vector<Fetched> fetched);
    void keepInCache(Feed feed, const std::string &text, const std::string &takenDate,
        const std::string &replacedDate);
    void run();
    void beginRound();
    std::string today() const;
    void logDailyLag();
    void openFirstRoundWait();
    void endFirstRoundWait();

    RateStore &m_store;
    KeeperOptions m_options;
    LogFunction m_log;
    Fetcher &m_fetcher;
    // Until the first round ends; min(): no wait.
    std::atomic<Clock::time_point> m_holdUntil {Clock::time_point::min()};
    std::mutex m_listenerMutex;
    HoldListener *m_listener = nullptr; // under m_listenerMutex
    std::atomic<bool> m_stopping {false}; // also the fetch's cancel flag
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_reloadAsked = false; // under m_mutex
    std::optional<std::vector<Fetched>> m_fetched; // a round's, once fetched; under m_mutex
    std::thread m_round; // fetching, while a round runs
    std::thread m_thread;
};

} // namespace korvalux::service
