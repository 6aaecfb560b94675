// Beyond InternetOpenUrlA and InternetReadFile the limits need
// InternetSetOptionA for the connect, send and receive time-outs, and
// InternetQueryDataAvailable, which waits for the next bytes so that each read
// returns at once with what has come; a read that asked for a full buffer would
// wait for all of it. Those time-outs bound the transfer on Windows; Wine keeps
// only the connect one, so the caller keeps the stall and overall limits itself,
// watching the transfer's thread. WinINet shows no byte before the whole head,
// so until the head has come the stall counts from the start. The handles are
// that thread's alone: a handle closed from another thread could be reused by
// WinINet for the next one while the thread still holds its number.
#include "transfer/wininet_transfer.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace transfer
{

namespace
{

using Clock = std::chrono::steady_clock;
using core::DownloadFailure;

constexpr DWORD readSize = 8192;

DWORD milliseconds(Clock::duration duration)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    // WinINet reads 0 as "no time-out"; the shortest wait is one millisecond.
    return static_cast<DWORD>(std::clamp<long long>(ms, 1, 0x7FFFFFFF));
}

// A receive time-out: WinINet's own code on Windows; Wine 10 gives the socket's
// WSAETIMEDOUT instead.
bool isTimeOut(DWORD error)
{
    constexpr DWORD socketTimedOut = 10060;
    return error == ERROR_INTERNET_TIMEOUT || error == socketTimedOut;
}

std::string nothingFor(const core::DownloadLimits &limits)
{
    return "receive: nothing for " + std::to_string(limits.stallTimeout.count()) + " ms";
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

// The system's message for a WinINet error, which Wine often lacks; then the
// usual ones in a few words, and always the number.
std::string describe(DWORD error)
{
    char text[256] = {};
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleW(L"wininet.dll"), error, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    if (message.empty()) {
        switch (error) {
        case ERROR_INTERNET_CANNOT_CONNECT:
            message = "cannot connect";
            break;
        case ERROR_INTERNET_TIMEOUT:
            message = "timed out";
            break;
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            message = "host name not resolved";
            break;
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_INTERNET_CONNECTION_ABORTED:
            message = "connection lost";
            break;
        default:
            message = "WinINet error";
        }
    }
    return message + " (" + std::to_string(error) + ")";
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

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

std::string outOfTime(const core::DownloadLimits &limits)
{
    return "transfer: no end within " + std::to_string(limits.totalTimeout.count()) + " ms";
}

std::string larger(std::size_t cap)
{
    return "body: larger than " + std::to_string(cap) + " bytes";
}

// What the caller and the transfer's thread share, so either may go first. The
// body grows here as it is read, so a caller that stops waiting keeps what came.
struct Shared {
    std::mutex mutex; // guards the members below
    std::condition_variable changed;
    Result result;
    Clock::time_point lastReceived;
    bool finished = false; // the thread has put its ending in result
    bool abandoned = false; // the caller has returned; result is no longer read
};

// The thread's ending, unless the caller has stopped waiting.
void finish(Shared &shared, DownloadFailure failure, std::string error)
{
    {
        const std::lock_guard lock(shared.mutex);
        if (shared.abandoned)
            return;
        shared.result.failure = failure;
        shared.result.error = std::move(error);
        if (failure == DownloadFailure::TooLarge)
            shared.result.body.clear();
        shared.finished = true;
    }
    shared.changed.notify_all();
}

bool abandoned(Shared &shared)
{
    const std::lock_guard lock(shared.mutex);
    return shared.abandoned;
}

void run(const std::shared_ptr<void> &session, Shared &shared, const std::string &url,
    const core::DownloadLimits &limits, Clock::time_point deadline)
{
    const DWORD stall
        = milliseconds(std::min<Clock::duration>(limits.stallTimeout, limits.totalTimeout));
    setTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT,
        milliseconds(std::min<Clock::duration>(limits.connectTimeout, limits.totalTimeout)));
    setTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, stall);
    setTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, stall);
    const Internet request(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE
            | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI,
        0));
    if (!request) {
        const DWORD error = GetLastError();
        return finish(shared, classifyOpenFailure(error), "request: " + describe(error));
    }
    const auto status = numericHeader(request.get(), HTTP_QUERY_STATUS_CODE);
    if (!status)
        return finish(shared, DownloadFailure::Other, "answer: no HTTP status");
    const auto length = numericHeader(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    {
        const std::lock_guard lock(shared.mutex);
        shared.result.status = static_cast<long>(*status);
        shared.lastReceived = Clock::now();
    }
    if (length && *length > limits.maxBodyBytes)
        return finish(shared, DownloadFailure::TooLarge, larger(limits.maxBodyBytes));

    char buffer[readSize];
    std::size_t received = 0;
    for (;;) {
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero() || abandoned(shared))
            return finish(shared, DownloadFailure::TimedOut, outOfTime(limits));
        const DWORD wait = std::min(stall, milliseconds(left));
        setTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, wait);
        DWORD available = 0;
        DWORD n = 0;
        if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)
            || !InternetReadFile(
                request.get(), buffer, std::clamp<DWORD>(available, 1, readSize), &n)) {
            const DWORD error = GetLastError();
            if (isTimeOut(error))
                return finish(shared, DownloadFailure::TimedOut,
                    wait < stall ? outOfTime(limits) : nothingFor(limits));
            return finish(shared, DownloadFailure::Cut, "read: " + describe(error));
        }
        if (n == 0)
            break;
        if (n > limits.maxBodyBytes - received)
            return finish(shared, DownloadFailure::TooLarge, larger(limits.maxBodyBytes));
        received += n;
        const std::lock_guard lock(shared.mutex);
        shared.result.body.append(buffer, n);
        shared.lastReceived = Clock::now();
    }
    // WinINet ends a body cut short like a whole one; its announced length tells.
    if (length && received != *length)
        return finish(shared, DownloadFailure::Cut,
            "body: cut short after " + std::to_string(received) + " of " + std::to_string(*length)
                + " bytes");
    finish(shared, DownloadFailure::None, {});
}

} // namespace

