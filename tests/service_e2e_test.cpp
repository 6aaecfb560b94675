// The real korvalux-service, started as its own process on a free loopback port:
// converter pages fetched and cut by the desktop program's own session, request
// and extraction, and the transport's behaviour on the wire (keep-alive,
// HTTP/1.0, limits, time-outs, a busy port, bad options, SIGTERM), and the first
// answer's brief wait for a refresh when the rates held are stale. Signals, the
// idle exit and handed sockets are in service_lifecycle_test.
#include "core/conversion.h"
#include "core/currency_catalogue.h"
#include "net/internet_session.h"

#include "feed_handlers.h"
#include "loopback_http_server.h"
#include "service_process.h"
#include "service_test_data.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace korvalux::service;
using namespace korvalux::service::testProcess;

namespace
{

// Sends request on a new connection, in two writes split at `split` (0: one
// write), and returns all that came back.
std::string exchange(int port, const std::string &request, std::size_t split)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return "no connection";
    if (split == 0) {
        sendAll(fd, request);
    } else {
        sendAll(fd, request.substr(0, split));
        std::this_thread::sleep_for(100ms);
        sendAll(fd, request.substr(split));
    }
    const std::string answer = receive(fd);
    ::close(fd);
    return answer;
}

// A request whose head is `size` bytes, blank line included.
std::string headOf(std::size_t size)
{
    std::string head = "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Fill: ";
    head.append(size - head.size() - 4, 'f');
    return head + "\r\n\r\n";
}

std::u16string u16(std::string_view utf8)
{
    std::u16string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte >= 0xC0 && i + 1 < utf8.size())
            text += char16_t((byte & 0x1F) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        else
            text += char16_t(byte);
    }
    return text;
}

std::string narrow(std::u16string_view text)
{
    std::string out;
    for (const char16_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

class ServiceEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { m_session.open(); }
    void TearDown() override { m_session.close(); }

    // The sentence the window would show: its request, download and extraction.
    std::optional<std::u16string> shown(std::string_view amount, std::u16string_view from,
        std::u16string_view to, const std::string &host)
    {
        return core::extractResultText(
            m_session.downloadPage(core::buildRequestAddress(u16(amount), from, to, u16(host))));
    }

    modInternetFileFunctions::CurlSession m_session;
};

} // namespace

TEST_F(ServiceEndToEnd, TheDesktopProgramGetsTheSentence)
{
    ServiceProcess service({"--quiet"});
    ASSERT_GT(service.port(), 0);
    struct Row {
        const char *amount;
        const char *from;
        const char *to;
        const char *shown;
    };
    const Row rows[] = {
        {"100", "United States Dollar (USD)", "Euro (EUR)", "100 USD = 87.6040 EUR (2026-07-06)"},
        {"250", "Euro (EUR)", "United States Dollar (USD)", "250 EUR = 285.3750 USD (2026-07-06)"},
        {"1", "Japanese Yen (JPY)", "Euro (EUR)", "1 JPY = 0.005396 EUR (2026-07-06)"},
        {"1000", "Estonian Kroon (EEK)", "Euro (EUR)", "1000 EEK = 63.9116 EUR (fixed rate)"},
        {"100", "United Arab Emirates Dirham (AED)", "Saudi Riyal (SAR)",
            "100 AED = 102.1103 SAR (2026-07-06)"},
        {"1,000.50", "Chinese Yuan (renminbi) (CNY)", "Euro (EUR)",
            "1000.50 CNY = 128.9753 EUR (2026-07-06)"},
        {"1,5", "Euro (EUR)", "Bulgarian Lev (BGN)", "1.5 EUR = 2.9337 BGN (fixed rate)"},
        {"1,5 x", "Euro (EUR)", "Swiss Franc (CHF)", "Not an amount: 1,5 x"},
        {"", "Euro (EUR)", "Swiss Franc (CHF)", "No amount given"},
        {"<b>", "Euro (EUR)", "Swiss Franc (CHF)", "Not an amount: ?b?"},
        {"1&to=XYZ", "Euro (EUR)", "Swiss Franc (CHF)", "Unknown currency: XYZ"},
        {"2 \xc3\xa9", "Euro (EUR)", "Swiss Franc (CHF)", "Not an amount: 2 ?"},
    };
    for (const auto &row : rows) {
        const auto text = shown(row.amount, u16(row.from), u16(row.to), service.host());
        ASSERT_TRUE(text) << row.amount;
        EXPECT_EQ(narrow(*text), row.shown) << row.amount;
    }
}

