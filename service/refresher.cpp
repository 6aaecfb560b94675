// Fetching and installing fresh rates. libcurl runs on the refresher's own thread,
// so a slow feed never holds up a request; cancel aborts a transfer at shut-down.
#include "service/refresher.h"

#include <curl/curl.h>

#include <memory>

namespace korvalux::service
{

namespace
{

struct CurlDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};

struct Sink {
    std::string *body;
    std::size_t limit;
    bool overflow = false;
};

std::size_t collect(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *sink = static_cast<Sink *>(user);
    const std::size_t n = size * count;
    if (sink->body->size() + n > sink->limit) {
        sink->overflow = true;
        return 0; // makes curl stop with a write error
    }
    sink->body->append(data, n);
    return n;
}

int progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *cancel = static_cast<const std::atomic<bool> *>(user);
    return cancel && cancel->load() ? 1 : 0;
}

} // namespace

std::string utcToday()
{
    using namespace std::chrono;
    const year_month_day ymd {floor<days>(system_clock::now())};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
        static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

FetchResult fetchDocument(
    const std::string &url, const RefreshOptions &options, const std::atomic<bool> *cancel)
{
    FetchResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = "cannot start a transfer";
        return result;
    }
    Sink sink {&result.body, options.maxBytes};
    char errorText[CURL_ERROR_SIZE] = {};
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_USERAGENT, "korvalux-service/1.0");
    curl_easy_setopt(
        h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(options.transferTimeout.count()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(cancel));
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = curl_easy_perform(h);
    if (sink.overflow) {
        result.error = "larger than " + std::to_string(options.maxBytes) + " bytes";
    } else if (code != CURLE_OK) {
        result.error = *errorText ? errorText : curl_easy_strerror(code);
    } else {
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200)
            result.error = "HTTP status " + std::to_string(status);
    }
    if (!result.error.empty())
        result.body.clear();
    return result;
}

ParseResult checkFetched(
    Feed feed, std::string_view text, const std::string &currentDate, const std::string &today)
{
    auto parsed = parseFeed(feed, text);
    if (auto *doc = std::get_if<RateDocument>(&parsed)) {
        if (doc->date > today)
            return "dated " + doc->date + ", in the future";
        if (doc->date < currentDate)
            return "dated " + doc->date + ", older than the " + currentDate + " in use";
    }
    return parsed;
}

Refresher::Refresher(RateStore &store, RefreshOptions options, LogFunction log)
    : m_store(store)
    , m_options(std::move(options))
    , m_log(std::move(log))
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
        const std::string &url = feed == Feed::Ecb ? m_options.ecbUrl : m_options.dailyUrl;
        if (url.empty())
            continue;
        FetchResult fetched = fetchDocument(url, m_options, &m_stopping);
        if (m_stopping)
            return;
        std::string why = fetched.error;
        if (why.empty()) {
            auto checked = checkFetched(feed, fetched.body, m_store.date(feed), today);
            if (auto *doc = std::get_if<RateDocument>(&checked)) {
                fresh[static_cast<int>(feed)] = std::move(*doc);
                texts[static_cast<int>(feed)] = std::move(fetched.body);
            } else {
                why = std::get<std::string>(checked);
            }
        }
        if (!why.empty())
            m_log(std::string("refresh: ") + feedName(feed) + " from " + url + " not taken: " + why
                + "; keeping " + m_store.date(feed));
    }
    const bool any = fresh[0] || fresh[1];
    if (!any)
        return;
    std::string dates;
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        if (auto &doc = fresh[static_cast<int>(feed)])
            dates += std::string(" ") + feedName(feed) + " " + doc->date;
    }
    m_store.replace(std::move(fresh[0]), std::move(fresh[1]));
    m_log("refresh: now using" + dates);
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

void Refresher::start()
{
    m_stopping = false;
    m_thread = std::thread([this] {
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            lock.unlock();
            refreshOnce();
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