WinInetTransfer::WinInetTransfer(const std::string &agent)
{
    if (HINTERNET session
        = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
        m_session.reset(session, InternetCloser());
}

WinInetTransfer::~WinInetTransfer() = default;

Result WinInetTransfer::get(
    const std::string &address, const core::DownloadLimits &limits, const std::atomic<bool> *cancel)
{
    Result refused;
    if (!m_session) {
        refused.error = "session: not open";
        return refused;
    }
    // WinINet would also open ftp:// and file-like addresses.
    if (!startsWithNoCase(address, "http://") && !startsWithNoCase(address, "https://")) {
        refused.error = "address: not an HTTP or HTTPS address";
        return refused;
    }
    if (cancel && cancel->load()) {
        refused.failure = DownloadFailure::Cancelled;
        refused.error = "transfer: cancelled";
        return refused;
    }

    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + limits.totalTimeout;
    auto shared = std::make_shared<Shared>();
    shared->lastReceived = start;
    try {
        std::thread([session = m_session, shared, address, limits, deadline] {
            run(session, *shared, address, limits, deadline);
        }).detach();
    } catch (const std::system_error &error) {
        refused.error = std::string("transfer: no thread: ") + error.what();
        return refused;
    }

    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (shared->finished)
            return std::move(shared->result);
        const Clock::time_point now = Clock::now();
        const Clock::time_point stallEnd = shared->lastReceived + limits.stallTimeout;
        DownloadFailure failure = DownloadFailure::None;
        std::string error;
        if (cancel && cancel->load()) {
            failure = DownloadFailure::Cancelled;
            error = "transfer: cancelled";
        } else if (now >= deadline) {
            failure = DownloadFailure::TimedOut;
            error = outOfTime(limits);
        } else if (now >= stallEnd) {
            failure = DownloadFailure::TimedOut;
            error = nothingFor(limits);
        }
        if (failure != DownloadFailure::None) {
            shared->abandoned = true;
            Result result = std::move(shared->result);
            result.failure = failure;
            result.error = std::move(error);
            return result;
        }
        // The cancel flag notifies nobody: look at it now and then.
        shared->changed.wait_until(
            lock, std::min({deadline, stallEnd, now + std::chrono::milliseconds(50)}));
    }
}

core::DownloadFailure classifyOpenFailure(unsigned long error)
{
    if (error == ERROR_INTERNET_CANNOT_CONNECT)
        return DownloadFailure::ConnectionRefused;
    return isTimeOut(error) ? DownloadFailure::TimedOut : DownloadFailure::Other;
}

} // namespace transfer
