// korvalux-service as a process through its life: SIGHUP harmless from the first
// line of main to exit (while the rates load, flooded while serving, at the idle
// exit, during shutdown), the reload it asks for, the idle exit that waits for
// the last connection to close, and the listening sockets systemd hands over.
// Every wait is bounded: a service that hangs fails its row instead of ctest.
#include "service_process.h"
#include "service_test_data.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace korvalux::service;
using namespace korvalux::service::testProcess;
namespace fs = std::filesystem;

namespace
{

const char *const ecbName = "eurofxref-daily-2026-07-06.xml";
const char *const dailyName = "currency-api-eur-2026-07-06.json";

// A data folder holding the shipped snapshot's two files, removed afterwards.
class DataDir
{
public:
    DataDir()
    {
        char pattern[] = "/tmp/korvalux-life-XXXXXX";
        m_path = ::mkdtemp(pattern);
        for (const char *name : {ecbName, dailyName})
            fs::copy_file(fs::path(KORVALUX_SERVICE_TEST_DATA) / name, m_path / name);
    }
    ~DataDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    DataDir(const DataDir &) = delete;
    DataDir &operator=(const DataDir &) = delete;
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

// SIGHUPs to one process from a thread of their own, `pause` apart, until
// stopped or `most` have gone. Stop it before the process is reaped, while the
// pid is still the service's.
class HangUpFlood
{
public:
    HangUpFlood(pid_t pid, std::chrono::microseconds pause, int most = 100'000)
    {
        m_thread = std::thread([this, pid, pause, most] {
            while (!m_stop && m_sent < most) {
                ::kill(pid, SIGHUP);
                ++m_sent;
                if (pause.count() > 0)
                    std::this_thread::sleep_for(pause);
            }
        });
    }
    ~HangUpFlood() { stop(); }
    HangUpFlood(const HangUpFlood &) = delete;
    HangUpFlood &operator=(const HangUpFlood &) = delete;

    int stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_sent;
    }

private:
    std::atomic<bool> m_stop {false};
    std::atomic<int> m_sent {0};
    std::thread m_thread;
};

// The writing end of a FIFO, once its reader has opened it; -1 after `limit`.
int openOnceRead(const fs::path &fifo, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Non-blocking: fails with ENXIO while nobody reads, instead of waiting for ever.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, 0);
            return fd;
        }
        if (std::chrono::steady_clock::now() >= until)
            return -1;
        std::this_thread::sleep_for(10ms);
    }
}

int listeningSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(fd, 16) != 0)
        ADD_FAILURE() << "cannot listen: " << std::strerror(errno);
    return fd;
}

int portOf(int fd)
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

TEST(ServiceLifecycle, HangUpsAreHarmlessFromStartToExit)
{
    enum class End { Terminate, Idle };
    struct Row {
        const char *name;
        bool whileLoading; // the ECB snapshot is a FIFO: hang-ups come while it is read
        bool floodServing; // hang-ups without a break while requests are answered
        bool floodToEnd; // from the end's start until the process is gone
        End end; // SIGTERM, or idle for --exit-idle-time 1
        int rounds; // a race one round may miss
        const char *awaited; // logged before the end
    };
    const Row rows[] = {
        {"while the rates load", true, false, false, End::Terminate, 1,
            "reloaded: ECB rates of 2026-07-06"},
        {"flooded while serving", false, true, false, End::Terminate, 1, "reloaded"},
        {"flooded during shutdown", false, false, true, End::Terminate, 8, ""},
        {"flooded at the idle exit", false, false, true, End::Idle, 8, ""},
    };
    for (const auto &row : rows) {
        for (int round = 0; round < row.rounds; ++round) {
            SCOPED_TRACE(std::string(row.name) + ", round " + std::to_string(round + 1));
            const DataDir data;
            const fs::path snapshot = data.path() / ecbName;
            if (row.whileLoading) {
                fs::remove(snapshot);
                ASSERT_EQ(::mkfifo(snapshot.c_str(), 0600), 0);
            }
            std::vector<std::string> args = {"--quiet", "--data-dir", data.path().string()};
            if (row.end == End::Idle) // on two threads, the idle exit races the hang-ups more
                args.insert(args.end(), {"--exit-idle-time", "1", "--threads", "2"});
            ServiceProcess service(args, false);

            if (row.whileLoading) {
                // Open here means the service is inside its start-up read of the rates.
                const int fifo = openOnceRead(snapshot, 20s);
                ASSERT_GE(fifo, 0) << service.readErrors(100ms);
                for (int i = 0; i < 5; ++i) {
                    ASSERT_EQ(::kill(service.pid(), SIGHUP), 0);
                    std::this_thread::sleep_for(10ms);
                }
                EXPECT_FALSE(service.ended(200ms));
                // A real file takes the FIFO's place before the reload reads it again.
                const std::string text = testData::readData(ecbName);
                std::ofstream(data.path() / "next") << text;
                fs::rename(data.path() / "next", snapshot);
                for (std::size_t at = 0; at < text.size();) {
                    const ssize_t n = ::write(fifo, text.data() + at, text.size() - at);
                    ASSERT_GT(n, 0) << std::strerror(errno);
                    at += static_cast<std::size_t>(n);
                }
                ::close(fifo);
            }
            ASSERT_GT(service.awaitPort(), 0);

            std::optional<HangUpFlood> flood;
            if (row.floodServing) {
                flood.emplace(service.pid(), 100us);
                for (int i = 0; i < 20; ++i)
                    EXPECT_NE(fetch(service.port(), "/healthz").find("200 OK"), std::string::npos);
            }
            if (*row.awaited) {
                EXPECT_TRUE(service.waitForLog(row.awaited, 1, 20s)) << service.readErrors(0ms);
            }
            flood.reset();
            if (row.floodToEnd)
                flood.emplace(service.pid(), 10us);
            if (row.end == End::Terminate)
                ::kill(service.pid(), SIGTERM);
            EXPECT_TRUE(service.ended(30s)) << "still running";
            if (flood)
                flood->stop();
            EXPECT_EQ(service.wait(0ms), 0);
            const std::string log = service.readErrors(2s);
            EXPECT_NE(log.find(row.end == End::Idle ? "no connection for 1 s, leaving" : "stopped"),
                std::string::npos)
                << log;
        }
    }
}

