// One Session per connection: wait for a request (idle time-out), read it (read
// time-out, 8 KiB of head at most), answer, and go round again while the client
// keeps the connection alive. With several threads each connection runs on its
// own strand. Beast reads and parses; the answer's few header lines are written
// by hand into one reused buffer, which keeps a request free of allocations there.
#include "service/server.h"

#include "service/pages.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvalux::service
{

namespace
{

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t headLimit = 8192;

std::string_view view(beast::string_view text)
{
    return {text.data(), text.size()};
}

void writeLog(std::string line)
{
    line += '\n';
    // One write per line keeps lines from several threads whole.
    [[maybe_unused]] auto n = ::write(2, line.data(), line.size());
}

// A target as it goes into the log: printable, bounded.
std::string loggable(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, 200))
        out += (c > 0x20 && c < 0x7f && c != '"') ? c : '?';
    if (text.size() > 200)
        out += "...";
    return out;
}

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, RateStore &store, const ServerOptions &options)
        : m_stream(std::move(socket))
        , m_store(store)
        , m_options(options)
    {
        beast::error_code ec;
        const auto peer = m_stream.socket().remote_endpoint(ec);
        if (!ec)
            m_peer = peer.address().to_string() + ":" + std::to_string(peer.port());
    }

    void start()
    {
        net::dispatch(m_stream.get_executor(),
            beast::bind_front_handler(&Session::waitForRequest, shared_from_this()));
    }

private:
    void waitForRequest()
    {
        m_stream.expires_after(m_first ? m_options.readTimeout : m_options.idleTimeout);
        if (m_buffer.size() > 0)
            return readRequest(); // the next request is already here (pipelining)
        // This buffer must persist across reads: the parser takes what is left.
        m_stream.async_read_some(m_buffer.prepare(4096),
            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec)
                    return self->close();
                self->m_buffer.commit(n);
                self->readRequest();
            });
    }

    void readRequest()
    {
        m_parser.emplace();
        m_parser->header_limit(headLimit);
        m_parser->body_limit(headLimit);
        m_stream.expires_after(m_options.readTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
            beast::bind_front_handler(&Session::onRead, shared_from_this()));
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        static const auto &httpErrors
            = http::make_error_code(http::error::end_of_stream).category();
        if (ec == http::error::end_of_stream || ec == beast::error::timeout
            || (ec && ec.category() != httpErrors))
            return close(); // gone, too slow, or a socket error: nobody to answer
        if (ec == http::error::header_limit)
            return answerUnreadable(requestLineFits() ? 431 : 414,
                requestLineFits() ? "Request head too large (at most 8 KiB)"
                                  : "Request too long (at most 8 KiB)");
        if (ec == http::error::body_limit)
            return answerUnreadable(413, "Request body too large");
        if (ec)
            return answerUnreadable(400, "Bad request");

        const auto &request = m_parser->get();
        const auto table = m_store.table();
        const std::string_view method = view(request.method_string());
        const std::string_view target = view(request.target());
        const bool head = request.method() == http::verb::head;
        Response response;
        try {
            response = handleRequest(method, target, *table);
        } catch (const std::exception &error) {
            // Out of memory, in practice: this request fails, the service stays up.
            writeLog(std::string("korvalux-service: request failed: ") + error.what());
            return answerUnreadable(503, "The converter is busy, try again");
        }
        send(response, request.version(), request.keep_alive(), head, method, target);
    }

    // The parser fills in the target once the request line is complete.
    bool requestLineFits() const { return !m_parser->get().target().empty(); }

    void answerUnreadable(unsigned status, std::string_view sentence)
    {
        send(errorPage(status, sentence), 11, false, false, "-", "-");
    }

    void send(const Response &response, unsigned version, bool keepAlive, bool head,
        std::string_view method, std::string_view target)
    {
        const std::size_t length = response.body.size();
        m_out.clear();
        m_out += version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
        m_out += std::to_string(response.status);
        m_out += ' ';
        m_out += view(http::obsolete_reason(static_cast<http::status>(response.status)));
        m_out += "\r\nServer: korvalux-service\r\nContent-Type: ";
        m_out += response.contentType;
        m_out += "\r\nContent-Length: ";
        m_out += std::to_string(length);
        if (response.status == 405)
            m_out += "\r\nAllow: GET, HEAD";
        if (version == 10 && keepAlive)
            m_out += "\r\nConnection: keep-alive";
        else if (version != 10 && !keepAlive)
            m_out += "\r\nConnection: close";
        m_out += "\r\n\r\n";
        if (!head) // a HEAD answer keeps the length of the GET answer, without its body
            m_out += response.body;

        if (!m_options.quiet)
            writeLog(m_peer + " \"" + std::string(method) + " " + loggable(target) + "\" "
                + std::to_string(response.status) + " " + std::to_string(length));

        m_stream.expires_after(m_options.readTimeout);
        net::async_write(m_stream, net::buffer(m_out),
            [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
                if (ec || !keepAlive)
                    return self->close();
                self->m_first = false;
                self->waitForRequest();
            });
    }

    void close()
    {
        beast::error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ec);
        m_stream.close();
    }

    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer {4 * headLimit};
    RateStore &m_store;
    const ServerOptions &m_options;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_out; // the answer being written; must persist until the write ends
    std::string m_peer = "?";
    bool m_first = true;
};

