// One Session per connection: wait for a request (idle time-out), read it (read
// time-out, 8 KiB of head at most), answer, and go round again while the client
// keeps the connection alive. With several threads each connection runs on its
// own strand. Beast reads and parses; the answer's few header lines are written
// by hand into one reused buffer, which keeps a request free of allocations there.
// The listening socket is bound here or handed over by systemd; an IdleWatch
// counts open connections when the service is to leave once idle.
#include "service/server.h"

#include "service/pages.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
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

// Where the head in text ends (just after its blank line), from `from` on; npos
// while it is not whole. Marks a folded line (CRLF then a blank): Beast's parser
// joins such lines silently, and a proxy in front may read them differently.
std::size_t headEnd(std::string_view text, std::size_t from, bool &folded)
{
    for (std::size_t at = text.find('\n', from); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r')
            return at + 1; // a bare line feed: the parser refuses the head at once
        if (at + 1 >= text.size())
            continue;
        const char next = text[at + 1];
        if (next == ' ' || next == '\t')
            folded = true;
        else if (next == '\r' && at + 2 < text.size() && text[at + 2] == '\n')
            return at + 3;
    }
    return std::string_view::npos;
}

// Counts open connections and calls onIdle when none has been open for the
// limit. Touched once per connection, never per request.
class IdleWatch
{
public:
    IdleWatch(net::io_context &io, std::chrono::seconds limit, std::function<void()> onIdle)
        : m_timer(std::in_place, io)
        , m_limit(limit)
        , m_onIdle(std::move(onIdle))
    {
    }

    void opened() { m_open.fetch_add(1); }
    void closed()
    {
        if (m_open.fetch_sub(1) == 1)
            arm();
    }

    void arm()
    {
        std::lock_guard lock(m_mutex);
        if (!m_timer || m_left)
            return;
        m_timer->expires_after(m_limit); // cancels the wait armed before
        m_timer->async_wait([this](beast::error_code ec) {
            if (!ec && m_open.load() == 0 && !m_left.exchange(true))
                m_onIdle();
        });
    }

    // Before the io_context goes: sessions it still holds may close after this.
    void halt()
    {
        std::lock_guard lock(m_mutex);
        m_timer.reset();
    }

private:
    std::mutex m_mutex; // the timer, with several serving threads
    std::optional<net::steady_timer> m_timer;
    std::atomic<unsigned> m_open {0};
    std::atomic<bool> m_left {false};
    std::chrono::seconds m_limit;
    std::function<void()> m_onIdle;
};

