// runServer behind a host faked here, as another platform's would be: stop and
// reload asked from a thread that does not serve, a listening socket the host
// hands over (or one it cannot), and leaving when idle. Then converter answers
// held for fresh rates, counted: each asks once, and all wake together. No
// signal, no process: the server runs on a thread of the test, on 127.0.0.1.
#include "service/rate_store.h"
#include "service/server.h"
#include "service/server_host.h"

#include "service_test_data.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace
{

class FakeHost final : public ServerHost
{
public:
    std::optional<std::string> adoptListener(
        tcp::acceptor &acceptor, boost::system::error_code &ec) override
    {
        if (!handOver)
            return std::nullopt;
        if (refuse)
            ec = net::error::bad_descriptor;
        else {
            acceptor.open(tcp::v4(), ec);
            acceptor.bind({net::ip::make_address("127.0.0.1"), 0}, ec);
            acceptor.listen(8, ec);
        }
        return "the fake's socket";
    }
    void watch(ServerControl &c) override
    {
        const std::lock_guard lock(m_mutex);
        m_control = &c;
        watched = true;
    }
    void leave(bool idle) override { left = idle ? "idle" : "stopped"; }
    void forget() override
    {
        const std::lock_guard lock(m_mutex);
        m_control = nullptr;
        forgotten = true;
    }

    // Asks from another thread as a real host does: under the lock forget()
    // takes, so the server's io_context outlives the call. False once forgotten.
    bool ask(void (ServerControl::*request)())
    {
        const std::lock_guard lock(m_mutex);
        if (!m_control)
            return false;
        (m_control->*request)();
        return true;
    }

    bool handOver = false;
    bool refuse = false;
    std::string left = "no";
    bool watched = false;
    bool forgotten = false;

private:
    std::mutex m_mutex;
    ServerControl *m_control = nullptr;
};

// "GET /healthz" on a connection of its own; the status line, or the error.
std::string healthStatus(const std::string &where)
{
    net::io_context io;
    tcp::socket socket(io);
    boost::system::error_code ec;
    const auto colon = where.rfind(':');
    socket.connect({net::ip::make_address(where.substr(0, colon)),
                       static_cast<unsigned short>(std::stoi(where.substr(colon + 1)))},
        ec);
    const std::string request = "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    if (!ec)
        net::write(socket, net::buffer(request), ec);
    std::string answer;
    net::read(socket, net::dynamic_buffer(answer), ec);
    return answer.empty() ? ec.message() : answer.substr(0, answer.find("\r\n"));
}

struct Served {
    int code = -1;
    std::string where;
    int reloads = 0;
};

// Serves until the host's control is asked to stop from this thread, after
// `reloads` reload requests; or, with an idle limit, until idle.
Served serve(FakeHost &host, int reloads, std::chrono::seconds idle = {})
{
    RateStore store(ecbDocument(), dailyDocument());
    ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.exitIdleTime = idle;
    Served run;
    std::promise<std::string> listening;
    std::atomic<int> reloaded = 0;
    std::thread serving([&] {
        run.code = runServer(
            store, options, host, [&](const std::string &where) { listening.set_value(where); },
            [&] { ++reloaded; });
    });
    auto where = listening.get_future();
    if (where.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        run.where = where.get();
        EXPECT_EQ(healthStatus(run.where), "HTTP/1.1 200 OK");
        for (int i = 0; i < reloads; ++i) {
            EXPECT_TRUE(host.ask(&ServerControl::requestReload));
        }
        while (reloaded < reloads)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (idle.count() == 0) {
            EXPECT_TRUE(host.ask(&ServerControl::requestStop));
        }
    }
    serving.join();
    run.reloads = reloaded;
    return run;
}

// Fresh rates that come when the test says, or never: then the bound lets the
// answers go. Counts how often the server asks.
class FakeFreshRates final : public FreshRatesWait
{
public:
    explicit FakeFreshRates(std::chrono::milliseconds bound)
        : m_until(Clock::now() + bound)
    {
    }

    std::optional<Clock::time_point> holdUntil() const override
    {
        ++m_asked;
        if (m_ended || Clock::now() >= m_until)
            return std::nullopt;
        return m_until;
    }

    void setHoldListener(HoldListener *listener) override
    {
        const std::lock_guard lock(m_mutex);
        m_listener = listener;
    }

    // As the keeper does when its first round is over.
    void end()
    {
        m_ended = true;
        const std::lock_guard lock(m_mutex);
        if (m_listener)
            m_listener->holdEnded();
    }

    int asked() const { return m_asked; }

private:
    Clock::time_point m_until;
    std::atomic<bool> m_ended {false};
    std::mutex m_mutex;
    HoldListener *m_listener = nullptr;
    mutable std::atomic<int> m_asked {0};
};

} // namespace

