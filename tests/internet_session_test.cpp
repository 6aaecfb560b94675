// The Internet session against a real HTTP server on a loopback port: what goes
// on the wire (request line, agent, no-cache headers, proxies) and how bodies
// come back (sizes, Windows-1252, error status, cut, redirect, stall, limit).
#include "loopback_http_server.h"
#include "net/conversion_request.h"
#include "net/internet_session.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>

using namespace std::chrono_literals;
namespace net = modInternetFileFunctions;

namespace
{

QString text(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// Printable bytes that differ from one position to the next.
std::string pattern(std::size_t size)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char('!' + (i * 7 + i / 91) % 90);
    return bytes;
}

class InternetSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        net::OpenInternetSession();
        ASSERT_TRUE(net::isSessionOpen());
    }

    void TearDown() override
    {
        net::CloseInternetSession();
        m_server.stop();
    }

    // Answers requests for path (the target up to "?") with answer.
    void serve(const std::string &path, loopback::Answer answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers[path] = std::move(answer);
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.port()); }
    QString address(const std::string &path) const
    {
        return QString::fromStdString(m_server.baseUrl() + path);
    }

    loopback::Server m_server {[this](const loopback::Request &request) {
        std::lock_guard lock(m_mutex);
        const auto found = m_answers.find(request.target.substr(0, request.target.find('?')));
        return found != m_answers.end() ? found->second : loopback::response(404, "none");
    }};

private:
    std::mutex m_mutex;
    std::map<std::string, loopback::Answer> m_answers;
};

// Only the system's own "refused" starts the service; libcurl's "could not
// connect" covers unreachable networks and time-outs too.
TEST(DownloadFailureKind, OnlyARefusedConnectIsRefused)
{
    using modInternetFileFunctions::DownloadFailure;
    const struct {
        int code;
        long osErrno;
        DownloadFailure failure;
    } rows[] = {
        {CURLE_OK, 0, DownloadFailure::None},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, DownloadFailure::ConnectionRefused},
        {CURLE_COULDNT_CONNECT, ENETUNREACH, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, EHOSTUNREACH, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, ETIMEDOUT, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, 0, DownloadFailure::Other},
        {CURLE_OPERATION_TIMEDOUT, ECONNREFUSED, DownloadFailure::Other},
        {CURLE_RECV_ERROR, ECONNRESET, DownloadFailure::Other},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(modInternetFileFunctions::classifyCurlResult(row.code, row.osErrno), row.failure)
            << row.code << " " << row.osErrno;
    }
}

