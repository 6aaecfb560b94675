// The Windows platform layer under Wine: the window's session over the WinINet
// transfer against the loopback server (the agent, the code page, the body
// whatever the status, a refused or closed session), and the registry store in a
// branch of the tests' own. How a transfer ends is tested on the transfer
// (wininet_transfer_test.cpp).
#include "loopback_http_server.h"
#include "win32/registry_settings.h"
#include "win32/wininet_session.h"

#include <gtest/gtest.h>

#include <windows.h>

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
    // "#" escaped by the core, so the currencies after it reach the converter.
    const std::string typed = "/finance/converter?a=1 #2&from=USD&to=EUR";
    const std::string target = "/finance/converter?a=1%20%232&from=USD&to=EUR";
    EXPECT_EQ(m_session.downloadPage(u16(m_server.baseUrl() + typed)), u"<td align=left>ok</td>");
    // Twice: the second must reach the server too, not come from a cache.
    m_session.downloadPage(u16(m_server.baseUrl() + typed));
    const std::vector<loopback::Request> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const loopback::Request &request : requests) {
        EXPECT_EQ(request.target, target);
        EXPECT_EQ(request.header("User-Agent"), core::agentString);
    }
}

// The body whatever the status, through the system's code page; nothing of a
// body over the cap, and what arrived before any other failure.
TEST_F(WinInet, ShowsTheBodyThroughTheCodePage)
{
    const struct {
        const char *what;
        loopback::Answer answer;
        std::u16string text;
        DownloadFailure failure;
    } rows[] = {
        {"empty", loopback::response(200, ""), u"", DownloadFailure::None},
        {"euro and pound", loopback::response(200, "\x80 \xA3"), u"\u20AC \u00A3",
            DownloadFailure::None},
        {"error status", loopback::response(500, "<td align=left>oops</td>"),
            u"<td align=left>oops</td>", DownloadFailure::None},
        {"over the cap", loopback::response(200, std::string(5000, 'c')), u"",
            DownloadFailure::TooLarge},
        {"cut",
            loopback::Answer()
                .send(loopback::responseHead(200, {{"Content-Length", "9"}})
                    + "\x80"
                      "bc")
                .close(),
            u"\u20ACbc", DownloadFailure::Cut},
    };
    ASSERT_EQ(GetACP(), 1252u);
    for (const auto &row : rows) {
        m_answer = row.answer;
        DownloadFailure failure = DownloadFailure::Other;
        EXPECT_EQ(
            m_session.download(u16(m_server.baseUrl() + "/x"), {60s, 60s, 4096, 60s}, &failure),
            row.text)
            << row.what;
        EXPECT_EQ(failure, row.failure) << row.what;
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
