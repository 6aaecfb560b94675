// The keeper's thread and its two jobs. Fetches run here, not on the serving
// thread, so a slow feed holds up a request no longer than the first round's
// bounded wait, and a reload never makes the serving thread wait for the disk.
#include "service/rate_keeper.h"

#include "service/rate_acceptance.h"
#include "service/rate_cache.h"

#include <utility>

namespace korvalux::service
{

namespace
{

// The ECB skips weekends and its holidays; a Friday's rates still stand on Tuesday.
constexpr long publishedWithinDays = 4;

} // namespace

bool olderThanPublished(const std::string &newestDate, const std::string &today)
{
    if (!isIsoDate(newestDate) || !isIsoDate(today))
        return false;
    return daysBetween(newestDate, today).value_or(0) > publishedWithinDays;
}

RateKeeper::RateKeeper(RateStore &store, KeeperOptions options, LogFunction log, Fetcher &fetcher)
    : m_store(store)
    , m_options(std::move(options))
    , m_log(std::move(log))
    , m_fetcher(fetcher)
{
}

RateKeeper::~RateKeeper()
{
    stop();
}

std::string RateKeeper::today() const
{
    return m_options.today ? m_options.today() : utcToday();
}

bool RateKeeper::refreshOnce()
{
    auto fetched = fetchRound();
    return !m_stopping && judgeRound(std::move(fetched));
}

std::vector<RateKeeper::Fetched> RateKeeper::fetchRound()
{
    std::vector<Fetched> fetched;
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        const std::vector<std::string> urls
            = feed == Feed::Ecb ? std::vector<std::string> {m_options.ecbUrl} : m_options.dailyUrls;
        for (const std::string &url : urls) {
            if (url.empty())
                continue;
            FetchResult result = m_fetcher.fetch(url, m_options.limits, &m_stopping);
            if (m_stopping)
                return fetched;
            fetched.push_back({feed, url, std::move(result)});
        }
    }
    return fetched;
}

// Against the rates in use now, not when the round began: a reload may have
// come while the feeds were asked.
bool RateKeeper::judgeRound(std::vector<Fetched> fetched)
{
    const std::string today = this->today();
    std::optional<RateDocument> fresh[2];
    std::string texts[2];
    std::string replaced[2]; // the dates in use before
    std::string taken[2];
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        const RateDocument inUse = m_store.document(feed);
        const RateDocument dayBefore = m_store.dayBefore(feed);
        const auto table = m_store.table();
        replaced[static_cast<int>(feed)] = inUse.date;
        DocumentChoice choice({today, &inUse, &dayBefore, table.get()});
        std::string bestUrl;
        std::size_t asked = 0;
        for (Fetched &each : fetched) {
            if (each.feed != feed)
                continue;
            ++asked;
            std::string why = std::move(each.result.error);
            if (why.empty()) {
                auto verdict = choice.offer(parseFeed(feed, each.result.body));
                why = std::move(verdict.refusal);
                if (verdict.best) {
                    bestUrl = each.url;
                    texts[static_cast<int>(feed)] = std::move(each.result.body);
                }
            }
            if (!why.empty())
                m_log(std::string("refresh: ") + feedName(feed) + " from " + each.url
                    + " not taken: " + why + "; keeping " + inUse.date);
        }
        auto &best = choice.best();
        if (best && asked > 1)
            m_log(std::string("refresh: ") + feedName(feed) + " of " + best->date + " from "
                + bestUrl + ", the newest of " + std::to_string(asked) + " addresses");
        if (best)
            taken[static_cast<int>(feed)] = best->date;
        fresh[static_cast<int>(feed)] = std::move(best);
    }
    const bool whole = fresh[0] && fresh[1];
    if (fresh[0] || fresh[1]) {
        std::string dates;
        for (Feed feed : {Feed::Ecb, Feed::Daily}) {
            if (auto &doc = fresh[static_cast<int>(feed)])
                dates += std::string(" ") + feedName(feed) + " " + doc->date;
        }
        m_store.replace(std::move(fresh[0]), std::move(fresh[1]));
        m_log("refresh: now using" + dates);
    }
    logDailyLag();
    // The rates are in use: answers held for them go now, not after the disk.
    endFirstRoundWait();
    if (m_options.cacheDir.empty())
        return whole;
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        const std::string &text = texts[static_cast<int>(feed)];
        if (!text.empty())
            keepInCache(
                feed, text, taken[static_cast<int>(feed)], replaced[static_cast<int>(feed)]);
    }
    return whole;
}

// A document of a new day turns the cached one, the day before's last, into
// what this day is bounded by: kept beside it, so that a start bounds the cache
// as the running service did.
void RateKeeper::keepInCache(Feed feed, const std::string &text, const std::string &takenDate,
    const std::string &replacedDate)
{
    const auto path = m_options.cacheDir / cacheFileName(feed);
    if (datedBefore(replacedDate, takenDate)) {
        if (const auto cached = readWholeFile(path)) {
            const auto old = parseFeed(feed, *cached);
            const auto *document = std::get_if<RateDocument>(&old);
            if (document && document->date == replacedDate) {
                const auto why
                    = writeFileAtomically(m_options.cacheDir / dayBeforeFileName(feed), *cached);
                if (!why.empty())
                    m_log("refresh: cache not written: " + why);
            }
        }
    }
    const auto why = writeFileAtomically(path, text);
    if (!why.empty())
        m_log("refresh: cache not written: " + why);
}

