// The window's start of the converter service under Wine: which hosts count as
// loopback, the command line as the service's C runtime reads it back, and the
// whole retry over WinINet against a stand-in service (tests/fake_service.cpp)
// copied into a folder whose name has a blank: served on the retry, ended when
// it never listens, given up at once when it exits, never started for a host
// elsewhere. Nothing is sent beyond loopback.
#include "core/download.h"
#include "core/service_start.h"
#include "win32/service_process.h"
#include "win32/wininet_session.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::wstring folderOfThisTest()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L'\\'));
}

unsigned short freePort()
{
    WSADATA data {};
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
    int size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr *>(&address), &size);
    closesocket(s);
    WSACleanup();
    return ntohs(address.sin_port);
}

// Gone within the time given: no process of that id can be opened, or it has ended.
bool processGone(unsigned long pid, DWORD within = 0)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (!process)
        return true;
    const bool gone = WaitForSingleObject(process, within) == WAIT_OBJECT_0;
    if (!gone)
        TerminateProcess(process, 9); // so that the next case starts clean
    CloseHandle(process);
    return gone;
}

// The host rule itself is the core's; here, that only a loopback host's service
// is ever launched, listening where the core says.
TEST(ServiceProcess, LaunchesOnlyForLoopbackHosts)
{
    const struct {
        const char *hostPort;
        const wchar_t *listen; // nullptr: not loopback, never launched
    } rows[] = {
        {"localhost:8765", L"127.0.0.1:8765"},
        {"[::1]:8765", L"[::1]:8765"},
        {"192.0.2.1:8765", nullptr},
        {"example.com:8765", nullptr},
        {"::1", nullptr},
    };
    for (const auto &row : rows) {
        win32::ServiceProcess process(row.hostPort, folderOfThisTest() + L"\\fake_service.exe");
        if (row.listen) {
            EXPECT_NE(process.commandLine().find(std::wstring(L" --listen ") + row.listen + L" "),
                std::wstring::npos)
                << row.hostPort;
        } else {
            // The stand-in would be started if anything were.
            EXPECT_FALSE(process.launch()) << row.hostPort;
            EXPECT_EQ(process.lastProcessId(), 0u) << row.hostPort;
        }
    }
}

TEST(ServiceProcess, QuotesArgumentsAsTheRuntimeReadsThemBack)
{
    const std::vector<std::wstring> arguments
        = {L"--listen", L"127.0.0.1:8765", L"", L"two words", L"tab\there", L"a \"quoted\" word",
            L"ends\\", L"ends in blank\\", L"back\\\\\"quote", L"C:\\a b\\c\\\\"};
    const std::wstring program = L"C:\\Users\\J Doe\\AppData\\Local\\Programs\\Korvalux\\x.exe";
    std::wstring line = win32::quoteArgument(program);
    for (const std::wstring &argument : arguments)
        line += L' ' + win32::quoteArgument(argument);
    int count = 0;
    LPWSTR *parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(count, static_cast<int>(arguments.size() + 1))
        << std::string(line.begin(), line.end());
    EXPECT_EQ(parsed[0], program);
    for (std::size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(parsed[i + 1], arguments[i]) << i;
    LocalFree(parsed);
}

class ServiceStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_outer = std::wstring(temp) + L"korvalux service test "
            + std::to_wstring(GetCurrentProcessId());
        m_folder = m_outer + L"\\Korvalux Programs";
        CreateDirectoryW(m_outer.c_str(), nullptr);
        CreateDirectoryW(m_folder.c_str(), nullptr);
        m_program = m_folder + L"\\korvalux-service.exe";
        ASSERT_TRUE(CopyFileW(
            (folderOfThisTest() + L"\\fake_service.exe").c_str(), m_program.c_str(), FALSE));
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"KORVALUX_FAKE_SERVICE", nullptr);
        DeleteFileW(m_program.c_str());
        RemoveDirectoryW(m_folder.c_str());
        RemoveDirectoryW(m_outer.c_str());
    }

    std::wstring m_outer;
    std::wstring m_folder;
    std::wstring m_program;
};

