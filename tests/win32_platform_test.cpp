// The Windows platform layer under Wine: WinINet downloads against the loopback
// server (request, agent, no cache, sizes, code page, limits, failures), the
// classification of a failed open apart from any socket, the address as it goes
// out, and the registry store in a branch of the tests' own.
#include "loopback_http_server.h"
#include "win32/registry_settings.h"
#include "win32/wininet_session.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <string>

namespace
{

using namespace std::chrono_literals;
using core::DownloadFailure;

std::u16string u16(const std::string &text)
{
    return std::u16string(text.begin(), text.end());
}

class WinInet : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        m_session.open();
        ASSERT_TRUE(m_session.isOpen());
    }
    void TearDown() override { m_server.stop(); }

    loopback::Answer m_answer = loopback::response(200, "<td align=left>ok</td>");
    loopback::Server m_server {[this](const loopback::Request &) { return m_answer; }};
    win32::WinInetSession m_session;
};

TEST_F(WinInet, SendsTheAgentAndBypassesEveryCache)
{
    const std::string target = "/finance/converter?a=1.00&from=USD&to=EUR";
    EXPECT_EQ(m_session.downloadPage(u16(m_server.baseUrl() + target)), u"<td align=left>ok</td>");
    // Twice: the second must reach the server too, not come from a cache.
    m_session.downloadPage(u16(m_server.baseUrl() + target));
    const std::vector<loopback::Request> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const loopback::Request &request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, target);
        EXPECT_EQ(request.header("User-Agent"),
            "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; "
            "{625B82F8-3C54-4C68-B502-9EDAD5E5A2B0}; (R1 1.5))");
        EXPECT_TRUE(
            request.header("Pragma") == "no-cache" || request.header("Cache-Control") == "no-cache")
            << request.raw;
    }
}

TEST_F(WinInet, ReturnsBodiesOfEverySizeThroughTheCodePage)
{
    const struct {
        const char *what;
        int status;
        std::string body;
        std::u16string text;
    } rows[] = {
        {"empty", 200, "", u""},
        {"one read", 200, std::string(8192, 'a'), std::u16string(8192, u'a')},
        {"several reads", 200, std::string(20000, 'b'), std::u16string(20000, u'b')},
        {"euro and pound", 200, "\x80 \xA3", u"\u20AC \u00A3"},
        {"error status", 500, "<td align=left>oops</td>", u"<td align=left>oops</td>"},
    };
    ASSERT_EQ(GetACP(), 1252u);
    for (const auto &row : rows) {
        m_answer = loopback::response(row.status, row.body);
        core::DownloadFailure failure = DownloadFailure::Other;
        EXPECT_EQ(m_session.download(u16(m_server.baseUrl() + "/x"), {}, &failure), row.text)
            << row.what;
        EXPECT_EQ(failure, DownloadFailure::None) << row.what;
    }
}

// A stall (no byte for the receive time-out) is left out: Wine's WinINet does
// not keep INTERNET_OPTION_RECEIVE_TIMEOUT, which Windows' own does.
TEST_F(WinInet, KeepsItsLimits)
{
    const auto head = [](std::size_t length) {
        return loopback::responseHead(200, {{"Content-Length", std::to_string(length)}});
    };
    loopback::Answer trickle;
    trickle.send(head(100));
    for (int i = 0; i < 100; ++i)
        trickle.send("x").pause(100ms);
    const struct {
        const char *what;
        loopback::Answer answer;
        core::DownloadLimits limits;
        std::u16string text;
        std::chrono::milliseconds within;
    } rows[] = {
        {"trickle past the overall bound", trickle, {60s, 60s, 1 << 20, 1s}, u"", 3s},
        {"body over the cap", loopback::response(200, std::string(5000, 'c')),
            {60s, 60s, 4096, 60s}, u"", 3s},
    };
    for (const auto &row : rows) {
        m_answer = row.answer;
        const auto started = std::chrono::steady_clock::now();
        const std::u16string text
            = m_session.download(u16(m_server.baseUrl() + "/x"), row.limits, nullptr);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_LT(took, row.within) << row.what;
        if (row.text.empty() && std::string(row.what).rfind("trickle", 0) == 0)
            EXPECT_LT(text.size(), 20u) << row.what; // what came before the bound
        else
            EXPECT_EQ(text, row.text) << row.what;
    }
}