TEST(AddressEncoding, EscapesOnlyWhatCannotStandInAnAddress)
{
    struct Row {
        QString address;
        QByteArray wire;
    };
    const Row rows[] = {
        {"http://h/p?a=250&from=EUR&to=USD", "http://h/p?a=250&from=EUR&to=USD"},
        {"a=1,5 x", "a=1,5%20x"}, {"&#+,%;/?:@=!$'()*~_.-", "&#+,%;/?:@=!$'()*~_.-"},
        {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {QString::fromUtf8("\x01\t\n\x7f"), "%01%09%0A%7F"}, {QString(QChar(0)), "%00"},
        {QString::fromUtf8("\xe2\x82\xac"), "%80"}, // euro sign
        {QString::fromUtf8("\xc3\xa4\xc3\xbf"), "%E4%FF"}, // a umlaut, y diaeresis
        {QString(QChar(0x81)) + QChar(0x9D), "%81%9D"}, // undefined in the code page
        {QString(QChar(0x80)), "?"}, // a control the code page lacks
        {QString::fromUtf8("\xce\xa9"), "?"}, // Greek omega
        {QString::fromUtf8("\xf0\x9f\x98\x80"), "?"}, // one character, two UTF-16 units
        {QString(QChar(0xD800)) + u'x', "?x"}, // a lone surrogate
        {QString::fromUtf8("\xe2\x80\x9c"), "%93"}, // left double quotation mark
    };
    for (const Row &row : rows)
        EXPECT_EQ(net::encodeAddress(row.address), row.wire) << row.address.toStdString();
}

TEST_F(InternetSession, SendsTheRequestLineAsTyped)
{
    struct Row {
        QString amount;
        QString from;
        QString to;
        std::string target;
    };
    const QString usd = QStringLiteral("United States Dollar (USD)");
    const QString eur = QStringLiteral("Euro (EUR)");
    const Row rows[] = {
        {"250", eur, usd, "/finance/converter?a=250&from=EUR&to=USD"},
        {"100", usd, eur, "/finance/converter?a=100&from=USD&to=EUR"},
        {"", usd, eur, "/finance/converter?a=&from=USD&to=EUR"},
        {"1,5 x", usd, eur, "/finance/converter?a=1,5%20x&from=USD&to=EUR"},
        {"1#2", usd, eur, "/finance/converter?a=1#2&from=USD&to=EUR"},
        {"#", usd, eur, "/finance/converter?a=#&from=USD&to=EUR"},
        {"a&b+c", usd, eur, "/finance/converter?a=a&b+c&from=USD&to=EUR"},
        {"<IN_CUR_CODE>", usd, eur, "/finance/converter?a=USD&from=USD&to=EUR"},
        {QString::fromUtf8("5 \xe2\x82\xac"), usd, eur,
            "/finance/converter?a=5%20%80&from=USD&to=EUR"},
        {"\"1\"", usd, eur, "/finance/converter?a=%221%22&from=USD&to=EUR"},
        {"7", QStringLiteral("Chinese Yuan (renminbi) (CNY)"), eur,
            "/finance/converter?a=7&from=CNY&to=EUR"},
    };
    serve("/finance/converter", loopback::response(200, "page"));
    for (const Row &row : rows) {
        const QString address
            = conversion::BuildRequestAddress(row.amount, row.from, row.to, host());
        EXPECT_EQ(net::DownloadPage(address), QStringLiteral("page")) << row.target;
        const std::vector<loopback::Request> requests = m_server.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().method, "GET");
        EXPECT_EQ(requests.back().target, row.target);
        EXPECT_EQ(requests.back().version, "HTTP/1.1");
    }
}

TEST_F(InternetSession, SendsTheAgentAndNoCacheHeadersAndNothingElse)
{
    serve("/page", loopback::response(200, "x"));
    ASSERT_EQ(net::DownloadPage(address("/page")), QStringLiteral("x"));
    const std::vector<loopback::Request> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const loopback::Request &request = requests.front();
    const std::string agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; "
                              "{625B82F8-3C54-4C68-B502-9EDAD5E5A2B0}; (R1 1.5))";
    EXPECT_NE(request.raw.find("\r\nUser-Agent: " + agent + "\r\n"), std::string::npos)
        << request.raw;
    EXPECT_EQ(request.header("Cache-Control"), "no-cache");
    EXPECT_EQ(request.header("Pragma"), "no-cache");
    EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(m_server.port()));
    std::multiset<std::string> names;
    for (const auto &[name, value] : request.headers)
        names.insert(name);
    EXPECT_EQ(names, (std::multiset<std::string> {"Host", "User-Agent", "Cache-Control", "Pragma"}))
        << request.raw;
}

TEST_F(InternetSession, ReturnsBodiesOfEverySizeAndFraming)
{
    struct Row {
        const char *framing;
        std::size_t size;
    };
    const Row rows[] = {
        {"length", 0},
        {"length", 1},
        {"length", 8191},
        {"length", 8192},
        {"length", 8193},
        {"length", 20000},
        {"chunked", 0},
        {"chunked", 8192},
        {"chunked", 20000},
        {"close", 0},
        {"close", 20000},
        {"length", 300000},
    };
    for (const Row &row : rows) {
        const std::string body = pattern(row.size);
        const std::string framing = row.framing;
        const std::string path = "/" + framing + std::to_string(row.size);
        if (framing == "length") {
            serve(path, loopback::response(200, body));
        } else if (framing == "chunked") {
            std::string chunks;
            for (std::size_t at = 0; at < body.size(); at += 7000)
                chunks += loopback::chunk(std::string_view(body).substr(at, 7000));
            serve(path,
                loopback::Answer()
                    .send(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}))
                    .send(chunks + loopback::chunk("")));
        } else {
            serve(path, loopback::Answer().send(loopback::responseHead(200) + body).close());
        }
        const QString page = net::DownloadPage(address(path));
        EXPECT_EQ(page.size(), qsizetype(row.size)) << path;
        EXPECT_EQ(page, text(body)) << path;
    }
}

