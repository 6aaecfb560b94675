// libcurl with a size cap and a cancel flag checked from its progress callback,
// so a stop never waits out a transfer.
#include "service/curl_fetcher.h"

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

CurlFetcher::CurlFetcher()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlFetcher::~CurlFetcher()
{
    curl_global_cleanup();
}

FetchResult CurlFetcher::fetch(
    const std::string &url, const FetchLimits &limits, const std::atomic<bool> *cancel)
{
    FetchResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = "cannot start a transfer";
        return result;
    }
    Sink sink {&result.body, limits.maxBytes};
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
        h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.transferTimeout.count()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(cancel));
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = curl_easy_perform(h);
    if (sink.overflow) {
        result.error = "larger than " + std::to_string(limits.maxBytes) + " bytes";
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

} // namespace korvalux::service