TEST_F(ServiceStart, RetriesOnceTheServiceItStartedListens)
{
    const struct {
        const char *what;
        const wchar_t *mode;
        bool served;
        std::chrono::milliseconds atMost; // how long the press may wait, first attempt included
    } rows[] = {
        {"listens and answers", L"answer", true, core::serviceStartBudget},
        {"never listens", L"silent", false, core::serviceStartBudget + 2s},
        {"exits at once", L"exit", false, 1s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const unsigned short port = freePort();
        const std::string portText = std::to_string(port);
        const std::u16string host
            = u"127.0.0.1:" + std::u16string(portText.begin(), portText.end());
        SetEnvironmentVariableW(L"KORVALUX_FAKE_SERVICE", row.mode);
        win32::WinInetSession wininet;
        win32::ServiceProcess process(std::string(host.begin(), host.end()), m_program);
        core::ServiceStartRule starter(process);
        core::ServiceStartingSession session(
            wininet, wininet, starter, std::string(host.begin(), host.end()));
        // The system's session alone: the press starts the service, not the load.
        wininet.open();
        const Clock::time_point begun = Clock::now();
        const std::u16string page = session.downloadPage(
            u"http://" + host + u"/finance/converter?a=1.00&from=USD&to=EUR");
        const auto waited = Clock::now() - begun;
        session.close();
        ASSERT_NE(process.lastProcessId(), 0u);
        EXPECT_LT(waited, row.atMost);
        if (row.served) {
            const std::u16string expected = u"<td align=left>served:|--listen|" + host
                + u"|--exit-idle-time|300|--quiet|--refresh</td>";
            EXPECT_EQ(page, expected);
            // It answered its one request and ended by itself.
            EXPECT_TRUE(processGone(process.lastProcessId(), 5000));
        } else {
            EXPECT_EQ(page, u"");
            // Nothing left behind, and nothing more to wait for.
            EXPECT_TRUE(processGone(process.lastProcessId()));
        }
    }
}

// At load, a loopback host where nothing listens gets its service at once, in
// the background; a host elsewhere, or a port that already answers, gets none.
TEST_F(ServiceStart, LoadWarmsUpALoopbackHostWhereNothingListens)
{
    const struct {
        const char *what;
        const char *host; // %d: a free port
        bool listening;
        bool launched;
    } rows[] = {
        {"nothing listens", "127.0.0.1:%d", false, true},
        {"a port that answers", "127.0.0.1:%d", true, false},
        {"a host elsewhere", "192.0.2.1:%d", false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const unsigned short port = freePort();
        char host[64];
        std::snprintf(host, sizeof host, row.host, port);
        SOCKET listener = INVALID_SOCKET;
        WSADATA data {};
        WSAStartup(MAKEWORD(2, 2), &data);
        if (row.listening) {
            listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port);
            ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ASSERT_EQ(listen(listener, 8), 0);
        }
        SetEnvironmentVariableW(L"KORVALUX_FAKE_SERVICE", L"silent");
        unsigned long launched = 0;
        {
            win32::WinInetSession wininet;
            win32::ServiceProcess process(host, m_program);
            core::ServiceStartRule starter(process);
            core::ServiceStartingSession session(wininet, wininet, starter, host);
            session.open();
            session.warmUp();
            // The background start's own check and launch, within a few seconds under Wine.
            for (int i = 0; i < 300 && process.lastProcessId() == 0; ++i)
                Sleep(10);
            launched = process.lastProcessId();
            session.close();
        }
        EXPECT_EQ(launched != 0, row.launched);
        if (launched) {
            // A window closed at once leaves it to its idle exit; the test ends it.
            EXPECT_FALSE(processGone(launched));
        }
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        WSACleanup();
    }
}

} // namespace