TEST_F(InternetSession, ReadsEveryByteThroughWindows1252)
{
    std::string body;
    for (int byte = 0; byte < 256; ++byte)
        body += char(byte);
    serve("/cp1252", loopback::response(200, body));
    const QString page = net::DownloadPage(address("/cp1252"));
    ASSERT_EQ(page.size(), 256);

    const char16_t from0x80[32] = {
        u'\u20AC',
        u'\u0081',
        u'\u201A',
        u'\u0192',
        u'\u201E',
        u'\u2026',
        u'\u2020',
        u'\u2021',
        u'\u02C6',
        u'\u2030',
        u'\u0160',
        u'\u2039',
        u'\u0152',
        u'\u008D',
        u'\u017D',
        u'\u008F',
        u'\u0090',
        u'\u2018',
        u'\u2019',
        u'\u201C',
        u'\u201D',
        u'\u2022',
        u'\u2013',
        u'\u2014',
        u'\u02DC',
        u'\u2122',
        u'\u0161',
        u'\u203A',
        u'\u0153',
        u'\u009D',
        u'\u017E',
        u'\u0178',
    };
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t expected
            = byte >= 0x80 && byte < 0xA0 ? from0x80[byte - 0x80] : char16_t(byte);
        EXPECT_EQ(page.at(byte).unicode(), expected) << "byte " << byte;
    }
    // The way back gives the same bytes, so addresses and pages agree.
    EXPECT_EQ(net::encodeAddress(page.mid(0xA1, 0x5F - 0x21)),
        QByteArray(body.data() + 0xA1, 0x5F - 0x21).toPercentEncoding());
}

TEST_F(InternetSession, ReturnsTheBodyOfAnErrorAnswer)
{
    struct Row {
        int status;
        std::string body;
    };
    const Row rows[] = {
        {404, "<html>not here</html>"},
        {500, "<html>broken</html>"},
        {503, ""},
    };
    for (const Row &row : rows) {
        const std::string path = "/status" + std::to_string(row.status);
        serve(path, loopback::response(row.status, row.body));
        EXPECT_EQ(net::DownloadPage(address(path)), text(row.body)) << row.status;
    }
}

TEST_F(InternetSession, KeepsWhatArrivedBeforeTheConnectionWasCut)
{
    const std::string body = pattern(400);
    serve("/length",
        loopback::Answer()
            .send(loopback::responseHead(200, {{"Content-Length", "1000"}}) + body)
            .close());
    serve("/chunked",
        loopback::Answer()
            .send(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}))
            .send(loopback::chunk(body) + "3e8\r\nabc")
            .close());
    EXPECT_EQ(net::DownloadPage(address("/length")), text(body));
    EXPECT_EQ(net::DownloadPage(address("/chunked")), text(body + "abc"));
    // The session carries on after a cut.
    serve("/after", loopback::response(200, "after"));
    EXPECT_EQ(net::DownloadPage(address("/after")), QStringLiteral("after"));
}