TEST(ServiceServer, HeldAnswersAskOnceAndWakeTogether)
{
    struct Row {
        const char *name;
        unsigned threads;
        bool roundEnds; // else the bound ends the hold
    };
    const Row rows[] = {
        {"the round ends, one thread", 1, true},
        {"the round ends, four threads", 4, true},
        {"the bound passes, one thread", 1, false},
        {"the bound passes, four threads", 4, false},
    };
    constexpr int held = 200;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        FakeFreshRates fresh(row.roundEnds ? std::chrono::seconds(60) : std::chrono::seconds(1));
        RateStore store(ecbDocument(), dailyDocument());
        ServerOptions options;
        options.port = 0;
        options.quiet = true;
        options.threads = row.threads;
        options.freshRates = &fresh;
        FakeHost host;
        std::promise<std::string> listening;
        std::thread serving([&] {
            runServer(store, options, host,
                [&](const std::string &where) { listening.set_value(where); });
        });
        const std::string where = listening.get_future().get();
        const auto colon = where.rfind(':');
        const tcp::endpoint endpoint {net::ip::make_address(where.substr(0, colon)),
            static_cast<unsigned short>(std::stoi(where.substr(colon + 1)))};
        net::io_context io;
        std::vector<tcp::socket> clients;
        const std::string request
            = "GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\nHost: x\r\n\r\n";
        for (int i = 0; i < held; ++i) {
            clients.emplace_back(io).connect(endpoint);
            net::write(clients.back(), net::buffer(request));
        }
        // All held: each has asked.
        for (int i = 0; i < 1000 && fresh.asked() < held; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(fresh.asked(), held);
        // Long enough for a held answer that polls to ask again many times.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (row.roundEnds)
            fresh.end();
        int answered = 0;
        for (auto &client : clients) {
            std::string answer;
            boost::system::error_code ec;
            net::read_until(client, net::dynamic_buffer(answer), "</html>", ec);
            answered += answer.find("1.1415 USD") != std::string::npos;
        }
        EXPECT_EQ(answered, held);
        // Once when it came, never again: no answer polls for the rates.
        EXPECT_LE(fresh.asked(), held + 2);
        EXPECT_TRUE(host.ask(&ServerControl::requestStop));
        serving.join();
    }
}

TEST(ServiceServer, HostStopsAndReloadsFromAnotherThread)
{
    struct Row {
        const char *name;
        bool handOver;
        int reloads;
        std::chrono::seconds idle;
        const char *left;
    };
    const Row rows[] = {
        {"bound as the options say", false, 0, {}, "stopped"},
        {"socket handed over", true, 0, {}, "stopped"},
        {"two reloads, then a stop", false, 2, {}, "stopped"},
        {"leaving when idle", false, 1, std::chrono::seconds(1), "idle"},
    };
    for (const auto &row : rows) {
        FakeHost host;
        host.handOver = row.handOver;
        const Served run = serve(host, row.reloads, row.idle);
        EXPECT_EQ(run.code, 0) << row.name;
        EXPECT_TRUE(run.where.starts_with("127.0.0.1:")) << row.name << ": " << run.where;
        EXPECT_EQ(run.reloads, row.reloads) << row.name;
        EXPECT_EQ(host.left, row.left) << row.name;
        EXPECT_TRUE(host.forgotten) << row.name;
    }
}

TEST(ServiceServer, SocketHandedOverThatCannotBeUsed)
{
    FakeHost host;
    host.handOver = true;
    host.refuse = true;
    RateStore store(ecbDocument(), dailyDocument());
    testing::internal::CaptureStderr();
    EXPECT_EQ(runServer(store, ServerOptions {}, host), 1);
    // The system's own words for the error: "Bad file descriptor" on Linux.
    const std::string why = boost::system::error_code(net::error::bad_descriptor).message();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "korvalux-service: cannot listen on the fake's socket: socket: " + why + "\n");
    EXPECT_FALSE(host.watched);
}