TEST(ServiceLifecycle, IdleExitWaitsForTheLastConnectionToClose)
{
    struct Row {
        const char *name;
        int connections; // made before the service starts, so that it takes them at once
        int closedAtOnce; // the first ones, closed as soon as it listens
    };
    const Row rows[] = {
        {"one connection held past the limit", 1, 0},
        {"the first of two closed at once, the other held", 2, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const int listener = listeningSocket();
        std::vector<int> clients;
        for (int i = 0; i < row.connections; ++i) {
            clients.push_back(connectTo(portOf(listener)));
            ASSERT_GE(clients.back(), 0);
        }
        ServiceProcess service({"--quiet", "--exit-idle-time", "1"}, true, {listener});
        ASSERT_GT(service.port(), 0);
        for (int i = 0; i < row.closedAtOnce; ++i)
            ::close(clients[static_cast<std::size_t>(i)]);

        // More than twice the limit with a connection open: the service must stay.
        std::this_thread::sleep_for(2500ms);
        EXPECT_FALSE(service.ended(0ms));
        EXPECT_EQ(service.readErrors(100ms).find("leaving"), std::string::npos)
            << "left with a connection open";

        // The limit counts from the last close, which cannot come before this.
        const auto lastRequest = std::chrono::steady_clock::now();
        const int held = clients.back();
        sendAll(held, "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_NE(receive(held).find("ok 2026-07-06"), std::string::npos);
        ::close(held);
        ASSERT_TRUE(service.ended(20s)) << "not gone after the last connection closed";
        EXPECT_GE(std::chrono::steady_clock::now() - lastRequest, 900ms) << "left too early";
        EXPECT_EQ(service.wait(0ms), 0);
        EXPECT_NE(service.readErrors(2s).find("no connection for 1 s, leaving"), std::string::npos);
        ::close(listener);
    }
}

TEST(ServiceLifecycle, HangUpReloadsAndKeepsServing)
{
    const DataDir data;
    const fs::path &dataDir = data.path();
    // Refused at once, so each refresh round leaves its lines in the log quickly.
    ServiceProcess service({"--data-dir", dataDir.string(), "--refresh", "--ecb-url",
        "http://127.0.0.1:1/ecb.xml", "--daily-url", "http://127.0.0.1:1/daily.json"});
    ASSERT_GT(service.port(), 0);
    ASSERT_TRUE(service.waitForLog("refresh", 2, 10s));
    const std::string converter = "/finance/converter?a=1&from=EUR&to=USD";
    EXPECT_NE(fetch(service.port(), converter).find("(2026-07-06)"), std::string::npos);

    struct Row {
        const char *name;
        std::function<void()> change; // to the data folder, before the signal
        const char *logged;
        const char *date; // in the sentence afterwards
    };
    const Row rows[] = {
        {"a newer document",
            [&] {
                std::ofstream(dataDir / "eurofxref-daily-2026-07-07.xml")
                    << testData::replaced(testData::readData("eurofxref-daily-2026-07-06.xml"),
                           "2026-07-06", "2026-07-07");
            },
            "reloaded: ECB rates of 2026-07-07", "(2026-07-07)"},
        {"nothing readable", [&] { fs::remove_all(dataDir); }, "reload failed", "(2026-07-07)"},
    };
    std::size_t hangUps = 0;
    for (const auto &row : rows) {
        row.change();
        ASSERT_EQ(::kill(service.pid(), SIGHUP), 0);
        ++hangUps;
        EXPECT_TRUE(service.waitForLog(row.logged, 1, 10s)) << row.name;
        // With --refresh a round follows each reload: two feeds, a line each.
        EXPECT_TRUE(service.waitForLog("refresh", 2 + 2 * hangUps, 10s)) << row.name;
        EXPECT_EQ(service.wait(0ms), -1) << row.name;
        EXPECT_NE(fetch(service.port(), converter).find(row.date), std::string::npos) << row.name;
    }
    ::kill(service.pid(), SIGTERM);
    EXPECT_EQ(service.wait(10s), 0);
}

TEST(ServiceLifecycle, SocketHandedOverBySystemd)
{
    struct Row {
        const char *name;
        int family;
        int type;
        bool listening;
        const char *logged; // with exit status 0 after idling, or 1 for refused sockets
        int status;
        int sockets = 1; // handed over, the others IPv4 ones listening too
    };
    const Row rows[] = {
        {"IPv4", AF_INET, SOCK_STREAM, true, "(socket from systemd; --listen ignored)", 0},
        {"IPv6", AF_INET6, SOCK_STREAM, true, "(socket from systemd; --listen ignored)", 0},
        {"datagram", AF_INET, SOCK_DGRAM, false, "not a listening stream socket", 1},
        {"not listening", AF_INET, SOCK_STREAM, false, "not a listening stream socket", 1},
        {"Unix", AF_UNIX, SOCK_STREAM, true, "not a TCP socket", 1},
        {"two sockets", AF_INET, SOCK_STREAM, true, "must listen on one address", 1, 2},
    };
    for (const auto &row : rows) {
        const int fd = ::socket(row.family, row.type, 0);
        ASSERT_GE(fd, 0) << row.name;
        int bound = -1;
        if (row.family == AF_INET) {
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        } else if (row.family == AF_INET6) {
            sockaddr_in6 address {};
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_loopback;
            bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        } else {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            // An abstract name: nothing left behind in the file system.
            const std::string name = "korvalux-e2e-" + std::to_string(::getpid());
            std::memcpy(address.sun_path + 1, name.data(), name.size());
            bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address),
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size()));
        }
        if (bound != 0 && row.family == AF_INET6) {
            ::close(fd);
            continue; // no IPv6 on this machine
        }
        ASSERT_EQ(bound, 0) << row.name;
        if (row.listening) {
            ASSERT_EQ(::listen(fd, 16), 0) << row.name;
        }

        std::vector<int> handed = {fd};
        while (handed.size() < static_cast<std::size_t>(row.sockets))
            handed.push_back(listeningSocket());
        ServiceProcess service(
            {"--listen", "127.0.0.1:9", "--exit-idle-time", "1"}, row.status == 0, handed);
        if (row.status == 0) {
            sockaddr_storage address {};
            socklen_t length = sizeof address;
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
            const int port = ntohs(row.family == AF_INET
                    ? reinterpret_cast<sockaddr_in *>(&address)->sin_port
                    : reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port);
            EXPECT_EQ(service.port(), port) << row.name;
            // Connected through the test's own descriptor: the same socket.
            const int client = ::socket(row.family, SOCK_STREAM, 0);
            ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr *>(&address), length), 0);
            sendAll(client, "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            EXPECT_NE(receive(client).find("ok 2026-07-06"), std::string::npos) << row.name;
            ::close(client);
        }
        EXPECT_EQ(service.wait(10s), row.status) << row.name;
        const std::string log = service.readErrors(1s);
        EXPECT_NE(log.find(row.logged), std::string::npos) << row.name << "\n" << log;
        if (row.status == 0) {
            EXPECT_NE(log.find("no connection for 1 s, leaving"), std::string::npos) << log;
        }
        for (const int socket : handed)
            ::close(socket);
    }
}
