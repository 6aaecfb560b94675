// The periodic refresh of the two rate feeds (--refresh): fetch each over HTTP(S)
// with libcurl (the daily table from each of its addresses, keeping the newest),
// check the whole document, its date and that no rate jumped tenfold, install the
// good ones in the rate store in one swap and keep them in the cache. Whatever
// fails keeps the last good rates and says why in the log.
#pragma once

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
    std::chrono::milliseconds connectTimeout {15'000};
    std::chrono::milliseconds transferTimeout {60'000};
    std::size_t maxBytes = 8 * 1024 * 1024;
    std::function<std::string()> today; // "YYYY-MM-DD" in UTC; the clock when empty
};

using LogFunction = std::function<void(const std::string &line)>;

struct FetchResult {
    std::string body;
    std::string error; // empty on success
};

// GET url; a status other than 200, a time-out or a body over maxBytes fails.
FetchResult fetchDocument(const std::string &url, const RefreshOptions &options,
    const std::atomic<bool> *cancel = nullptr);

// The fetched text as a document the store may take: it passes checkDocument and
// is not dated before currentDate. Otherwise the reason.
ParseResult checkFetched(
    Feed feed, std::string_view text, const std::string &currentDate, const std::string &today);

// Why a fresh document must not replace the one in use: a rate the table uses
// that is more than 10 times, or less than a tenth of, the same feed's rate in
// use. Empty when there is none; codes the one in use lacks are not bounded.
std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &inUse, const RateTable &table);

class Refresher
{
public:
    Refresher(RateStore &store, RefreshOptions options, LogFunction log);
    ~Refresher();
    Refresher(const Refresher &) = delete;
    Refresher &operator=(const Refresher &) = delete;

    // One round: both feeds fetched and checked, the good ones installed together.
    void refreshOnce();

    // A round now and then every interval, on a thread of its own, until stop().
    void start();
    void stop();
    // Wakes the refresh thread for a round now; nothing when it is not started.
    void refreshNow();

private:
    void logDailyLag();

    RateStore &m_store;
    RefreshOptions m_options;
    LogFunction m_log;
    std::atomic<bool> m_stopping {false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_roundAsked = false; // under m_mutex
    std::thread m_thread;
};

} // namespace korvalux::service