// Templated on the executor so that a connection on one thread runs on the
// io_context's own executor: the type-erased default costs a copy on every step.
template<class Executor> class Session : public std::enable_shared_from_this<Session<Executor>>
{
public:
    Session(net::basic_stream_socket<tcp, Executor> socket, RateStore &store,
        const ServerOptions &options, std::shared_ptr<IdleWatch> watch)
        : m_socket(std::move(socket))
        , m_timer(m_socket.get_executor())
        , m_store(store)
        , m_options(options)
        , m_watch(std::move(watch))
    {
        if (m_watch)
            m_watch->opened();
        beast::error_code ec;
        const auto peer = m_socket.remote_endpoint(ec);
        if (!ec)
            m_peer = peer.address().to_string() + ":" + std::to_string(peer.port());
    }

    ~Session()
    {
        if (m_watch)
            m_watch->closed();
    }

    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void start()
    {
        net::dispatch(m_socket.get_executor(), [self = this->shared_from_this()] {
            self->waitForRequest(); // sets the first deadline
            self->watchDeadline();
        });
    }

private:
    void waitForRequest()
    {
        if (m_buffer.size() > 0) { // the next request is already here (pipelining)
            setDeadline(m_options.readTimeout);
            return scanHead();
        }
        setDeadline(m_first ? m_options.readTimeout : m_options.idleTimeout);
        m_waiting = true;
        readMore();
    }

    void readMore()
    {
        // This buffer must persist across reads: the parser takes what is left.
        m_socket.async_read_some(m_buffer.prepare(4096),
            [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec)
                    return self->close();
                self->m_buffer.commit(n);
                if (std::exchange(self->m_waiting, false)) // a request begins
                    self->setDeadline(self->m_options.readTimeout);
                self->scanHead();
            });
    }

    // Waits for the whole head (or more than the parser allows) so that it can be
    // checked raw before the parser sees it.
    void scanHead()
    {
        const std::string_view text(
            static_cast<const char *>(m_buffer.data().data()), m_buffer.size());
        const std::size_t end = headEnd(text, m_scanned, m_folded);
        if (end == std::string_view::npos && text.size() <= headLimit) {
            m_scanned = text.size() > 2 ? text.size() - 2 : 0; // a line end may be cut
            return readMore();
        }
        m_scanned = 0;
        if (std::exchange(m_folded, false))
            return answerUnreadable(400, "Bad request: folded header line");
        parseRequest();
    }

    // The head is all here: parse it at once, and read on only for a body.
    void parseRequest()
    {
        m_parser.emplace();
        m_parser->header_limit(headLimit);
        m_parser->body_limit(headLimit);
        beast::error_code ec;
        m_buffer.consume(m_parser->put(m_buffer.data(), ec));
        if (ec == http::error::need_more || (!ec && !m_parser->is_done()))
            return http::async_read(m_socket, m_buffer, *m_parser,
                beast::bind_front_handler(&Session::onRead, this->shared_from_this()));
        onRead(ec, 0);
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        static const beast::error_code anyHttpError
            = http::make_error_code(http::error::end_of_stream);
        if (ec == http::error::end_of_stream || (ec && ec.category() != anyHttpError.category()))
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
        unsigned hosts = 0;
        bool coded = false;
        for (const auto &field : request) { // a walk of a short list, no lookups by name
            hosts += field.name() == http::field::host;
            coded = coded || field.name() == http::field::transfer_encoding;
        }
        // A length the parser would guess at lets a second request hide in the body.
        if (coded && (request.version() < 11 || !m_parser->chunked()))
            return answerUnreadable(400, "Bad request: Transfer-Encoding other than chunked");
        if (request.version() >= 11 && hosts != 1)
            return answerUnreadable(400, "Bad request: one Host header needed");
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

        setDeadline(m_options.readTimeout);
        net::async_write(m_socket, net::buffer(m_out),
            [self = this->shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
                if (ec || !keepAlive)
                    return self->close();
                self->m_first = false;
                self->waitForRequest();
            });
    }

    void close()
    {
        beast::error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_send, ec);
        m_socket.close(ec);
        m_timer.cancel(); // lets the session go now, not at its deadline
    }

    // A deadline is mostly a time stored, not a timer set: the one wait below
    // re-arms itself when it wakes early, and is moved only to come sooner.
    void setDeadline(std::chrono::milliseconds within)
    {
        m_deadline = Clock::now() + within;
        if (m_deadline < m_timer.expiry())
            watchDeadline(); // the wait armed before ends as cancelled
    }

    void watchDeadline()
    {
        m_timer.expires_at(m_deadline);
        m_timer.async_wait([self = this->shared_from_this()](beast::error_code ec) {
            if (ec || !self->m_socket.is_open())
                return;
            if (Clock::now() < self->m_deadline)
                return self->watchDeadline();
            // Too slow: the pending read or write ends with an error and closes.
            beast::error_code ignored;
            self->m_socket.close(ignored);
        });
    }

    using Clock = std::chrono::steady_clock;
    net::basic_stream_socket<tcp, Executor> m_socket;
    net::basic_waitable_timer<Clock, net::wait_traits<Clock>, Executor> m_timer;
    Clock::time_point m_deadline;
    beast::flat_buffer m_buffer {4 * headLimit};
    RateStore &m_store;
    const ServerOptions &m_options;
    std::shared_ptr<IdleWatch> m_watch; // null unless leaving when idle
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_out; // the answer being written; must persist until the write ends
    std::string m_peer = "?";
    std::size_t m_scanned = 0; // of the head in m_buffer, searched for its end already
    bool m_first = true;
    bool m_waiting = false; // for the first bytes of a request
    bool m_folded = false; // in the part of the head scanned so far
};

class Listener : public std::enable_shared_from_this<Listener>
{
public:
    Listener(net::io_context &io, tcp::acceptor acceptor, RateStore &store,
        const ServerOptions &options, std::shared_ptr<IdleWatch> watch)
        : m_io(io)
        , m_acceptor(std::move(acceptor))
        , m_retry(io)
        , m_store(store)
        , m_options(options)
        , m_watch(std::move(watch))
    {
    }

    void accept()
    {
        auto onAccept = [self = shared_from_this()](beast::error_code ec, auto socket) {
            self->onAccept(ec, std::move(socket));
        };
        // A strand costs time on every step; one thread needs none.
        if (m_options.threads > 1)
            m_acceptor.async_accept(net::make_strand(m_io), std::move(onAccept));
        else
            m_acceptor.async_accept(m_io.get_executor(), std::move(onAccept));
    }