TEST_F(ServiceEndToEnd, EveryCatalogueEntryConverts)
{
    ServiceProcess service({"--quiet", "--threads", "2"}); // strands in use
    ASSERT_GT(service.port(), 0);
    for (const std::u16string &entry : core::currencyEntries()) {
        const std::string code = narrow(core::CurrencyCode(entry));
        const auto text = shown("10", entry, u"Euro (EUR)", service.host());
        ASSERT_TRUE(text) << code;
        EXPECT_TRUE(narrow(*text).starts_with("10 " + code + " = ")) << narrow(*text);
        EXPECT_NE(narrow(*text).find(" EUR ("), std::string::npos) << narrow(*text);
    }
}

TEST(ServiceTransport, KeepAliveVersionsAndLimits)
{
    ServiceProcess service({"--quiet"});
    ASSERT_GT(service.port(), 0);
    struct Row {
        const char *name;
        std::string request;
        std::vector<std::string> expected; // substrings of the answer, in any order
        std::size_t answers; // status lines expected
        std::size_t split = 0; // when not 0: the bytes from here on follow in a second write
    };
    const std::string converter = "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\n"
                                  "Host: x\r\n\r\n";
    const Row rows[] = {
        {"three on one connection",
            converter + converter + converter
                + "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
            {"1.1415 USD", "ok 2026-07-06"}, 4},
        {"HTTP/1.0 closes",
            "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.0\r\n\r\n" + converter,
            {"HTTP/1.0 200 OK", "1.1415 USD"}, 1},
        {"HTTP/1.0 keep-alive",
            "GET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
            "GET /healthz HTTP/1.0\r\n\r\n",
            {"HTTP/1.0 200 OK"}, 2},
        {"HEAD has no body", "HEAD /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
            {"Content-Length: 14\r\n"}, 1},
        {"POST", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc",
            {"HTTP/1.1 405", "Allow: GET, HEAD"}, 1},
        {"unknown path", "GET /nope HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
            {"HTTP/1.1 404"}, 1},
        {"target over 8 KiB",
            "GET /finance/converter?a=" + std::string(9000, '1') + " HTTP/1.1\r\n\r\n",
            {"HTTP/1.1 414", "<td align=left>Request too long"}, 1},
        {"head over 8 KiB", "GET / HTTP/1.1\r\nX-Big: " + std::string(9000, 'x') + "\r\n\r\n",
            {"HTTP/1.1 431"}, 1},
        // The limit counts the whole head, blank line included.
        {"head of 8 KiB", headOf(8192), {"HTTP/1.1 200"}, 1},
        {"head of 8 KiB and a byte", headOf(8193), {"HTTP/1.1 431"}, 1},
        {"garbage", "HELLO\r\n\r\n", {"HTTP/1.1 400", "<td align=left>Bad request"}, 1},
        {"raw blank in the target",
            "GET /finance/converter?a=1,5 x&from=EUR&to=USD HTTP/1.1\r\n\r\n", {"HTTP/1.1 400"}, 1},
        // Each of these once let the bytes after the head be answered as a request.
        {"Transfer-Encoding not chunked",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n" + converter,
            {"HTTP/1.1 400", "Transfer-Encoding"}, 1},
        {"chunked not last",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, gzip\r\n\r\n"
                + converter,
            {"HTTP/1.1 400"}, 1},
        {"Transfer-Encoding in HTTP/1.0",
            "GET /healthz HTTP/1.0\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n"
            "0\r\n\r\n"
                + converter,
            {"HTTP/1.1 400"}, 1},
        {"chunked is read",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
            "3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n"
                + converter,
            {"ok 2026-07-06", "1.1415 USD"}, 2},
        {"chunked after another coding",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
            "3\r\nabc\r\n0\r\n\r\n"
                + converter,
            {"HTTP/1.1 400", "Transfer-Encoding"}, 1},
        {"chunked after identity",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity, chunked\r\n\r\n"
            "0\r\n\r\n"
                + converter,
            {"HTTP/1.1 400", "Transfer-Encoding"}, 1},
        {"folded line in a trailer",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
            "0\r\nX-T: a\r\n b\r\n\r\n"
                + converter,
            {"HTTP/1.1 400", "folded header line"}, 1},
        {"no Host", "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\n\r\n" + converter,
            {"HTTP/1.1 400", "Host"}, 1},
        {"two Hosts", "GET /healthz HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n" + converter,
            {"HTTP/1.1 400"}, 1},
        {"two Hosts in HTTP/1.0",
            "GET /healthz HTTP/1.0\r\nHost: x\r\nHost: y\r\nConnection: keep-alive\r\n\r\n"
                + converter,
            {"HTTP/1.1 400", "Host"}, 1},
        {"Host a b", "GET /healthz HTTP/1.1\r\nHost: a b\r\n\r\n" + converter,
            {"HTTP/1.1 400", "Host"}, 1},
        {"Host u@a", "GET /healthz HTTP/1.1\r\nHost: u@a\r\n\r\n" + converter,
            {"HTTP/1.1 400", "Host"}, 1},
        {"HTTP/1.0 keep-alive, close",
            "GET /healthz HTTP/1.0\r\nConnection: keep-alive, close\r\n\r\n"
            "GET /healthz HTTP/1.0\r\n\r\n",
            {"HTTP/1.0 200 OK"}, 1},
        {"absolute form in capitals",
            "GET HTTP://X/healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
            {"HTTP/1.1 200", "ok 2026-07-06"}, 1},
        {"folded line", "GET /healthz HTTP/1.1\r\nHost: x\r\nX-A: a\r\n b\r\n\r\n" + converter,
            {"HTTP/1.1 400", "folded"}, 1},
        {"folded Host", "GET /healthz HTTP/1.1\r\nHost:\r\n\tx\r\n\r\n" + converter,
            {"HTTP/1.1 400", "folded"}, 1},
        {"HTTP/1.0 needs no Host", "GET /healthz HTTP/1.0\r\n\r\n", {"HTTP/1.0 200 OK"}, 1},
        {"folded line in two writes",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nX-A: a\r\n b\r\n\r\n" + converter, {"folded"}, 1,
            std::strlen("GET /healthz HTTP/1.1\r\nHost: x\r\nX-A: a\r\n")},
        {"bare line feeds", "GET /healthz HTTP/1.1\nHost: x\n\n", {"HTTP/1.1 400"}, 1},
        {"head ending in CR LF LF", "GET /healthz HTTP/1.1\r\nHost: x\r\n\n", {"HTTP/1.1 400"}, 1},
        {"blank line in two writes",
            "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", {"ok 2026-07-06"}, 1,
            std::strlen("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r")},
    };
    for (const auto &row : rows) {
        const std::string answer = exchange(service.port(), row.request, row.split);
        for (const auto &part : row.expected)
            EXPECT_NE(answer.find(part), std::string::npos) << row.name << "\n"
                                                            << answer.substr(0, 400);
        EXPECT_EQ(count(answer, "HTTP/1."), row.answers) << row.name << "\n"
                                                         << answer.substr(0, 400);
        if (std::string(row.name) == "HEAD has no body") {
            EXPECT_EQ(answer.find("ok "), std::string::npos);
        }
    }
}

