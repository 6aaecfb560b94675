// The Internet session over libcurl: one easy handle for the life of the window,
// so its connection cache keeps the converter's connection alive between
// downloads. Every download bypasses caches, follows redirects, never asks for
// compression and returns the body through Windows-1252; the status is not looked at.
#include "net/internet_session.h"

#include "net/ansi_code_page.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace modInternetFileFunctions
{

namespace
{

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

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

struct Session {
    EasyHandle easy;
    // libcurl reads this list on every request; it must outlive the handle's use.
    HeaderList headers;
};

std::optional<Session> theSession;

using Clock = std::chrono::steady_clock;

// One download's state, shared by the libcurl callbacks.
struct Transfer {
    QString page;
    std::size_t bytes = 0;
    std::size_t maxBytes = 0;
    bool overLimit = false;
    Clock::duration stallTimeout {};
    Clock::time_point lastReceived;
};

std::size_t onBody(char *data, std::size_t size, std::size_t count, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    const std::size_t n = size * count;
    transfer->lastReceived = Clock::now();
    if (n > transfer->maxBytes - transfer->bytes) {
        transfer->overLimit = true;
        return 0; // anything but n makes libcurl stop the transfer
    }
    transfer->bytes += n;
    ansi::appendToUnicode(transfer->page, data, n);
    return n;
}

std::size_t onHeader(char *, std::size_t size, std::size_t count, void *userdata)
{
    static_cast<Transfer *>(userdata)->lastReceived = Clock::now();
    return size * count;
}

int onProgress(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *transfer = static_cast<const Transfer *>(userdata);
    return Clock::now() - transfer->lastReceived > transfer->stallTimeout ? 1 : 0;
}

// Loopback is never sent through a proxy; for every other host, on every hop of a
// redirect, libcurl follows the standard variables (http_proxy, https_proxy,
// all_proxy). Setting the no-proxy list replaces no_proxy, so its value joins ours.
std::string noProxyList()
{
    const char *fromEnvironment = std::getenv("no_proxy");
    if (!fromEnvironment || !*fromEnvironment)
        fromEnvironment = std::getenv("NO_PROXY");
    const std::string theirs = fromEnvironment ? fromEnvironment : "";
    if (theirs == "*") // libcurl understands "*" only as the whole list
        return theirs;
    std::string list = "localhost,127.0.0.0/8,::1,::ffff:127.0.0.0/104";
    if (!theirs.empty())
        list += ',' + theirs;
    return list;
}

// libcurl's parser would take a "#" for the start of a fragment and drop the rest
// of the address (the currencies, when the amount holds one). The address is
// parsed up to its first "#", and the rest is put back, raw, into the query (or
// the path when there is no query), so it goes on the wire as typed.
UrlHandle parseAddress(const QByteArray &wire)
{
    UrlHandle url(curl_url());
    if (!url)
        return {};
    const qsizetype hash = wire.indexOf('#');
    const QByteArray head = hash < 0 ? wire : wire.left(hash);
    if (curl_url_set(url.get(), CURLUPART_URL, head.constData(), 0) != CURLUE_OK)
        return {};
    if (hash < 0)
        return url;
    const qsizetype schemeEnd = head.indexOf("://");
    const bool hasQuery = head.indexOf('?', schemeEnd < 0 ? 0 : schemeEnd + 3) >= 0;
    const CURLUPart part = hasQuery ? CURLUPART_QUERY : CURLUPART_PATH;
    QByteArray joined;
    CurlText current;
    if (curl_url_get(url.get(), part, &current.text, 0) == CURLUE_OK)
        joined = current.text;
    joined += wire.mid(hash);
    if (curl_url_set(url.get(), part, joined.constData(), 0) != CURLUE_OK)
        return {};
    return url;
}

bool configure(CURL *easy, curl_slist *headers)
{
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_USERAGENT, agentString);
    set(CURLOPT_HTTPHEADER, headers);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, 10L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_BUFFERSIZE, 8192L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_WRITEFUNCTION, &onBody);
    set(CURLOPT_HEADERFUNCTION, &onHeader);
    set(CURLOPT_XFERINFOFUNCTION, &onProgress);
    set(CURLOPT_NOPROGRESS, 0L);
    return ok;
}

} // namespace

void OpenInternetSession()
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    theSession.reset();
    EasyHandle easy(curl_easy_init());
    if (!easy)
        return;
    // Caches are bypassed; the empty "Accept:" and "Proxy-Connection:" drop the two
    // headers libcurl would add, so a request carries no header beyond these.
    HeaderList headers;
    for (const char *line :
        {"Cache-Control: no-cache", "Pragma: no-cache", "Accept:", "Proxy-Connection:"}) {
        curl_slist *list = curl_slist_append(headers.get(), line);
        if (!list)
            return;
        (void)headers.release();
        headers.reset(list);
    }
    if (!configure(easy.get(), headers.get()))
        return;
    theSession = Session {std::move(easy), std::move(headers)};
}

void CloseInternetSession()
{
    theSession.reset();
}

bool isSessionOpen()
{
    return theSession.has_value();
}

QByteArray encodeAddress(const QString &address)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = ansi::fromUnicode(address);
    QByteArray wire;
    wire.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool escaped = byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>'
            || c == '\\' || c == '^' || c == '`' || c == '{' || c == '|' || c == '}';
        if (escaped) {
            wire.append('%');
            wire.append(hex[byte >> 4]);
            wire.append(hex[byte & 0xF]);
        } else {
            wire.append(c);
        }
    }
    return wire;
}

DownloadFailure classifyCurlResult(int curlCode, long osErrno)
{
    if (curlCode == CURLE_OK)
        return DownloadFailure::None;
    return curlCode == CURLE_COULDNT_CONNECT && osErrno == ECONNREFUSED
        ? DownloadFailure::ConnectionRefused
        : DownloadFailure::Other;
}

QString DownloadPage(const QString &address, const DownloadLimits &limits, DownloadFailure *failure)
{
    DownloadFailure ignored = DownloadFailure::None;
    DownloadFailure &why = failure ? *failure : ignored;
    why = DownloadFailure::Other;
    if (!theSession)
        return {};
    CURL *easy = theSession->easy.get();
    const UrlHandle url = parseAddress(encodeAddress(address));
    if (!url)
        return {};

    const std::string noProxy = noProxyList();
    Transfer transfer;
    transfer.maxBytes = limits.maxBodyBytes;
    transfer.stallTimeout = limits.stallTimeout;
    transfer.lastReceived = Clock::now();

    curl_easy_setopt(easy, CURLOPT_CURLU, url.get());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connectTimeout.count()));
    // libcurl reads 0 as "no limit at all"; the shortest limit is one millisecond.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(1L, long(limits.totalTimeout.count())));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
        curl_off_t(std::min<std::size_t>(limits.maxBodyBytes, INT64_MAX)));
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode result = curl_easy_perform(easy);
    long osErrno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    why = classifyCurlResult(result, osErrno);
    curl_easy_setopt(easy, CURLOPT_CURLU, static_cast<CURLU *>(nullptr));
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void *>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void *>(nullptr));
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void *>(nullptr));

    // An answer over the limit is refused as a whole; any other failure part-way
    // (a cut connection, a stall, the overall limit) leaves what was read before it.
    if (transfer.overLimit || result == CURLE_FILESIZE_EXCEEDED)
        return {};
    return transfer.page;
}

} // namespace modInternetFileFunctions
