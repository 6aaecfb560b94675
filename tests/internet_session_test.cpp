// The window's libcurl session against a loopback server: what it makes of the
// transfer. The address goes out through Windows-1252 and the core's escape with
// the agent string; the body comes back through Windows-1252 whatever the
// status; and each way a download ends shows as the window shows it. How a
// transfer ends is tested on the transfer (curl_transfer_test.cpp).
#include "core/conversion.h"
#include "net/internet_session.h"

#include "loopback_http_server.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace std::chrono_literals;
using core::DownloadFailure;
using modInternetFileFunctions::CurlSession;

std::u16string u16(const std::string &latin1)
{
    return std::u16string(latin1.begin(), latin1.end());
}

class InternetSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        m_session.open();
        ASSERT_TRUE(m_session.isOpen());
    }

    std::u16string address(const std::string &path) const { return u16(m_server.baseUrl() + path); }

    loopback::Answer m_answer = loopback::response(200, "page");
    loopback::Server m_server {[this](const loopback::Request &) { return m_answer; }};
    CurlSession m_session;
};

TEST_F(InternetSession, SendsTheRequestLineAsTypedWithTheAgent)
{
    const std::u16string usd = u"United States Dollar (USD)";
    const std::u16string eur = u"Euro (EUR)";
    const struct {
        std::u16string amount, from, to;
        std::string target;
    } rows[] = {
        {u"250", eur, usd, "/finance/converter?a=250&from=EUR&to=USD"},
        {u"", usd, eur, "/finance/converter?a=&from=USD&to=EUR"},
        {u"1,5 x", usd, eur, "/finance/converter?a=1,5%20x&from=USD&to=EUR"},
        // Escaped, so the currencies after it still reach the converter.
        {u"1#2", usd, eur, "/finance/converter?a=1%232&from=USD&to=EUR"},
        {u"a&b+c", usd, eur, "/finance/converter?a=a&b+c&from=USD&to=EUR"},
        {u"<IN_CUR_CODE>", usd, eur, "/finance/converter?a=USD&from=USD&to=EUR"},
        {u"5 \u20AC", usd, eur, "/finance/converter?a=5%20%80&from=USD&to=EUR"},
        {u"\"1\"", usd, eur, "/finance/converter?a=%221%22&from=USD&to=EUR"},
        {u"7", u"Chinese Yuan (renminbi) (CNY)", eur, "/finance/converter?a=7&from=CNY&to=EUR"},
    };
    const std::u16string host = u16("127.0.0.1:" + std::to_string(m_server.port()));
    for (const auto &row : rows) {
        EXPECT_EQ(
            m_session.downloadPage(core::buildRequestAddress(row.amount, row.from, row.to, host)),
            u"page")
            << row.target;
        const std::vector<loopback::Request> requests = m_server.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().target, row.target);
        EXPECT_EQ(requests.back().header("User-Agent"), core::agentString);
    }
}

TEST_F(InternetSession, ReadsEveryByteThroughWindows1252)
{
    std::string body;
    for (int byte = 0; byte < 256; ++byte)
        body += char(byte);
    m_answer = loopback::response(200, body);
    const std::u16string page = m_session.downloadPage(address("/cp1252"));
    ASSERT_EQ(page.size(), 256u);
    const char16_t from0x80[32]
        = {u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
            u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
            u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
            u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178'};
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t expected
            = byte >= 0x80 && byte < 0xA0 ? from0x80[byte - 0x80] : char16_t(byte);
        EXPECT_EQ(page[byte], expected) << "byte " << byte;
    }
}

// The window shows the body whatever the status, and what arrived before a
// failure part-way, but nothing of a body over the cap.
TEST_F(InternetSession, ShowsWhatArrivedForEachEnding)
{
    loopback::Server gone([](const loopback::Request &) { return loopback::response(200, ""); });
    ASSERT_TRUE(gone.start());
    const std::string refused = gone.baseUrl() + "/x";
    gone.stop();
    const std::string over(1001, 'o');
    const struct {
        const char *name;
        loopback::Answer answer;
        std::string url; // the server's /x when empty
        std::u16string page;
        DownloadFailure failure;
    } rows[] = {
        {"error status", loopback::response(500, "<html>broken</html>"), "", u"<html>broken</html>",
            DownloadFailure::None},
        {"over the cap", loopback::response(200, over), "", u"", DownloadFailure::TooLarge},
        {"cut",
            loopback::Answer()
                .send(loopback::responseHead(200, {{"Content-Length", "9"}}) + "abc")
                .close(),
            "", u"abc", DownloadFailure::Cut},
        {"refused", {}, refused, u"", DownloadFailure::ConnectionRefused},
    };
    for (const auto &row : rows) {
        m_answer = row.answer;
        DownloadFailure failure = DownloadFailure::Other;
        const std::string url = row.url.empty() ? m_server.baseUrl() + "/x" : row.url;
        EXPECT_EQ(m_session.download(u16(url), {60s, 60s, 1000, 60s}, &failure), row.page)
            << row.name;
        EXPECT_EQ(failure, row.failure) << row.name;
    }
    // downloadPage keeps the limits the session was made with.
    m_answer = loopback::response(200, over);
    CurlSession capped({60s, 60s, 1000, 60s});
    capped.open();
    EXPECT_EQ(capped.downloadPage(address("/x")), u"");
}

TEST_F(InternetSession, AClosedSessionGivesTheEmptyText)
{
    m_session.close();
    m_session.close(); // closing a closed session does nothing
    EXPECT_FALSE(m_session.isOpen());
    DownloadFailure failure = DownloadFailure::None;
    EXPECT_EQ(m_session.download(address("/x"), {}, &failure), u"");
    EXPECT_EQ(failure, DownloadFailure::Other);
    EXPECT_TRUE(m_server.requests().empty());
    m_session.open();
    EXPECT_EQ(m_session.downloadPage(address("/x")), u"page");
}

} // namespace