class Listener : public std::enable_shared_from_this<Listener>
{
public:
    Listener(
        net::io_context &io, tcp::acceptor acceptor, RateStore &store, const ServerOptions &options)
        : m_io(io)
        , m_acceptor(std::move(acceptor))
        , m_retry(io)
        , m_store(store)
        , m_options(options)
    {
    }

    void accept()
    {
        auto onAccept = beast::bind_front_handler(&Listener::onAccept, shared_from_this());
        // A strand costs time on every step; one thread needs none.
        if (m_options.threads > 1)
            m_acceptor.async_accept(net::make_strand(m_io), std::move(onAccept));
        else
            m_acceptor.async_accept(m_io, std::move(onAccept));
    }

    void close()
    {
        beast::error_code ec;
        m_acceptor.close(ec);
        m_retry.cancel();
    }

private:
    void onAccept(beast::error_code ec, tcp::socket socket)
    {
        if (ec == net::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors, say: pause instead of spinning on the error.
            writeLog("korvalux-service: accept failed: " + ec.message());
            m_retry.expires_after(std::chrono::milliseconds(100));
            m_retry.async_wait([self = shared_from_this()](beast::error_code waitError) {
                if (!waitError)
                    self->accept();
            });
            return;
        }
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored); // answers go out in one write anyway
        std::make_shared<Session>(std::move(socket), m_store, m_options)->start();
        accept();
    }

    net::io_context &m_io;
    tcp::acceptor m_acceptor;
    net::steady_timer m_retry;
    RateStore &m_store;
    const ServerOptions &m_options;
};

} // namespace

bool parseListenAddress(const std::string &text, std::string &address, unsigned short &port)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false; // an IPv6 address needs its brackets
    }
    const std::string portText = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error]
        = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (error != std::errc {} || end != portText.data() + portText.size() || value > 65535)
        return false;
    beast::error_code ec;
    net::ip::make_address(host, ec);
    if (ec)
        return false;
    address = host;
    port = static_cast<unsigned short>(value);
    return true;
}

int runServer(RateStore &store, const ServerOptions &options,
    const std::function<void(unsigned short port)> &onListening)
{
    net::io_context io(static_cast<int>(std::max(1u, options.threads)));
    beast::error_code ec;
    const auto address = net::ip::make_address(options.address, ec);
    const std::string where = options.address + ":" + std::to_string(options.port);
    if (ec) {
        std::cerr << "korvalux-service: cannot listen on " << where << ": " << ec.message() << "\n";
        return 1;
    }
    const tcp::endpoint endpoint(address, options.port);
    tcp::acceptor acceptor(io);
    auto failed = [&](const char *what) {
        std::cerr << "korvalux-service: cannot listen on " << where << ": " << what << ": "
                  << ec.message() << "\n";
        return 1;
    };
    if (acceptor.open(endpoint.protocol(), ec))
        return failed("socket");
    if (acceptor.set_option(net::socket_base::reuse_address(true), ec))
        return failed("socket option");
    if (acceptor.bind(endpoint, ec))
        return failed("bind");
    if (acceptor.listen(net::socket_base::max_listen_connections, ec))
        return failed("listen");
    const unsigned short port = acceptor.local_endpoint().port();

    auto listener = std::make_shared<Listener>(io, std::move(acceptor), store, options);
    listener->accept();

    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int) {
        listener->close();
        io.stop();
    });

    if (onListening)
        onListening(port);

    std::vector<std::thread> threads;
    for (unsigned i = 1; i < options.threads; ++i)
        threads.emplace_back([&io] { io.run(); });
    io.run();
    for (auto &thread : threads)
        thread.join();
    return 0;
}

} // namespace korvalux::service
