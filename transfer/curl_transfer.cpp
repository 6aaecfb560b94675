// Redirects are followed here, hop by hop, rather than by libcurl: the proxy
// rule asks core::isLoopbackHost about each hop's host, and libcurl's own
// no-proxy list knows neither every spelling of loopback nor that rule. The
// limits span the hops: one deadline, one stall clock, the cap on each body.
#include "transfer/curl_transfer.h"

#include "core/service_address.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <utility>

namespace transfer
{

namespace
{

using Clock = std::chrono::steady_clock;
using core::DownloadFailure;

constexpr int maxRedirects = 10;

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct HeaderListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU *url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlText {
    char *text = nullptr;
    CurlText() = default;
    CurlText(const CurlText &) = delete;
    CurlText &operator=(const CurlText &) = delete;
    ~CurlText() { curl_free(text); }
};

// One GET's state, shared by the libcurl callbacks.
struct Progress {
    std::string *body = nullptr;
    std::size_t maxBytes = 0;
    bool overLimit = false;
    Clock::duration stallTimeout {};
    Clock::time_point lastReceived;
    bool stalled = false;
    const std::atomic<bool> *cancel = nullptr;
    bool cancelled = false;
};

std::size_t onBody(char *data, std::size_t size, std::size_t count, void *userdata)
{
    auto *progress = static_cast<Progress *>(userdata);
    const std::size_t n = size * count;
    progress->lastReceived = Clock::now();
    if (n > progress->maxBytes - progress->body->size()) {
        progress->overLimit = true;
        return 0; // anything but n makes libcurl stop the transfer
    }
    progress->body->append(data, n);
    return n;
}

std::size_t onHeader(char *, std::size_t size, std::size_t count, void *userdata)
{
    static_cast<Progress *>(userdata)->lastReceived = Clock::now();
    return size * count;
}

int onProgress(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *progress = static_cast<Progress *>(userdata);
    if (progress->cancel && progress->cancel->load()) {
        progress->cancelled = true;
        return 1;
    }
    if (Clock::now() - progress->lastReceived > progress->stallTimeout) {
        progress->stalled = true;
        return 1;
    }
    return 0;
}

// libcurl reads 0 as "no limit at all"; the shortest limit is one millisecond.
long milliseconds(Clock::duration duration)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    return static_cast<long>(std::clamp<long long>(ms, 1, LONG_MAX));
}

std::string inBytes(std::size_t size)
{
    return "larger than " + std::to_string(size) + " bytes";
}

// libcurl's own words, with the system's where it left them out. libcurl keeps
// the system's error number of an earlier transfer; only these codes set it.
std::string reason(CURLcode code, const char *errorText, long osErrno)
{
    std::string why = *errorText ? errorText : curl_easy_strerror(code);
    const bool fromSystem
        = code == CURLE_COULDNT_CONNECT || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
    if (fromSystem && osErrno != 0) {
        const std::string system = std::strerror(static_cast<int>(osErrno));
        if (why.find(system) == std::string::npos)
            why += " (" + system + ")";
    }
    return why;
}

const char *stage(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "connect";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return "address";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
        return "body";
    case CURLE_OPERATION_TIMEDOUT:
        return "time-out";
    default:
        return "transfer";
    }
}

} // namespace

struct CurlTransfer::Handle {
    std::unique_ptr<CURL, EasyDeleter> easy;
    // libcurl reads this list on every request; it must outlive the handle's use.
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
};

CurlTransfer::CurlTransfer(std::string agent)
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    auto handle = std::make_unique<Handle>();
    handle->easy.reset(curl_easy_init());
    if (!handle->easy)
        return;
    // Caches are bypassed; the empty "Accept:" and "Proxy-Connection:" drop the two
    // headers libcurl would add, so a request carries no header beyond these.
    for (const char *line :
        {"Cache-Control: no-cache", "Pragma: no-cache", "Accept:", "Proxy-Connection:"}) {
        curl_slist *list = curl_slist_append(handle->headers.get(), line);
        if (!list)
            return;
        (void)handle->headers.release();
        handle->headers.reset(list);
    }
    CURL *easy = handle->easy.get();
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_USERAGENT, agent.c_str()); // libcurl keeps a copy
    set(CURLOPT_HTTPHEADER, handle->headers.get());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_BUFFERSIZE, 8192L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_WRITEFUNCTION, &onBody);
    set(CURLOPT_HEADERFUNCTION, &onHeader);
    set(CURLOPT_XFERINFOFUNCTION, &onProgress);
    set(CURLOPT_NOPROGRESS, 0L);
    if (ok)
        m_handle = std::move(handle);
}

