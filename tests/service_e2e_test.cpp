// The real korvalux-service, started as its own process on a free loopback port:
// converter pages fetched and cut by the desktop program's own download and
// extraction functions, and the transport's behaviour on the wire (keep-alive,
// HTTP/1.0, limits, time-outs, a busy port, bad options, SIGTERM).
#include "catalogue/currency_catalogue.h"
#include "net/conversion_request.h"
#include "net/internet_session.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace
{

// The service as a child process; stderr is read through a pipe.
class ServiceProcess
{
public:
    explicit ServiceProcess(std::vector<std::string> extra = {}, bool waitForPort = true)
    {
        char cacheDir[] = "/tmp/korvalux-e2e-XXXXXX";
        m_cacheDir = ::mkdtemp(cacheDir);
        std::vector<std::string> args = {KORVALUX_SERVICE_BINARY, "--data-dir",
            KORVALUX_SERVICE_TEST_DATA, "--cache-dir", m_cacheDir};
        if (extra.empty() || extra.front() != "--listen")
            args.insert(args.end(), {"--listen", "127.0.0.1:0"});
        args.insert(args.end(), extra.begin(), extra.end());

        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pipeFds[1], 2);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            std::vector<char *> argv;
            for (auto &arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        m_err = pipeFds[0];
        if (waitForPort)
            m_port = readPort();
    }

    ~ServiceProcess()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0)
            ::close(m_err);
        std::error_code ec;
        std::filesystem::remove_all(m_cacheDir, ec);
    }

    int port() const { return m_port; }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Everything written to stderr until the process ends or the time is up.
    std::string readErrors(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        char buffer[4096];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p {m_err, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            const ssize_t n = ::read(m_err, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_errors.append(buffer, static_cast<std::size_t>(n));
        }
        return m_errors;
    }

    // The exit status, or -1 when it has not ended in time.
    int wait(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    pid_t pid() const { return m_pid; }

private:
    int readPort()
    {
        const std::string marker = "listening on 127.0.0.1:";
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < until) {
            const std::size_t at = m_errors.find(marker);
            if (at != std::string::npos && m_errors.find('\n', at) != std::string::npos)
                return std::atoi(m_errors.c_str() + at + marker.size());
            char buffer[1024];
            pollfd p {m_err, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                const ssize_t n = ::read(m_err, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                m_errors.append(buffer, static_cast<std::size_t>(n));
            }
        }
        ADD_FAILURE() << "the service did not start: " << m_errors;
        return 0;
    }

    pid_t m_pid = -1;
    int m_err = -1;
    int m_port = 0;
    bool m_exited = false;
    std::string m_cacheDir;
    std::string m_errors;
};

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

// Reads until the peer closes or nothing comes for `quiet`.
std::string receive(int fd, std::chrono::milliseconds quiet = 3000ms)
{
    std::string out;
    char buffer[8192];
    for (;;) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class ServiceEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { modInternetFileFunctions::OpenInternetSession(); }
    void TearDown() override { modInternetFileFunctions::CloseInternetSession(); }
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
        const QString address = conversion::BuildRequestAddress(QString::fromUtf8(row.amount),
            QString::fromUtf8(row.from), QString::fromUtf8(row.to),
            QString::fromStdString(service.host()));
        const QString page = modInternetFileFunctions::DownloadPage(address);
        const auto shown = conversion::ExtractResultText(page);
        ASSERT_TRUE(shown) << row.amount << ": " << page.toStdString();
        EXPECT_EQ(shown->toStdString(), row.shown) << row.amount;
    }
}

TEST_F(ServiceEndToEnd, EveryCatalogueEntryConverts)
{
    ServiceProcess service({"--quiet", "--threads", "2"}); // strands in use
    ASSERT_GT(service.port(), 0);
    const QString host = QString::fromStdString(service.host());
    for (const QString &entry : catalogue::currencyEntries()) {
        const QString code = catalogue::CurrencyCode(entry);
        const auto shown = conversion::ExtractResultText(modInternetFileFunctions::DownloadPage(
            conversion::BuildRequestAddress("10", entry, "Euro (EUR)", host)));
        ASSERT_TRUE(shown) << code.toStdString();
        EXPECT_TRUE(shown->startsWith("10 " + code + " = ")) << shown->toStdString();
        EXPECT_TRUE(shown->contains(" EUR (")) << shown->toStdString();
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
    };
    const std::string converter = "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\n"
                                  "Host: x\r\n\r\n";
    const Row rows[] = {
        {"three on one connection",
            converter + converter + converter
                + "GET /healthz HTTP/1.1\r\nConnection: close\r\n\r\n",
            {"1.1415 USD", "ok 2026-07-06"}, 4},
        {"HTTP/1.0 closes",
            "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.0\r\n\r\n" + converter,
            {"HTTP/1.0 200 OK", "1.1415 USD"}, 1},
        {"HTTP/1.0 keep-alive",
            "GET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
            "GET /healthz HTTP/1.0\r\n\r\n",
            {"HTTP/1.0 200 OK"}, 2},
        {"HEAD has no body", "HEAD /healthz HTTP/1.1\r\nConnection: close\r\n\r\n",
            {"Content-Length: 14\r\n"}, 1},
        {"POST", "POST / HTTP/1.1\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc",
            {"HTTP/1.1 405", "Allow: GET, HEAD"}, 1},
        {"unknown path", "GET /nope HTTP/1.1\r\nConnection: close\r\n\r\n", {"HTTP/1.1 404"}, 1},
        {"target over 8 KiB",
            "GET /finance/converter?a=" + std::string(9000, '1') + " HTTP/1.1\r\n\r\n",
            {"HTTP/1.1 414", "<td align=left>Request too long"}, 1},
        {"head over 8 KiB", "GET / HTTP/1.1\r\nX-Big: " + std::string(9000, 'x') + "\r\n\r\n",
            {"HTTP/1.1 431"}, 1},
        {"garbage", "HELLO\r\n\r\n", {"HTTP/1.1 400", "<td align=left>Bad request"}, 1},
        {"raw blank in the target",
            "GET /finance/converter?a=1,5 x&from=EUR&to=USD HTTP/1.1\r\n\r\n", {"HTTP/1.1 400"}, 1},
    };
    for (const auto &row : rows) {
        const int fd = connectTo(service.port());
        ASSERT_GE(fd, 0);
        sendAll(fd, row.request);
        const std::string answer = receive(fd);
        ::close(fd);
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
        {"idle after an answer", "GET /healthz HTTP/1.1\r\n\r\n", false},
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
    sendAll(fd, "GET /healthz HTTP/1.1\r\nConnection: close\r\n\r\n");
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
        sendAll(
            fd, "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\nConnection: close\r\n\r\n");
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
    const Row rows[] = {
        {{"--listen", "nowhere"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:99999"}, "--listen needs ADDR:PORT"},
        {{"--threads", "0"}, "--threads needs"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--data-dir"}, "--data-dir needs"},
    };
    for (const auto &row : rows) {
        ServiceProcess bad(row.args, false);
        EXPECT_EQ(bad.wait(10s), 2) << row.message;
        EXPECT_NE(bad.readErrors(1s).find(row.message), std::string::npos) << row.message;
    }
}
