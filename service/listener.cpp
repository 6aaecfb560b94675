// A strand costs time on every step of a connection, so a connection gets one
// only when several threads serve; with one, sessions run on the io_context's
// own executor. An accept that fails (out of descriptors, say) pauses instead
// of spinning on the error.
#include "service/listener.h"

#include "service/log_line.h"

#include <boost/asio/bind_executor.hpp>

#include <utility>

namespace korvalux::service
{

namespace net = boost::asio;
using tcp = net::ip::tcp;

Listener::Listener(
    net::io_context &io, Control control, tcp::acceptor acceptor, SessionShared shared)
    : m_io(io)
    , m_control(std::move(control))
    , m_acceptor(std::move(acceptor))
    , m_retry(io)
    , m_shared(std::move(shared))
{
}

void Listener::accept()
{
    // The return type is spelled out: Boost 1.83 checks the handler against a
    // socket of another executor, and deducing it would instantiate the body.
    auto onAccept = net::bind_executor(
        m_control, [self = shared_from_this()](boost::system::error_code ec, auto socket) -> void {
            self->onAccept(ec, std::move(socket));
        });
    if (m_shared.options.threads > 1)
        m_acceptor.async_accept(net::make_strand(m_io), std::move(onAccept));
    else
        m_acceptor.async_accept(m_io.get_executor(), std::move(onAccept));
}

void Listener::close()
{
    boost::system::error_code ec;
    m_acceptor.close(ec);
    m_retry.cancel();
}

template<class Socket> void Listener::onAccept(boost::system::error_code ec, Socket socket)
{
    if (ec == net::error::operation_aborted || !m_acceptor.is_open()) {
        // Accepted just as the acceptor closed (leaving when idle): still answer it.
        if (!ec && socket.is_open())
            startSession(std::move(socket), m_shared);
        return;
    }
    if (ec) {
        writeLogLine("korvalux-service: accept failed: " + ec.message());
        m_retry.expires_after(std::chrono::milliseconds(100));
        m_retry.async_wait(
            net::bind_executor(m_control, [self = shared_from_this()](boost::system::error_code e) {
                if (!e && self->m_acceptor.is_open())
                    self->accept();
            }));
        return;
    }
    boost::system::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored); // answers go out in one write anyway
    startSession(std::move(socket), m_shared);
    accept();
}

const char *bindListener(tcp::acceptor &acceptor, const std::string &address, unsigned short port,
    boost::system::error_code &ec)
{
    const auto ip = net::ip::make_address(address, ec);
    if (ec)
        return "address";
    const tcp::endpoint endpoint(ip, port);
    if (acceptor.open(endpoint.protocol(), ec))
        return "socket";
    if (acceptor.set_option(net::socket_base::reuse_address(true), ec))
        return "socket option";
    if (acceptor.bind(endpoint, ec))
        return "bind";
    if (acceptor.listen(net::socket_base::max_listen_connections, ec))
        return "listen";
    return nullptr;
}

std::string describe(const tcp::endpoint &endpoint)
{
    const std::string host = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + host + "]" : host) + ":"
        + std::to_string(endpoint.port());
}

} // namespace korvalux::service
