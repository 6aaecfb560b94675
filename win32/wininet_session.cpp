// WinINet does the HTTP. Beyond its four functions, the limits need two more:
// InternetSetOptionA for the connect, send and receive time-outs, and
// InternetQueryDataAvailable, which waits (up to the receive time-out) for the
// next bytes so that each InternetReadFile returns at once with what has come;
// a read that asked for a full buffer would wait for all of it. Between reads the
// elapsed time is checked against the overall bound.
#include "win32/wininet_session.h"

#include "win32/wide.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>

namespace win32
{

namespace
{

constexpr char agentString[]
    = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; {625B82F8-3C54-4C68-B502-9EDAD5E5A2B0}; "
      "(R1 1.5))";
constexpr DWORD readSize = 8192;

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

} // namespace

void InternetHandleCloser::operator()(void *handle) const
{
    InternetCloseHandle(handle);
}

WinInetSession::WinInetSession(core::DownloadLimits limits)
    : m_limits(limits)
{
}

void WinInetSession::open()
{
    m_session.reset(InternetOpenA(agentString, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

void WinInetSession::close()
{
    m_session.reset();
}

std::u16string WinInetSession::downloadPage(const std::u16string &address)
{
    return download(address, m_limits, nullptr);
}

std::u16string WinInetSession::download(const std::u16string &address,
    const core::DownloadLimits &limits, core::DownloadFailure *failure)
{
    using Clock = std::chrono::steady_clock;
    core::DownloadFailure ignored = core::DownloadFailure::None;
    core::DownloadFailure &why = failure ? *failure : ignored;
    why = core::DownloadFailure::Other;
    if (!m_session)
        return {};
    const Clock::time_point deadline = Clock::now() + limits.totalTimeout;
    const DWORD stall = milliseconds(std::min(limits.stallTimeout, limits.totalTimeout));
    setTimeout(m_session.get(), INTERNET_OPTION_CONNECT_TIMEOUT,
        milliseconds(std::min(limits.connectTimeout, limits.totalTimeout)));
    setTimeout(m_session.get(), INTERNET_OPTION_SEND_TIMEOUT, stall);
    setTimeout(m_session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, stall);

    const std::string url = wireAddress(address);
    const InternetHandle request(InternetOpenUrlA(m_session.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
    if (!request) {
        why = classifyOpenFailure(GetLastError());
        return {};
    }

    // The bytes are kept and converted once, so that a character of a multi-byte
    // code page split between two reads comes out whole.
    std::string body;
    char buffer[readSize];
    bool complete = false;
    for (;;) {
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            break;
        setTimeout(
            request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, std::min(stall, milliseconds(left)));
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.get(), &available, 0, 0))
            break;
        DWORD n = 0;
        if (!InternetReadFile(request.get(), buffer, std::clamp<DWORD>(available, 1, readSize), &n))
            break;
        if (n == 0) {
            complete = true;
            break;
        }
        if (n > limits.maxBodyBytes - body.size())
            return {};
        body.append(buffer, n);
    }
    if (complete)
        why = core::DownloadFailure::None;
    return fromAnsi(body);
}

core::DownloadFailure classifyOpenFailure(unsigned long error)
{
    return error == ERROR_INTERNET_CANNOT_CONNECT ? core::DownloadFailure::ConnectionRefused
                                                  : core::DownloadFailure::Other;
}

std::string toAnsi(std::u16string_view text)
{
    // No best fit: a character the code page lacks becomes "?", never a
    // look-alike such as a quotation mark.
    if (text.empty())
        return {};
    const auto *in = reinterpret_cast<const wchar_t *>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, in, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, in, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::u16string fromAnsi(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), size);
    return fromWide(text);
}

std::string wireAddress(std::u16string_view address)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string wire;
    for (const char c : toAnsi(address)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool escaped = byte <= 0x20 || byte >= 0x7F || c == '#' || c == '"' || c == '<'
            || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' || c == '|' || c == '}';
        if (escaped) {
            wire += '%';
            wire += hex[byte >> 4];
            wire += hex[byte & 0xF];
        } else {
            wire += c;
        }
    }
    return wire;
}

} // namespace win32