TEST_F(WinInet, RefusedAndClosedGiveTheEmptyText)
{
    loopback::Server closed([](const loopback::Request &) { return loopback::Answer(); });
    ASSERT_TRUE(closed.start());
    const std::string nobody = closed.baseUrl();
    closed.stop(); // nothing listens there now
    DownloadFailure failure = DownloadFailure::None;
    EXPECT_EQ(m_session.download(u16(nobody + "/x"), {}, &failure), u"");
    EXPECT_EQ(failure, DownloadFailure::ConnectionRefused);

    m_session.close();
    EXPECT_EQ(m_session.download(u16(m_server.baseUrl() + "/x"), {}, &failure), u"");
    EXPECT_EQ(failure, DownloadFailure::Other);
}

TEST(WinInetFailure, OnlyCannotConnectCountsAsRefused)
{
    const struct {
        unsigned long error;
        DownloadFailure failure;
    } rows[] = {
        {ERROR_INTERNET_CANNOT_CONNECT, DownloadFailure::ConnectionRefused},
        {ERROR_INTERNET_TIMEOUT, DownloadFailure::Other},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, DownloadFailure::Other},
        {ERROR_INTERNET_CONNECTION_RESET, DownloadFailure::Other},
        {ERROR_INTERNET_INVALID_URL, DownloadFailure::Other},
        {0, DownloadFailure::Other},
    };
    for (const auto &row : rows)
        EXPECT_EQ(win32::classifyOpenFailure(row.error), row.failure) << row.error;
}

TEST(WireAddress, AnsiBytesWithWhatWinInetWouldMangleEscaped)
{
    const struct {
        std::u16string address;
        std::string wire;
    } rows[] = {
        {u"http://h/?a=1,5&from=EUR", "http://h/?a=1,5&from=EUR"},
        {u"http://h/?a=1 #2&to=X", "http://h/?a=1%20%232&to=X"},
        {u"http://h/?a=\u20AC\u00A3", "http://h/?a=%80%A3"},
        {u"http://h/?a=\u0100", "http://h/?a=?"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(win32::wireAddress(row.address), row.wire) << row.wire;
}

TEST(RegistrySettings, ReadsAndWritesStringValuesInItsBranch)
{
    const std::u16string base
        = u"Software\\Korvalux Tests\\" + u16(std::to_string(GetCurrentProcessId()));
    win32::RegistrySettings store(HKEY_CURRENT_USER, base);
    const std::u16string app = u"Vantoril", section = u"Korvalux";
    const std::wstring key(reinterpret_cast<const wchar_t *>(store.keyPath(app, section).c_str()));

    EXPECT_EQ(store.getSetting(app, section, u"FromCurrency"), u"") << "missing key";
    store.saveSetting(app, section, u"FromCurrency", u"Japanese Yen (JPY)");
    store.saveSetting(app, section, u"ToCurrency", u"\u00C9cu (XEU)");
    store.saveSetting(app, section, u"ToCurrency", u"British Pound (GBP)");
    HKEY opened = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &opened), ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(
        opened, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number);
    // A REG_SZ without its terminating zero, as another program may write it.
    RegSetValueExW(opened, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE *>(L"Euro (EUR)"),
        10 * sizeof(wchar_t));
    DWORD type = 0;
    EXPECT_EQ(
        RegQueryValueExW(opened, L"FromCurrency", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    RegCloseKey(opened);

    const struct {
        std::u16string key, value;
    } rows[] = {
        {u"FromCurrency", u"Japanese Yen (JPY)"},
        {u"ToCurrency", u"British Pound (GBP)"},
        {u"Number", u""},
        {u"Bare", u"Euro (EUR)"},
        {u"Missing", u""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(store.getSetting(app, section, row.key), row.value);
    EXPECT_EQ(store.getSetting(u"Other", section, u"FromCurrency"), u"");

    const std::wstring root(reinterpret_cast<const wchar_t *>(base.c_str()));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str()), ERROR_SUCCESS);
}

} // namespace