    void close()
    {
        beast::error_code ec;
        m_acceptor.close(ec);
        m_retry.cancel();
    }

private:
    template<class Socket> void onAccept(beast::error_code ec, Socket socket)
    {
        using ConnectionSession = Session<typename Socket::executor_type>;
        if (ec == net::error::operation_aborted || !m_acceptor.is_open()) {
            // Accepted just as the acceptor closed (leaving when idle): still answer it.
            if (!ec && socket.is_open())
                std::make_shared<ConnectionSession>(std::move(socket), m_store, m_options, m_watch)
                    ->start();
            return;
        }
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
        std::make_shared<ConnectionSession>(std::move(socket), m_store, m_options, m_watch)
            ->start();
        accept();
    }

    net::io_context &m_io;
    tcp::acceptor m_acceptor;
    net::steady_timer m_retry;
    RateStore &m_store;
    const ServerOptions &m_options;
    std::shared_ptr<IdleWatch> m_watch;
};

std::string describe(const tcp::endpoint &endpoint)
{
    const std::string host = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + host + "]" : host) + ":"
        + std::to_string(endpoint.port());
}

// The socket systemd handed over, as an acceptor of its own family.
bool adoptSocket(tcp::acceptor &acceptor, int fd, beast::error_code &ec)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ec = beast::error_code(errno, boost::system::system_category());
        return false;
    }
    acceptor.assign(address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4(), fd, ec);
    return !ec;
}

} // namespace

int runServer(RateStore &store, const ServerOptions &options,
    const std::function<void(const std::string &where)> &onListening,
    const std::function<void()> &onReload)
{
    // One serving thread owns the io_context alone: no locking inside it.
    net::io_context io(options.threads > 1 ? static_cast<int>(options.threads)
                                           : BOOST_ASIO_CONCURRENCY_HINT_UNSAFE);
    beast::error_code ec;
    tcp::acceptor acceptor(io);
    std::string where = options.address + ":" + std::to_string(options.port);
    auto failed = [&](const char *what) {
        std::cerr << "korvalux-service: cannot listen on " << where << ": " << what << ": "
                  << ec.message() << "\n";
        return 1;
    };
    if (options.handedSocket >= 0) {
        where = "the socket from systemd";
        if (!adoptSocket(acceptor, options.handedSocket, ec))
            return failed("socket");
    } else {
        const auto address = net::ip::make_address(options.address, ec);
        if (ec)
            return failed("address");
        const tcp::endpoint endpoint(address, options.port);
        if (acceptor.open(endpoint.protocol(), ec))
            return failed("socket");
        if (acceptor.set_option(net::socket_base::reuse_address(true), ec))
            return failed("socket option");
        if (acceptor.bind(endpoint, ec))
            return failed("bind");
        if (acceptor.listen(net::socket_base::max_listen_connections, ec))
            return failed("listen");
    }
    const auto local = acceptor.local_endpoint(ec);
    if (ec)
        return failed("address");

    net::signal_set signals(io, SIGINT, SIGTERM, SIGHUP);
    std::shared_ptr<Listener> listener;
    std::shared_ptr<IdleWatch> watch;
    if (options.exitIdleTime.count() > 0) {
        watch = std::make_shared<IdleWatch>(io, options.exitIdleTime, [&] {
            writeLog("korvalux-service: no connection for "
                + std::to_string(options.exitIdleTime.count()) + " s, leaving");
            // No io.stop(): a connection accepted at this moment is still answered,
            // and run() returns once the last one is done.
            listener->close();
            beast::error_code ignored;
            signals.cancel(ignored);
            // SIGTERM now ends a last answer at once; SIGHUP stays caught, unanswered.
            signals.remove(SIGINT, ignored);
            signals.remove(SIGTERM, ignored);
        });
    }
    listener = std::make_shared<Listener>(io, std::move(acceptor), store, options, watch);
    listener->accept();
    if (watch)
        watch->arm();

    std::function<void()> waitForSignal = [&] {
        signals.async_wait([&](beast::error_code signalError, int number) {
            if (signalError)
                return;
            if (number == SIGHUP) {
                if (onReload)
                    onReload();
                return waitForSignal();
            }
            listener->close();
            io.stop();
        });
    };
    waitForSignal();

    if (onListening)
        onListening(describe(local));

    std::vector<std::thread> threads;
    for (unsigned i = 1; i < options.threads; ++i)
        threads.emplace_back([&io] { io.run(); });
    io.run();
    for (auto &thread : threads)
        thread.join();
    if (watch)
        watch->halt();
    return 0;
}

} // namespace korvalux::service
