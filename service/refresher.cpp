// Fetching and installing fresh rates. Fetches run on the refresher's own thread,
// so a slow feed holds up a request no longer than the first round's bounded
// wait; a stop cancels a transfer under way.
#include "service/refresher.h"

#include "service/rate_cache.h"

namespace korvalux::service
{

namespace
{

// The ECB skips weekends and its holidays; a Friday's rates still stand on Tuesday.
constexpr long publishedWithinDays = 4;

} // namespace

bool olderThanPublished(const std::string &newestDate, const std::string &today)
{
    return isIsoDate(newestDate) && isIsoDate(today)
        && daysBetween(newestDate, today) > publishedWithinDays;
}

ParseResult checkFetched(
    Feed feed, std::string_view text, const std::string &currentDate, const std::string &today)
{
    auto parsed = checkDocument(feed, text, today);
    if (auto *doc = std::get_if<RateDocument>(&parsed)) {
        if (doc->date < currentDate)
            return "dated " + doc->date + ", older than the " + currentDate + " in use";
    }
    return parsed;
}

std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &inUse, const RateTable &table)
{
    for (const auto &[code, rate] : fresh.perEur) {
        const auto old = inUse.perEur.find(code);
        // Codes the table never shows (tokens, other currencies) may swing as they like.
        if (old == inUse.perEur.end() || !table.find(code))
            continue;
        // Both positive with positive denominators: compare cross products exactly.
        const BigInt now = rate.num * old->second.den;
        const BigInt before = old->second.num * rate.den;
        if (now > 10 * before || 10 * now < before)
            return "rate of " + code + " moved more than tenfold, from " + formatValue(old->second)
                + " to " + formatValue(rate) + " per EUR";
    }
    return {};
}

Refresher::Refresher(RateStore &store, RefreshOptions options, LogFunction log, Fetcher &fetcher)
    : m_store(store)
    , m_options(std::move(options))
    , m_log(std::move(log))
    , m_fetcher(fetcher)
{
}

Refresher::~Refresher()
{
    stop();
}

void Refresher::refreshOnce()
{
    const std::string today = m_options.today ? m_options.today() : utcToday();
    std::optional<RateDocument> fresh[2];
    std::string texts[2];
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        const std::vector<std::string> urls
            = feed == Feed::Ecb ? std::vector<std::string> {m_options.ecbUrl} : m_options.dailyUrls;
        const RateDocument inUse = m_store.document(feed);
        const auto table = m_store.table();
        auto &best = fresh[static_cast<int>(feed)];
        std::string bestUrl;
        std::size_t asked = 0;
        for (const std::string &url : urls) {
            if (url.empty())
                continue;
            ++asked;
            FetchResult fetched = m_fetcher.fetch(url, m_options.limits, &m_stopping);
            if (m_stopping)
                return;
            std::string why = fetched.error;
            if (why.empty()) {
                auto checked = checkFetched(feed, fetched.body, inUse.date, today);
                if (auto *doc = std::get_if<RateDocument>(&checked)) {
                    why = implausibleRate(*doc, inUse, *table);
                    // The first address wins a tie: it is the publisher's main one.
                    if (why.empty() && (!best || doc->date > best->date)) {
                        best = std::move(*doc);
                        bestUrl = url;
                        texts[static_cast<int>(feed)] = std::move(fetched.body);
                    }
                } else {
                    why = std::get<std::string>(checked);
                }
            }
            if (!why.empty())
                m_log(std::string("refresh: ") + feedName(feed) + " from " + url
                    + " not taken: " + why + "; keeping " + inUse.date);
        }
        if (best && asked > 1)
            m_log(std::string("refresh: ") + feedName(feed) + " of " + best->date + " from "
                + bestUrl + ", the newest of " + std::to_string(asked) + " addresses");
    }
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
    m_holdUntil = Clock::time_point::min();
    if (m_options.cacheDir.empty())
        return;
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        const std::string &text = texts[static_cast<int>(feed)];
        if (text.empty())
            continue;
        const auto why = writeFileAtomically(m_options.cacheDir / cacheFileName(feed), text);
        if (!why.empty())
            m_log("refresh: cache not written: " + why);
    }
}

void Refresher::logDailyLag()
{
    const std::string ecb = m_store.date(Feed::Ecb);
    const std::string daily = m_store.date(Feed::Daily);
    if (!isIsoDate(ecb) || !isIsoDate(daily))
        return; // a store built by hand; every document read has a real date
    const long lag = daysBetween(daily, ecb);
    if (lag >= 0) // a daily table newer than the ECB's (weekends) lags nothing
        m_log("refresh: the daily table in use, of " + daily + ", lags the ECB's " + ecb + " by "
            + std::to_string(lag) + (lag == 1 ? " day" : " days"));
}

std::optional<FreshRatesWait::Clock::time_point> Refresher::holdUntil() const
{
    const Clock::time_point until = m_holdUntil.load();
    if (Clock::now() >= until)
        return std::nullopt;
    return until;
}

void Refresher::openFirstRoundWait()
{
    if (m_options.firstRoundWait <= std::chrono::milliseconds::zero())
        return;
    const std::string newest = m_store.table()->newestDate();
    if (!olderThanPublished(newest, m_options.today ? m_options.today() : utcToday()))
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

void Refresher::start()
{
    m_stopping = false;
    openFirstRoundWait();
    m_thread = std::thread([this] {
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            lock.unlock();
            refreshOnce();
            // Also when stopped mid-round: answers go on with whatever is in use.
            m_holdUntil = Clock::time_point::min();
            lock.lock();
            m_wake.wait_for(
                lock, m_options.interval, [this] { return m_stopping.load() || m_roundAsked; });
            m_roundAsked = false;
        }
    });
}

void Refresher::refreshNow()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || !m_thread.joinable()) // stop() may be joining the thread
            return;
        m_roundAsked = true;
    }
    m_wake.notify_all();
}

void Refresher::stop()
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