// Requests hidden behind a folded framing line, placed where the service once
// stopped checking the head itself: past 8 KiB in two writes, past 12 KiB in one.
// Each row goes in one write, and in two when it names a split.
TEST(ServiceTransport, SmuggledRequestsAreNeverServed)
{
    ServiceProcess service({"--quiet"});
    ASSERT_GT(service.port(), 0);
    const std::string smuggled = "GET /smuggled HTTP/1.1\r\nHost: x\r\n\r\n";
    // The head up to the folded line, which starts at byte `at`. Past 8 KiB a long
    // request line keeps the fields within a limit that counted them apart.
    auto padTo = [](std::size_t at) {
        std::string head = "GET /healthz?" + std::string(at > 8192 ? 6000 : 0, 'q')
            + " HTTP/1.1\r\nHost: x\r\nX-Fill: ";
        head.append(at - head.size() - 2, 'f');
        return head + "\r\n";
    };
    struct Row {
        const char *name;
        std::string request;
        std::string status;
        std::size_t split; // when not 0: the bytes from here on follow in a second write
    };
    const std::string length = "Content-Length:\r\n 5\r\n\r\nabcde" + smuggled;
    const std::string coding = "Transfer-Encoding:\r\n chunked\r\n\r\n0\r\n\r\n" + smuggled;
    const std::string host = "X-Host:\r\n x\r\n\r\n" + smuggled;
    const Row rows[] = {
        {"length folded early", padTo(100) + length, "HTTP/1.1 400", 0},
        {"length folded before 8 KiB", padTo(8150) + length, "HTTP/1.1 400", 8100},
        {"length folded past 8 KiB", padTo(8300) + length, "HTTP/1.1 431", 8200},
        {"length folded past 12 KiB", padTo(12400) + length, "HTTP/1.1 431", 0},
        {"coding folded past 8 KiB", padTo(8300) + coding, "HTTP/1.1 431", 8200},
        {"coding folded past 12 KiB", padTo(12400) + coding, "HTTP/1.1 431", 0},
        {"coding folded at the split", padTo(5000) + coding, "HTTP/1.1 400", 5000},
        {"header folded just before 8 KiB", padTo(8180) + host, "HTTP/1.1 400", 8182},
    };
    for (const auto &row : rows) {
        for (const bool split : {false, true}) {
            if (split && row.split == 0)
                continue;
            const std::string answer = exchange(service.port(), row.request, split ? row.split : 0);
            const std::string where = std::string(row.name) + (split ? ", two writes" : "");
            EXPECT_TRUE(answer.starts_with(row.status)) << where << "\n" << answer.substr(0, 300);
            EXPECT_EQ(answer.find("smuggled"), std::string::npos) << where << "\n" << answer;
            EXPECT_EQ(count(answer, "HTTP/1."), 1u) << where;
        }
    }
}

