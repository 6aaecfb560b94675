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

namespace win32
{

namespace
{

using std::chrono::milliseconds;

// TerminateProcess returns before the process is gone; this is how long its end
// is waited for.
constexpr DWORD terminateWait = 2000;

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

bool acceptsConnectionWithin(const core::ServiceAddress &target, milliseconds wait)
{
    const Winsock winsock;
    if (!winsock.ok())
        return false;
    addrinfoW hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfoW *found = nullptr;
    const std::wstring host(target.host.begin(), target.host.end());
    const std::wstring port = std::to_wstring(target.port);
    if (GetAddrInfoW(host.c_str(), port.c_str(), &hints, &found) != 0)
        return false;
    bool accepted = false;
    for (const addrinfoW *at = found; at && !accepted; at = at->ai_next)
        accepted = connectsWithin(*at, wait);
    FreeAddrInfoW(found);
    return accepted;
}

std::wstring folderOf(const std::wstring &path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

} // namespace

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

std::wstring installedServiceProgram()
{
    return programFolder() + L"\\korvalux-service.exe";
}

ServiceProcess::ServiceProcess(std::string_view converterHost, std::wstring program,
    std::optional<std::vector<std::string>> arguments)
    : m_listen(core::loopbackListenAddress(converterHost))
    , m_program(std::move(program))
{
    if (m_listen)
        m_arguments = arguments ? std::move(*arguments) : core::serviceStartArguments(*m_listen);
}

ServiceProcess::~ServiceProcess()
{
    if (m_process)
        CloseHandle(m_process);
}

std::wstring ServiceProcess::commandLine() const
{
    std::wstring line = quoteArgument(m_program);
    for (const std::string &argument : m_arguments)
        line += L' ' + quoteArgument(std::wstring(argument.begin(), argument.end()));
    return line;
}

bool ServiceProcess::listens(milliseconds wait)
{
    return m_listen && acceptsConnectionWithin(*m_listen, wait);
}

bool ServiceProcess::launch()
{
    if (!m_listen)
        return false;
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
    CloseHandle(started.hThread);
    if (m_process)
        CloseHandle(m_process);
    m_process = started.hProcess;
    m_lastProcessId = started.dwProcessId;
    return true;
}

bool ServiceProcess::running()
{
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

void ServiceProcess::stop()
{
    if (!m_process)
        return;
    TerminateProcess(m_process, 1);
    WaitForSingleObject(m_process, terminateWait);
}

} // namespace win32