TEST_F(InternetSession, FollowsUpToTenRedirects)
{
    for (int hop = 0; hop < 11; ++hop) {
        serve("/hop" + std::to_string(hop),
            loopback::response(302, "moved", {{"Location", "/hop" + std::to_string(hop + 1)}}));
    }
    serve("/hop11", loopback::response(200, "arrived"));
    serve("/absolute", loopback::response(301, "", {{"Location", m_server.baseUrl() + "/hop11"}}));

    EXPECT_EQ(net::DownloadPage(address("/hop10")), QStringLiteral("arrived"));
    EXPECT_EQ(net::DownloadPage(address("/absolute")), QStringLiteral("arrived"));
    EXPECT_EQ(net::DownloadPage(address("/hop1")), QStringLiteral("arrived")); // ten redirects
    EXPECT_EQ(net::DownloadPage(address("/hop0")), QString()); // eleven
    for (const loopback::Request &request : m_server.requests())
        EXPECT_EQ(request.header("Pragma"), "no-cache") << request.target;
}

TEST_F(InternetSession, GivesUpOnAStalledAnswer)
{
    const std::string body = pattern(100);
    serve("/silent", loopback::Answer().pause(10s));
    serve("/head",
        loopback::Answer()
            .send(loopback::responseHead(200, {{"Content-Length", "1000"}}))
            .pause(10s));
    serve("/part",
        loopback::Answer()
            .send(loopback::responseHead(200, {{"Content-Length", "1000"}}) + body)
            .pause(10s));
    const net::DownloadLimits limits {60s, 300ms, 16 * 1024 * 1024};
    EXPECT_EQ(net::DownloadPage(address("/silent"), limits), QString());
    EXPECT_EQ(net::DownloadPage(address("/head"), limits), QString());
    EXPECT_EQ(net::DownloadPage(address("/part"), limits), text(body));
}

// One byte at a time, each well within the stall limit, for far longer than
// the overall limit: only the overall limit ends the download, with what came.
TEST_F(InternetSession, EndsWithinItsOverallLimitWhateverTheServerSends)
{
    const auto trickle = [](std::string head, const std::string &bytes) {
        loopback::Answer answer;
        answer.send(std::move(head));
        for (char c : bytes)
            answer.pause(100ms).send(std::string(1, c));
        return answer;
    };
    const std::string body = pattern(300); // 30 s at the trickle's pace
    const std::string head = loopback::responseHead(200, {{"Content-Length", "300"}});
    struct Row {
        const char *path;
        loopback::Answer answer;
        bool somethingArrives;
    };
    const Row rows[] = {
        {"/body", trickle(head, body), true},
        {"/head", trickle({}, head + body), false},
        {"/chunks",
            trickle(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}),
                loopback::chunk(body.substr(0, 1)) + loopback::chunk(body.substr(1))),
            true},
        {"/silent", loopback::Answer().pause(30s), false},
    };
    net::DownloadLimits limits;
    limits.stallTimeout = 2s;
    limits.totalTimeout = 700ms;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        serve(row.path, row.answer);
        const auto start = std::chrono::steady_clock::now();
        const QString page = net::DownloadPage(address(row.path), limits);
        const auto took = std::chrono::steady_clock::now() - start;
        // Far below the 30 s the server would go on for; only the limit ends it.
        EXPECT_LT(took, 10s);
        EXPECT_EQ(page.isEmpty(), !row.somethingArrives) << page.toStdString();
        EXPECT_LT(page.size(), qsizetype(body.size()));
        EXPECT_TRUE(text(body).startsWith(page)) << page.toStdString();
    }
    // The session carries on after a download it ended.
    serve("/after", loopback::response(200, "after"));
    EXPECT_EQ(net::DownloadPage(address("/after"), limits), QStringLiteral("after"));
}

// Gaps shorter than the stall limit, a whole that takes longer than it: the
// stall limit counts from the last byte, not from the start.
TEST_F(InternetSession, ASlowButSteadyBodyIsNotCutAsAStall)
{
    const std::string body = pattern(12);
    loopback::Answer answer;
    answer.send(loopback::responseHead(200, {{"Content-Length", "12"}}));
    for (char c : body)
        answer.pause(150ms).send(std::string(1, c));
    serve("/steady", answer);
    net::DownloadLimits limits;
    limits.stallTimeout = 1s;
    EXPECT_EQ(net::DownloadPage(address("/steady"), limits), text(body));
}

