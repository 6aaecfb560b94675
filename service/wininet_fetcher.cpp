// The limits need more than InternetOpenUrl and InternetReadFile: the connect,
// send and receive time-outs are set on the session, and
// InternetQueryDataAvailable waits (up to the receive time-out, kept within
// what is left of the transfer's time) for the next bytes, so each read returns
// at once with what has come; a read that asked for a full buffer would wait for
// all of it. The cancel flag and the overall time are checked between reads.
#include "service/wininet_fetcher.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace korvalux::service
{

namespace
{

constexpr char agent[] = "korvalux-service/1.0";
constexpr DWORD readSize = 16384;

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

DWORD milliseconds(std::chrono::steady_clock::duration duration)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    // WinINet reads 0 as "no time-out"; the shortest wait is one millisecond.
    return static_cast<DWORD>(std::clamp<long long>(ms, 1, 0x7FFFFFFF));
}

void setTimeout(HINTERNET handle, DWORD option, DWORD ms)
{
    InternetSetOptionA(handle, option, &ms, sizeof ms);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(),
            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

std::string describe(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
        return "cannot connect";
    case ERROR_INTERNET_TIMEOUT:
        return "timed out";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return "host name not resolved";
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
        return "connection lost";
    default:
        break;
    }
    char text[256] = {};
    const HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        wininet, error, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    return message.empty() ? "WinINet error " + std::to_string(error) : message;
}

// The number the status line or a header carries; nullopt when absent.
std::optional<unsigned long long> numericHeader(HINTERNET request, DWORD query)
{
    char text[32] = {};
    DWORD size = sizeof text - 1;
    if (!HttpQueryInfoA(request, query, text, &size, nullptr))
        return std::nullopt;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0')
        return std::nullopt;
    return value;
}

} // namespace

FetchResult WinInetFetcher::fetch(
    const std::string &url, const FetchLimits &limits, const std::atomic<bool> *cancel)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limits.transferTimeout;
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    FetchResult result;
    const auto fail = [&result](std::string why) {
        result.body.clear();
        result.error = std::move(why);
        return result;
    };
    // WinINet would also open ftp:// and file-like addresses.
    if (!startsWithNoCase(url, "http://") && !startsWithNoCase(url, "https://"))
        return fail("not an HTTP or HTTPS address");
    if (cancelled())
        return fail("cancelled");

    const Internet session(InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return fail(describe(GetLastError()));
    const DWORD connectMs
        = milliseconds(std::min(std::chrono::duration_cast<Clock::duration>(limits.connectTimeout),
            std::chrono::duration_cast<Clock::duration>(limits.transferTimeout)));
    setTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, connectMs);
    setTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, milliseconds(limits.transferTimeout));
    setTimeout(
        session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, milliseconds(limits.transferTimeout));

    const Internet request(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE
            | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI,
        0));
    if (!request)
        return fail(cancelled() ? "cancelled" : describe(GetLastError()));
    const auto status = numericHeader(request.get(), HTTP_QUERY_STATUS_CODE);
    if (!status)
        return fail("no HTTP status");
    if (*status != 200)
        return fail("HTTP status " + std::to_string(*status));
    const auto length = numericHeader(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    if (length && *length > limits.maxBytes)
        return fail("larger than " + std::to_string(limits.maxBytes) + " bytes");

    char buffer[readSize];
    for (;;) {
        if (cancelled())
            return fail("cancelled");
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return fail("timed out");
        setTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, milliseconds(left));
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.get(), &available, 0, 0))
            return fail(describe(GetLastError()));
        DWORD n = 0;
        if (!InternetReadFile(request.get(), buffer, std::clamp<DWORD>(available, 1, readSize), &n))
            return fail(describe(GetLastError()));
        if (n == 0)
            break;
        if (n > limits.maxBytes - result.body.size())
            return fail("larger than " + std::to_string(limits.maxBytes) + " bytes");
        result.body.append(buffer, n);
    }
    // WinINet ends a body cut short like a whole one; its announced length tells.
    if (length && result.body.size() != *length)
        return fail("cut short after " + std::to_string(result.body.size()) + " of "
            + std::to_string(*length) + " bytes");
    return result;
}

} // namespace korvalux::service