TEST(ServiceTransport, SlowAndIdleClientsAreCut)
{
    ServiceProcess service({"--quiet", "--read-timeout", "1", "--idle-timeout", "1"});
    ASSERT_GT(service.port(), 0);
    struct Row {
        const char *name;
        std::string first; // sent at once
        bool trickle; // then one byte every 300 ms
    };
    const Row rows[] = {
        {"silent", "", false},
        {"idle after an answer", "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n", false},
        {"slow head", "GET /healthz HTTP/1.1\r\n", true},
    };
    for (const auto &row : rows) {
        const int fd = connectTo(service.port());
        ASSERT_GE(fd, 0);
        sendAll(fd, row.first);
        const auto start = std::chrono::steady_clock::now();
        bool closed = false;
        while (!closed && std::chrono::steady_clock::now() - start < 8s) {
            if (row.trickle)
                sendAll(fd, "X");
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 300) > 0) {
                char buffer[4096];
                closed = ::recv(fd, buffer, sizeof buffer, 0) <= 0;
            }
        }
        ::close(fd);
        EXPECT_TRUE(closed) << row.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << row.name;
    }
    // Still serving.
    const int fd = connectTo(service.port());
    sendAll(fd, "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_NE(receive(fd).find("200 OK"), std::string::npos);
    ::close(fd);
}

