// The session's steps, each a completion of the one before. Every byte read
// goes through a RequestFramer (request_framing.h) first; Beast parses only a
// request the framer found whole. One timer guards the whole connection: a
// deadline is moved by storing a time, not by re-arming a wait.
#include "service/session.h"

#include "service/log_line.h"
#include "service/pages.h"
#include "service/request_framing.h"
#include "service/response_framing.h"

#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace korvalux::service
{

namespace
{

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t readSize = 4096;

std::string_view view(beast::string_view text)
{
    return {text.data(), text.size()};
}

// Templated on the executor so that a connection on one thread runs on the
// io_context's own executor: the type-erased default costs a copy on every step.
template<class Executor> class Session : public std::enable_shared_from_this<Session<Executor>>
{
public:
    Session(net::basic_stream_socket<tcp, Executor> socket, const SessionShared &shared)
        : m_socket(std::move(socket))
        , m_timer(m_socket.get_executor())
        , m_store(shared.store)
        , m_options(shared.options)
        , m_watch(shared.watch)
        , m_held(shared.held)
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
        m_framer.reset();
        if (m_buffer.size() > 0) { // the next request is already here (pipelining)
            setDeadline(m_options.readTimeout);
            return frameRequest();
        }
        setDeadline(m_first ? m_options.readTimeout : m_options.idleTimeout);
        m_waiting = true;
        readMore();
    }

    void readMore()
    {
        // This buffer must persist across reads: the parser takes what is left.
        m_socket.async_read_some(m_buffer.prepare(readSize),
            [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec)
                    return self->close();
                self->m_buffer.commit(n);
                if (std::exchange(self->m_waiting, false)) // a request begins
                    self->setDeadline(self->m_options.readTimeout);
                self->frameRequest();
            });
    }

    // Every byte of every request passes the framer before the parser sees it,
    // whatever the pattern of the writes that brought it.
    void frameRequest()
    {
        const std::string_view text(
            static_cast<const char *>(m_buffer.data().data()), m_buffer.size());
        switch (m_framer.scan(text)) {
        case Framing::NeedMore:
            return readMore();
        case Framing::Refused:
            return answerUnreadable(m_framer.refusal().status, m_framer.refusal().sentence);
        case Framing::Whole:
            break;
        }
        parseRequest();
    }

    // The parser gets the request's bytes, no more, and must end where the framer
    // did: a request read two ways is refused.
    void parseRequest()
    {
        const std::size_t length = m_framer.length();
        m_parser.emplace();
        m_parser->header_limit(maxRequestLength); // the framer's limits are the ones
        m_parser->body_limit(maxBodyLength);
        m_parser->eager(true);
        beast::error_code ec;
        const std::size_t used = m_parser->put(net::buffer(m_buffer.data().data(), length), ec);
        m_buffer.consume(length);
        if (!ec && (used != length || !m_parser->is_done()))
            ec = http::error::partial_message;
        onRead(ec, length);
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        if (ec == http::error::body_limit)
            return answerUnreadable(413, "Request body too large");
        if (ec)
            return answerUnreadable(400, "Bad request");
        if (!holdForFreshRates())
            answer();
    }

    // A converter request that finds stale rates and their first refresh under
    // way leaves a wake-up with the held answers and waits: the thread serves
    // other connections meanwhile, and all held answers go together.
    bool holdForFreshRates()
    {
        const auto &request = m_parser->get();
        if (!m_held || !isConverterRequest(view(request.method_string()), view(request.target())))
            return false;
        setDeadline(m_options.readTimeout); // the client is not the slow one here
        return m_held->hold([self = this->shared_from_this()] {
            net::dispatch(self->m_socket.get_executor(), [self] {
                if (self->m_socket.is_open())
                    self->answer();
            });
        });
    }

    void answer()
    {
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
            writeLogLine(std::string("korvalux-service: request failed: ") + error.what());
            return answerUnreadable(503, "The converter is busy, try again");
        }
        send(response, request.version(), m_framer.keepAlive(), head, method, target);
    }

    void answerUnreadable(unsigned status, std::string_view sentence)
    {
        send(errorPage(status, sentence), 11, false, false, "-", "-");
    }

    void send(const Response &response, unsigned version, bool keepAlive, bool head,
        std::string_view method, std::string_view target)
    {
        if (m_watch && m_watch->leaving())
            keepAlive = false;
        writeResponse(m_out, response, version, keepAlive, head);
        if (!m_options.quiet)
            writeLogLine(
                accessLogLine(m_peer, method, target, response.status, response.body.size()));

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
    // The framer refuses a request before it outgrows this, with a read to spare.
    beast::flat_buffer m_buffer {maxRequestLength + readSize};
    RateStore &m_store;
    const ServerOptions &m_options;
    std::shared_ptr<IdleWatch> m_watch; // null unless leaving when idle
    HeldAnswers *m_held; // null unless answers may wait for fresh rates
    RequestFramer m_framer; // of the request being read
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_out; // the answer being written; must persist until the write ends
    std::string m_peer = "?";
    bool m_first = true;
    bool m_waiting = false; // for the first bytes of a request
};

} // namespace

void startSession(PlainSocket socket, const SessionShared &shared)
{
    std::make_shared<Session<PlainSocket::executor_type>>(std::move(socket), shared)->start();
}

void startSession(StrandSocket socket, const SessionShared &shared)
{
    std::make_shared<Session<StrandSocket::executor_type>>(std::move(socket), shared)->start();
}

} // namespace korvalux::service
