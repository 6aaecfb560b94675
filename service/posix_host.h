// The Linux process around korvalux-service's server: the listening socket
// systemd handed over (activation.h), SIGINT and SIGTERM, which stop it, and
// SIGHUP, noted in the pipe of hang_up.h, which asks for a reload. The only
// part of the transport that needs POSIX; another platform leaves these files
// out and gives runServer a host of its own.
#pragma once

#include "service/server_host.h"

#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/signal_set.hpp>

#include <optional>

namespace korvalux::service
{

class PosixHost final : public ServerHost
{
public:
    // handedSocket: a listening TCP socket from systemd, or -1 to bind as the
    // options say. hangUpFd: readable after a SIGHUP (catchHangUps), or -1. A
    // SIGHUP that came before serving starts is answered once it does.
    PosixHost(int handedSocket, int hangUpFd);

    std::optional<std::string> adoptListener(
        boost::asio::ip::tcp::acceptor &acceptor, boost::system::error_code &ec) override;
    // Signals arrive through the io_context itself.
    bool callsFromOtherThreads() const override { return false; }
    void watch(ServerControl &control) override;
    void leave(bool idle) override;
    void forget() override;

private:
    void waitForHangUp(ServerControl &control);

    int m_handedSocket;
    int m_hangUpFd;
    std::optional<boost::asio::signal_set> m_stops;
    std::optional<boost::asio::posix::stream_descriptor> m_hangUps;
    bool m_left = false; // on the control strand
};

} // namespace korvalux::service
