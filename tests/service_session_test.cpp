// One session of the transport on its own, without runServer: a connection
// accepted as the server leaves when idle (IdleWatch run out) is answered and
// closed, whatever the client asked; one accepted while serving stays open.
#include "service/idle_watch.h"
#include "service/rate_store.h"
#include "service/session.h"

#include "service_test_data.h"

#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace net = boost::asio;
using tcp = net::ip::tcp;

TEST(ServiceSession, AnswersWhileLeavingIdleCloseTheirConnection)
{
    struct Row {
        const char *name;
        bool leaving;
        const char *request;
        const char *says; // the answer's Connection line, if any
        bool closed; // and the connection ends after it
    };
    const Row rows[] = {
        {"leaving, HTTP/1.1", true, "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n", "Connection: close",
            true},
        {"leaving, HTTP/1.0 keep-alive", true,
            "GET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", "", true},
        {"serving, HTTP/1.0 keep-alive", false,
            "GET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", "Connection: keep-alive",
            false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        net::io_context io;
        std::atomic<bool> idle = false;
        auto watch = std::make_shared<IdleWatch>(
            io, std::chrono::seconds(row.leaving ? 0 : 3600), [&] { idle = true; });
        watch->arm();
        if (row.leaving) {
            io.run_one(); // the idle limit, run out: the server now leaves
            io.restart();
            ASSERT_TRUE(idle);
            ASSERT_TRUE(watch->leaving());
        }
        tcp::acceptor acceptor(io, {net::ip::make_address("127.0.0.1"), 0});
        tcp::socket client(io);
        client.connect(acceptor.local_endpoint());
        RateStore store(ecbDocument(), dailyDocument());
        ServerOptions options;
        options.quiet = true;
        options.idleTimeout = std::chrono::seconds(1); // a connection kept open ends soon too
        startSession(acceptor.accept(io.get_executor()), SessionShared {store, options, watch});
        std::thread serving([&] { io.run(); });
        net::write(client, net::buffer(std::string(row.request)));
        std::string answer;
        boost::system::error_code ec;
        net::read_until(client, net::dynamic_buffer(answer), "ok 2026-07-06\n", ec);
        const auto line = answer.find("Connection: ");
        EXPECT_EQ(
            line == std::string::npos ? "" : answer.substr(line, answer.find('\r', line) - line),
            row.says);
        if (row.closed) {
            net::read(client, net::dynamic_buffer(answer), ec);
            EXPECT_EQ(ec, net::error::eof);
        }
        client.close();
        watch->halt();
        serving.join();
    }
}