// A listener whose queue is full leaves new connections unanswered, so only the
// connect time-out can end the download (the stall time-out is out of reach).
TEST_F(InternetSession, GivesUpOnAConnectionThatIsNeverAccepted)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in queue {};
    queue.sin_family = AF_INET;
    queue.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof queue;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&queue), sizeof queue), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&queue), &length), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr *>(&queue), sizeof queue);
    }
    const net::DownloadLimits limits {300ms, 1h, 1000};
    const QString unanswered = QStringLiteral("http://127.0.0.1:%1/a").arg(ntohs(queue.sin_port));
    EXPECT_EQ(net::DownloadPage(unanswered, limits), QString());
    for (const int filler : fillers)
        ::close(filler);
    ::close(listener);
    serve("/a", loopback::response(200, "a"));
    EXPECT_EQ(net::DownloadPage(address("/a"), limits), QStringLiteral("a"));
}

TEST_F(InternetSession, RefusesABodyOverTheLimit)
{
    struct Row {
        const char *path;
        std::size_t size;
        bool chunked;
        bool arrives;
    };
    const Row rows[] = {
        {"/exact", 1000, false, true},
        {"/over", 1001, false, false},
        {"/exactChunked", 1000, true, true},
        {"/overChunked", 1001, true, false},
        {"/farOverChunked", 100000, true, false},
    };
    const net::DownloadLimits limits {60s, 60s, 1000};
    for (const Row &row : rows) {
        const std::string body = pattern(row.size);
        if (row.chunked) {
            serve(row.path,
                loopback::Answer()
                    .send(loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}}))
                    .send(loopback::chunk(body) + loopback::chunk("")));
        } else {
            serve(row.path, loopback::response(200, body));
        }
        EXPECT_EQ(
            net::DownloadPage(address(row.path), limits), row.arrives ? text(body) : QString())
            << row.path;
    }
}

TEST_F(InternetSession, KeepsOneConnectionAliveAcrossDownloads)
{
    serve("/a", loopback::response(200, "a"));
    serve("/b", loopback::response(404, "b"));
    EXPECT_EQ(net::DownloadPage(address("/a")), QStringLiteral("a"));
    EXPECT_EQ(net::DownloadPage(address("/b")), QStringLiteral("b"));
    EXPECT_EQ(net::DownloadPage(address("/a")), QStringLiteral("a"));
    EXPECT_EQ(m_server.connectionCount(), 1);
}

TEST_F(InternetSession, ClosedOrUnreachableGivesTheEmptyText)
{
    serve("/a", loopback::response(200, "a"));
    net::CloseInternetSession();
    EXPECT_FALSE(net::isSessionOpen());
    EXPECT_EQ(net::DownloadPage(address("/a")), QString());
    net::CloseInternetSession(); // closing a closed session does nothing
    EXPECT_TRUE(m_server.requests().empty());

    net::OpenInternetSession();
    EXPECT_EQ(net::DownloadPage(address("/a")), QStringLiteral("a"));
    const std::string unreachable = m_server.baseUrl();
    m_server.stop();
    EXPECT_EQ(net::DownloadPage(QString::fromStdString(unreachable + "/a")), QString());
    EXPECT_EQ(net::DownloadPage(QStringLiteral("not an address")), QString());
    EXPECT_EQ(net::DownloadPage(QStringLiteral("file:///etc/hostname")), QString());
}