TEST(ServiceTransport, StartAndStop)
{
    {
        ServiceProcess service;
        ASSERT_GT(service.port(), 0);
        // One log line per request.
        const int fd = connectTo(service.port());
        sendAll(fd,
            "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\nHost: x\r\nConnection: "
            "close\r\n\r\n");
        receive(fd);
        ::close(fd);

        ServiceProcess second({"--listen", service.host()}, false);
        EXPECT_EQ(second.wait(10s), 1);
        EXPECT_NE(
            second.readErrors(1s).find("cannot listen on " + service.host()), std::string::npos);

        ::kill(service.pid(), SIGTERM);
        EXPECT_EQ(service.wait(10s), 0);
        const std::string log = service.readErrors(1s);
        EXPECT_NE(log.find("\"GET /finance/converter?a=1&from=EUR&to=USD\" 200"), std::string::npos)
            << log;
        EXPECT_NE(log.find("stopped"), std::string::npos);
    }
    struct Row {
        std::vector<std::string> args;
        const char *message;
    };
    // Each bad command line is in service_options_test; here only how the process ends.
    const Row rows[] = {
        {{"--listen", "nowhere"}, "--listen needs ADDR:PORT"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
    };
    for (const auto &row : rows) {
        ServiceProcess bad(row.args, false);
        EXPECT_EQ(bad.wait(10s), 2) << row.message;
        EXPECT_NE(bad.readErrors(1s).find(row.message), std::string::npos) << row.message;
    }
}
// The snapshot, of 2026-07-06, is stale on any later clock. With --refresh the
// first converter answer waits for the first refresh: it carries the feed's date
// when the feed answers, and comes within the bound from the snapshot when the
// feed stalls. A cache of today's documents, a service without --refresh, or a
// request for /healthz is answered at once: shown against a stalling feed and a
// bound far above the generous limit each row allows.
TEST(ServiceTransport, StaleRatesWaitBrieflyForTheFirstRefresh)
{
    namespace fs = std::filesystem;
    const std::string today = utcToday();
    const auto ofToday
        = [&](const std::string &text) { return testData::replaced(text, "2026-07-06", today); };
    loopback::Server answering(feeds::ofDay(today), false);
    loopback::Server stalling(feeds::stalling(), false);
    ASSERT_TRUE(answering.start());
    ASSERT_TRUE(stalling.start());
    char folder[] = "/tmp/korvalux-e2e-cache-XXXXXX";
    const fs::path freshCache = ::mkdtemp(folder);
    std::ofstream(freshCache / "ecb.xml") << ofToday(testData::ecbText());
    std::ofstream(freshCache / "daily.json") << ofToday(testData::dailyText());

    const std::string converter = "/finance/converter?a=1&from=USD&to=EUR";
    struct Row {
        const char *name;
        const loopback::Server &feed;
        std::vector<std::string> extra;
        std::string target;
        std::string shown;
        std::chrono::seconds within; // generous: far from the window's 5 s where it matters
    };
    const Row rows[] = {
        {"the feed answers at once", answering, {"--refresh", "--refresh-wait", "30"}, converter,
            "(" + today + ")", 10s},
        {"the feed stalls", stalling, {"--refresh", "--refresh-wait", "1"}, converter,
            "(2026-07-06)", 4s},
        {"a fresh cache", stalling,
            {"--refresh", "--refresh-wait", "30", "--cache-dir", freshCache.string()}, converter,
            "(" + today + ")", 10s},
        {"without --refresh", stalling, {"--refresh-wait", "30"}, converter, "(2026-07-06)", 10s},
        {"a health check", stalling, {"--refresh", "--refresh-wait", "30"}, "/healthz",
            "ok 2026-07-06", 10s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"--quiet", "--ecb-url", row.feed.baseUrl() + "/ecb",
            "--daily-url", row.feed.baseUrl() + "/daily"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        ServiceProcess service(args);
        ASSERT_GT(service.port(), 0);
        const auto asked = std::chrono::steady_clock::now();
        const std::string answer = fetch(service.port(), row.target);
        EXPECT_LT(std::chrono::steady_clock::now() - asked, row.within);
        EXPECT_NE(answer.find(row.shown), std::string::npos) << answer.substr(0, 400);
    }
    answering.stop();
    stalling.stop();
    fs::remove_all(freshCache);
}
