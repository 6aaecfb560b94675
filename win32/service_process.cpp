// CreateProcessW for the service and Winsock for the poll. Each poll is a
// non-blocking connect given a few milliseconds: on Windows a connect refused by
// loopback is retried by TCP for about a second before it fails, so a blocking
// attempt would see a service that came up late only that much later.
#include "win32/service_process.h"

#include "win32/platform.h"
#include "win32/wide.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <algorithm>
#include <memory>

namespace win32
{

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough to serve a few conversions in a row, short enough that a service
// nobody asks does not linger for the rest of the session; as on Linux.
constexpr wchar_t idleSeconds[] = L"300";
constexpr milliseconds pollInterval {25};
constexpr milliseconds connectWait {50};
// TerminateProcess returns before the process is gone; this is how long its end
// is waited for.
constexpr DWORD terminateWait = 2000;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

class Winsock
{
public:
    Winsock()
    {
        WSADATA data {};
        m_ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock()
    {
        if (m_ok)
            WSACleanup();
    }
    Winsock(const Winsock &) = delete;
    Winsock &operator=(const Winsock &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

DWORD waitMilliseconds(Clock::duration duration)
{
    const auto ms = std::chrono::duration_cast<milliseconds>(duration).count();
    return static_cast<DWORD>(std::clamp<long long>(ms, 0, 0x7FFFFFFF));
}

bool connectsWithin(const addrinfoW &address, milliseconds wait)
{
    const SOCKET s = socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    u_long nonBlocking = 1;
    bool connected = false;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
        if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
            connected = true;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable;
            fd_set failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval timeout {0, static_cast<long>(wait.count() * 1000)};
            if (select(0, nullptr, &writable, &failed, &timeout) > 0 && FD_ISSET(s, &writable)) {
                int error = 0;
                int size = sizeof error;
                connected
                    = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size)
                        == 0
                    && error == 0;
            }
        }
    }
    closesocket(s);
    return connected;
}

bool acceptsConnectionWithin(const LoopbackTarget &target, milliseconds wait)
{
    const Winsock winsock;
    if (!winsock.ok())
        return false;
    addrinfoW hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfoW *found = nullptr;
    const std::wstring port = std::to_wstring(target.port);
    if (GetAddrInfoW(target.host.c_str(), port.c_str(), &hints, &found) != 0)
        return false;
    bool accepted = false;
    for (const addrinfoW *at = found; at && !accepted; at = at->ai_next)
        accepted = connectsWithin(*at, wait);
    FreeAddrInfoW(found);
    return accepted;
}

bool isLoopbackAddress(const std::wstring &host)
{
    IN_ADDR v4 {};
    if (InetPtonW(AF_INET, host.c_str(), &v4) == 1)
        return v4.S_un.S_un_b.s_b1 == 127;
    IN6_ADDR v6 {};
    return InetPtonW(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::wstring folderOf(const std::wstring &path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

} // namespace

std::optional<LoopbackTarget> loopbackTarget(std::u16string_view hostPort)
{
    const std::wstring text = toWide(hostPort);
    std::wstring host;
    std::wstring port;
    bool hasPort = false;
    if (text.starts_with(L'[')) {
        const std::size_t close = text.find(L']');
        if (close == std::wstring::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const std::wstring rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != L':')
                return std::nullopt;
            port = rest.substr(1);
            hasPort = true;
        }
    } else {
        const std::size_t colon = text.find(L':');
        if (colon != std::wstring::npos && text.find(L':', colon + 1) != std::wstring::npos)
            return std::nullopt; // a bare IPv6 address needs its brackets
        host = text.substr(0, colon);
        if (colon != std::wstring::npos) {
            port = text.substr(colon + 1);
            hasPort = true;
        }
    }
    LoopbackTarget target;
    if (hasPort) {
        if (port.empty() || port.size() > 5
            || !std::all_of(
                port.begin(), port.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
            return std::nullopt;
        const unsigned long number = std::stoul(port);
        if (number == 0 || number > 65535)
            return std::nullopt;
        target.port = static_cast<unsigned short>(number);
    }
    if (CompareStringOrdinal(host.c_str(), -1, L"localhost", -1, TRUE) == CSTR_EQUAL)
        host = L"127.0.0.1";
    else if (!isLoopbackAddress(host))
        return std::nullopt;
    target.host = host;
    const std::wstring shown = host.find(L':') == std::wstring::npos ? host : L'[' + host + L']';
    target.listen = shown + L':' + std::to_wstring(target.port);
    return target;
}

std::wstring quoteArgument(std::wstring_view argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring quoted = L"\"";
    for (auto at = argument.begin();; ++at) {
        std::size_t backslashes = 0;
        while (at != argument.end() && *at == L'\\') {
            ++at;
            ++backslashes;
        }
        if (at == argument.end()) {
            // Doubled, so that the closing quote is not taken as escaped.
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*at == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted += *at;
    }
    quoted += L'"';
    return quoted;
}

bool acceptsConnection(const LoopbackTarget &target)
{
    return acceptsConnectionWithin(target, connectWait);
}

std::wstring installedServiceProgram()
{
    return programFolder() + L"\\korvalux-service.exe";
}

ServiceProcess::ServiceProcess(
    std::u16string hostPort, std::wstring program, std::vector<std::wstring> extraArguments)
    : m_hostPort(std::move(hostPort))
    , m_program(std::move(program))
    , m_extraArguments(std::move(extraArguments))
{
}

std::wstring ServiceProcess::commandLine() const
{
    const std::optional<LoopbackTarget> target = loopbackTarget(m_hostPort);
    std::vector<std::wstring> arguments = {m_program, L"--listen",
        target ? target->listen : std::wstring(), L"--exit-idle-time", idleSeconds};
    arguments.insert(arguments.end(), m_extraArguments.begin(), m_extraArguments.end());
    std::wstring line;
    for (const std::wstring &argument : arguments)
        line += (line.empty() ? L"" : L" ") + quoteArgument(argument);
    return line;
}

bool ServiceProcess::start(milliseconds within)
{
    const std::optional<LoopbackTarget> target = loopbackTarget(m_hostPort);
    if (!target)
        return false;
    const Clock::time_point deadline = Clock::now() + within;
    std::wstring line = commandLine();
    const std::wstring folder = folderOf(m_program);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started {};
    // The service outlives the window: it takes none of the window's handles, and
    // works in its own folder rather than holding whatever folder the window has.
    if (!CreateProcessW(m_program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
            nullptr, folder.c_str(), &startup, &started))
        return false;
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    m_lastProcessId = started.dwProcessId;
    for (;;) {
        const Clock::duration left = deadline - Clock::now();
        const milliseconds wait = std::min(
            connectWait, std::max(milliseconds(1), std::chrono::duration_cast<milliseconds>(left)));
        // Checked before the exit: a service that found the port taken by another
        // window's service ends at once, and that one serves.
        if (acceptsConnectionWithin(*target, wait))
            return true;
        if (deadline - Clock::now() <= Clock::duration::zero())
            break;
        // Sleeps between polls, and wakes at once when the service ends.
        const DWORD pause
            = waitMilliseconds(std::min<Clock::duration>(pollInterval, deadline - Clock::now()));
        if (WaitForSingleObject(process.get(), pause) == WAIT_OBJECT_0)
            return acceptsConnectionWithin(*target, connectWait);
    }
    // Not up in time: it has served nothing, and would otherwise linger, one more
    // on every press.
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), terminateWait);
    return false;
}

} // namespace win32