CurlTransfer::~CurlTransfer() = default;

bool CurlTransfer::isOpen() const
{
    return m_handle != nullptr;
}

Result CurlTransfer::get(
    const std::string &address, const core::DownloadLimits &limits, const std::atomic<bool> *cancel)
{
    Result result;
    const auto fail = [&result](DownloadFailure failure, std::string error) {
        result.failure = failure;
        result.error = std::move(error);
        if (failure == DownloadFailure::TooLarge)
            result.body.clear();
        return std::move(result);
    };
    if (!m_handle)
        return fail(DownloadFailure::Other, "transfer: libcurl has no handle");
    CURL *easy = m_handle->easy.get();
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + limits.totalTimeout;
    Progress progress;
    progress.body = &result.body;
    progress.maxBytes = limits.maxBodyBytes;
    progress.stallTimeout = limits.stallTimeout;
    progress.lastReceived = start;
    progress.cancel = cancel;
    char errorText[CURL_ERROR_SIZE];

    std::string url = address;
    for (int hop = 0;; ++hop) {
        UrlHandle parsed(curl_url());
        if (!parsed)
            return fail(DownloadFailure::Other, "address: out of memory");
        const CURLUcode parseCode = curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0);
        if (parseCode != CURLUE_OK)
            return fail(
                DownloadFailure::Other, "address: " + std::string(curl_url_strerror(parseCode)));
        CurlText host;
        curl_url_get(parsed.get(), CURLUPART_HOST, &host.text, 0);
        const bool loopback = host.text && core::isLoopbackHost(host.text);
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return fail(DownloadFailure::TimedOut,
                "transfer: no end within " + std::to_string(limits.totalTimeout.count()) + " ms");

        result.body.clear();
        result.status = 0;
        errorText[0] = '\0';
        curl_easy_setopt(easy, CURLOPT_CURLU, parsed.get());
        // "" leaves every proxy out, the environment's too; null lets libcurl
        // take the environment's.
        curl_easy_setopt(easy, CURLOPT_PROXY, loopback ? "" : static_cast<const char *>(nullptr));
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
            milliseconds(std::min<Clock::duration>(limits.connectTimeout, left)));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, milliseconds(left));
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
            curl_off_t(std::min<std::size_t>(limits.maxBodyBytes, INT64_MAX)));
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &progress);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &progress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &progress);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
        const CURLcode code = curl_easy_perform(easy);
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
        char *redirect = nullptr;
        if (code == CURLE_OK)
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect);
        const std::string next = redirect ? redirect : "";
        curl_easy_setopt(easy, CURLOPT_CURLU, static_cast<CURLU *>(nullptr));
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void *>(nullptr));
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void *>(nullptr));
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void *>(nullptr));
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, static_cast<char *>(nullptr));

        if (progress.cancelled)
            return fail(DownloadFailure::Cancelled, "transfer: cancelled");
        if (progress.stalled)
            return fail(DownloadFailure::TimedOut,
                "receive: nothing for " + std::to_string(limits.stallTimeout.count()) + " ms");
        if (progress.overLimit || code == CURLE_FILESIZE_EXCEEDED)
            return fail(DownloadFailure::TooLarge, "body: " + inBytes(limits.maxBodyBytes));
        if (code != CURLE_OK)
            return fail(classifyCurlResult(code, osErrno),
                std::string(stage(code)) + ": " + reason(code, errorText, osErrno));
        if (next.empty()) {
            result.failure = DownloadFailure::None;
            return result;
        }
        if (hop == maxRedirects)
            return fail(DownloadFailure::Other,
                "redirect: more than " + std::to_string(maxRedirects) + " in a row");
        url = next;
    }
}

DownloadFailure classifyCurlResult(int curlCode, long osErrno)
{
    switch (curlCode) {
    case CURLE_OK:
        return DownloadFailure::None;
    case CURLE_COULDNT_CONNECT:
        return osErrno == ECONNREFUSED ? DownloadFailure::ConnectionRefused
                                       : DownloadFailure::Other;
    case CURLE_OPERATION_TIMEDOUT:
        return DownloadFailure::TimedOut;
    case CURLE_FILESIZE_EXCEEDED:
        return DownloadFailure::TooLarge;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
        return DownloadFailure::Cut;
    case CURLE_ABORTED_BY_CALLBACK:
        return DownloadFailure::Cancelled;
    default:
        return DownloadFailure::Other;
    }
}

} // namespace transfer
