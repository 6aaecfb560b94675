// Accepts the connections of korvalux-service on a listening acceptor, bound
// here (bindListener) or handed over by the host (server_host.h), and starts a
// Session for each (session.h). Accepting runs on the server's control strand,
// with its leaving, so a close is never missed by an accept in flight.
#pragma once

#include "service/session.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <memory>
#include <string>

namespace korvalux::service
{

class Listener : public std::enable_shared_from_this<Listener>
{
public:
    using Control = boost::asio::strand<boost::asio::io_context::executor_type>;

    Listener(boost::asio::io_context &io, Control control, boost::asio::ip::tcp::acceptor acceptor,
        SessionShared shared);

    void accept();

    // On the control strand.
    void close();

private:
    template<class Socket> void onAccept(boost::system::error_code ec, Socket socket);

    boost::asio::io_context &m_io;
    Control m_control;
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_retry;
    SessionShared m_shared;
};

// Opens, binds and listens on address:port. On failure, ec is set and the step
// that failed is returned ("address", "socket", "bind", ...); else nullptr.
const char *bindListener(boost::asio::ip::tcp::acceptor &acceptor, const std::string &address,
    unsigned short port, boost::system::error_code &ec);

// "127.0.0.1:8765", "[::1]:8765".
std::string describe(const boost::asio::ip::tcp::endpoint &endpoint);

} // namespace korvalux::service