// Only a connection nobody accepts counts as refused: the window starts the
// service on that alone, never on an answer it did not like or a cut body.
TEST_F(InternetSession, ReportsARefusedConnectionApartFromOtherFailures)
{
    loopback::Server gone {[](const loopback::Request &) { return loopback::response(200, "x"); }};
    ASSERT_TRUE(gone.start());
    const std::string refusedUrl = gone.baseUrl() + "/a";
    gone.stop();
    serve("/a", loopback::response(200, "a"));
    serve("/err", loopback::response(500, "e"));
    serve("/cut",
        loopback::Answer()
            .send(loopback::responseHead(200, {{"Content-Length", "9"}}) + "abc")
            .close());

    using F = net::DownloadFailure;
    struct Row {
        std::string address;
        F failure;
    };
    const Row rows[] = {
        {m_server.baseUrl() + "/a", F::None},
        {m_server.baseUrl() + "/err", F::None},
        {refusedUrl, F::ConnectionRefused},
        {m_server.baseUrl() + "/cut", F::Other},
        {"not an address", F::Other},
    };
    for (const Row &row : rows) {
        F failure = F::None;
        net::DownloadPage(QString::fromStdString(row.address), {}, &failure);
        EXPECT_EQ(failure, row.failure) << row.address;
    }
    net::CloseInternetSession();
    F failure = F::None;
    EXPECT_EQ(net::DownloadPage(QString::fromStdString(refusedUrl), {}, &failure), QString());
    EXPECT_EQ(failure, F::Other) << "no session";
}

// Sets the proxy variables for one test and puts the old values back.
class ProxyEnvironment
{
public:
    ProxyEnvironment(const std::string &proxy, const char *noProxy)
    {
        for (const char *name :
            {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            const char *value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        ::setenv("http_proxy", proxy.c_str(), 1);
        if (noProxy)
            ::setenv("no_proxy", noProxy, 1);
    }
    ~ProxyEnvironment()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// 0.0.0.0 stands for a host that is not loopback: reaching it directly still stays
// on this machine (and is refused on port 9).
TEST_F(InternetSession, UsesTheProxyExceptForLoopback)
{
    struct Row {
        const char *noProxy; // the no_proxy variable, or none
        std::string address;
        const char *page;
        bool proxied;
    };
    const std::string query = "/finance/converter?a=1#2&from=USD&to=EUR";
    const std::string port = std::to_string(m_server.port());
    const Row rows[] = {
        {nullptr, "http://127.0.0.1:" + port + query, "direct", false},
        {nullptr, "http://localhost:" + port + query, "direct", false},
        {"other.example", "http://localhost:" + port + query, "direct", false},
        {nullptr, "http://127.0.0.2:1" + query, "", false},
        {nullptr, "http://[::1]:1" + query, "", false},
        {"*", "http://0.0.0.0:9" + query, "", false},
        {"other.example,0.0.0.0", "http://0.0.0.0:9" + query, "", false},
        {nullptr, "http://0.0.0.0:9" + query, "via proxy", true},
        {"other.example", "http://0.0.0.0:9" + query, "via proxy", true},
        {nullptr, "http://127.0.0.1:" + port + "/away", "via proxy", true},
    };
    serve("/finance/converter", loopback::response(200, "direct"));
    // A "#" in a Location header does start a fragment, which is not sent.
    serve("/away", loopback::response(302, "", {{"Location", "http://0.0.0.0:9/moved#x"}}));
    for (const Row &row : rows) {
        loopback::Server proxy(
            [](const loopback::Request &) { return loopback::response(200, "via proxy"); });
        ASSERT_TRUE(proxy.start());
        const ProxyEnvironment environment(proxy.baseUrl(), row.noProxy);
        const std::string label = row.address + " no_proxy=" + (row.noProxy ? row.noProxy : "");
        EXPECT_EQ(
            net::DownloadPage(QString::fromStdString(row.address)), QString::fromLatin1(row.page))
            << label;
        const std::vector<loopback::Request> proxied = proxy.requests();
        ASSERT_EQ(proxied.size(), row.proxied ? 1u : 0u) << label;
        if (!row.proxied)
            continue;
        const loopback::Request &request = proxied.front();
        const bool redirected = row.address.ends_with("/away");
        EXPECT_EQ(request.target, "http://0.0.0.0:9" + (redirected ? "/moved" : query)) << label;
        EXPECT_EQ(request.header("Cache-Control"), "no-cache") << label;
        EXPECT_EQ(request.header("Pragma"), "no-cache") << label;
        EXPECT_FALSE(request.hasHeader("Proxy-Connection")) << request.raw;
        EXPECT_FALSE(request.hasHeader("Accept")) << request.raw;
    }
}

} // namespace