void RateKeeper::reloadNow()
{
    auto loaded = loadStartDocuments(m_options.dataDir, m_options.cacheDir, today());
    if (auto *documents = std::get_if<StartDocuments>(&loaded)) {
        const std::string read[2] = {documents->ecb.date, documents->daily.date};
        const auto installed
            = m_store.replace(std::move(documents->ecb), std::move(documents->daily));
        std::string line = "korvalux-service: reloaded:";
        for (Feed feed : {Feed::Ecb, Feed::Daily}) {
            line += std::string(feed == Feed::Ecb ? " " : ", ") + feedName(feed) + " of "
                + m_store.date(feed);
            // The same rule as a refresh: what is read may not take the rates back.
            if (!(feed == Feed::Ecb ? installed.ecb : installed.daily))
                line += " kept, the " + read[static_cast<int>(feed)] + " read is older";
        }
        m_log(line);
        return;
    }
    // One line: the reasons per file follow on lines of their own otherwise.
    std::string why = std::get<std::string>(loaded);
    for (char &c : why)
        if (c == '\n')
            c = ';';
    m_log("korvalux-service: reload failed, keeping the rates in use: " + why);
}

void RateKeeper::logDailyLag()
{
    const std::string ecb = m_store.date(Feed::Ecb);
    const std::string daily = m_store.date(Feed::Daily);
    if (!isIsoDate(ecb) || !isIsoDate(daily))
        return; // a store built by hand; every document read has a real date
    const long lag = daysBetween(daily, ecb).value_or(0);
    if (lag >= 0) // a daily table newer than the ECB's (weekends) lags nothing
        m_log("refresh: the daily table in use, of " + daily + ", lags the ECB's " + ecb + " by "
            + std::to_string(lag) + (lag == 1 ? " day" : " days"));
}

std::optional<FreshRatesWait::Clock::time_point> RateKeeper::holdUntil() const
{
    const Clock::time_point until = m_holdUntil.load();
    if (Clock::now() >= until)
        return std::nullopt;
    return until;
}

void RateKeeper::setHoldListener(HoldListener *listener)
{
    std::lock_guard lock(m_listenerMutex);
    m_listener = listener;
}

// Whatever the round brought: answers held for it go now, woken together.
void RateKeeper::endFirstRoundWait()
{
    if (m_holdUntil.exchange(Clock::time_point::min()) == Clock::time_point::min())
        return;
    std::lock_guard lock(m_listenerMutex);
    if (m_listener)
        m_listener->holdEnded();
}

void RateKeeper::openFirstRoundWait()
{
    if (m_options.firstRoundWait <= std::chrono::milliseconds::zero())
        return;
    const std::string newest = m_store.table()->newestDate();
    if (!olderThanPublished(newest, today()))
        return;
    const Clock::time_point now = Clock::now();
    const Clock::time_point from
        = m_options.waitFrom == Clock::time_point {} ? now : m_options.waitFrom;
    if (from + m_options.firstRoundWait <= now)
        return; // the start took the whole bound already
    m_holdUntil = from + m_options.firstRoundWait;
    m_log("korvalux-service: the rates held, of " + newest
        + ", are older than the feeds publish; converter answers wait for fresh ones up to "
        + std::to_string(m_options.firstRoundWait.count()) + " ms after the start");
}

void RateKeeper::start()
{
    if (m_thread.joinable())
        return;
    m_stopping = false;
    if (m_options.refresh)
        openFirstRoundWait();
    m_thread = std::thread([this] { run(); });
}

// Under m_mutex. The round fetches on a thread of its own, so that this one
// stays free for reloads; it judges what came back here, one job at a time.
void RateKeeper::beginRound()
{
    m_round = std::thread([this] {
        auto fetched = fetchRound();
        {
            std::lock_guard lock(m_mutex);
            m_fetched = std::move(fetched);
        }
        m_wake.notify_all();
    });
}

void RateKeeper::run()
{
    Clock::time_point nextRound = Clock::now(); // the first round at once
    Clock::time_point lastEnded {};
    bool lastFailed = true; // none yet
    bool rounding = false;
    bool reloadedMeanwhile = false; // while a round ran
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_fetched) {
            auto fetched = std::move(*m_fetched);
            m_fetched.reset();
            lock.unlock();
            m_round.join();
            rounding = false;
            lastFailed = !judgeRound(std::move(fetched));
            lastEnded = Clock::now();
            nextRound = lastEnded + m_options.interval;
            // The reload came too late for this round: it may ask for another.
            if (std::exchange(reloadedMeanwhile, false) && lastFailed)
                nextRound = lastEnded;
            lock.lock();
        } else if (std::exchange(m_reloadAsked, false)) {
            lock.unlock();
            reloadNow();
            // Reloading is cheap, asking the feeds is not: a burst of SIGHUPs asks
            // them once, and not at all soon after a good round.
            if (rounding)
                reloadedMeanwhile = true;
            else if (m_options.refresh
                && (lastFailed || Clock::now() - lastEnded >= m_options.reloadRoundAfter))
                nextRound = Clock::now();
            lock.lock();
        } else if (m_options.refresh && !rounding && Clock::now() >= nextRound) {
            rounding = true;
            beginRound();
        } else {
            const auto woken = [this] { return m_stopping || m_reloadAsked || m_fetched; };
            if (m_options.refresh && !rounding)
                m_wake.wait_until(lock, nextRound, woken);
            else
                m_wake.wait(lock, woken);
        }
    }
    lock.unlock();
    if (m_round.joinable())
        m_round.join(); // the stop cancelled its fetch
    // Answers go on with whatever is in use.
    endFirstRoundWait();
}

void RateKeeper::requestReload()
{
    {
        std::lock_guard lock(m_mutex);
        m_reloadAsked = true;
    }
    m_wake.notify_all();
}

void RateKeeper::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace korvalux::service
