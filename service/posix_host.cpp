// The signals' waits run on the server's control strand, like its leaving: a
// wait is never armed again once the server has left. SIGHUP stays caught for
// good (hang_up.h); SIGINT and SIGTERM are Asio's while serving.
#include "service/posix_host.h"

#include "service/hang_up.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>

namespace korvalux::service
{

namespace net = boost::asio;
using tcp = net::ip::tcp;

PosixHost::PosixHost(int handedSocket, int hangUpFd)
    : m_handedSocket(handedSocket)
    , m_hangUpFd(hangUpFd)
{
}

// The handed socket as an acceptor of its own family.
std::optional<std::string> PosixHost::adoptListener(
    tcp::acceptor &acceptor, boost::system::error_code &ec)
{
    if (m_handedSocket < 0)
        return std::nullopt;
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::getsockname(m_handedSocket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        ec = boost::system::error_code(errno, boost::system::system_category());
    else
        acceptor.assign(address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4(), m_handedSocket, ec);
    return "the socket from systemd";
}

void PosixHost::watch(ServerControl &control)
{
    m_stops.emplace(control.executor(), SIGINT, SIGTERM);
    m_stops->async_wait([&control](boost::system::error_code ec, int) {
        if (!ec)
            control.requestStop();
    });
    // A copy of the hang-up pipe's end, so that the descriptor object may close it.
    m_hangUps.emplace(control.executor());
    if (const int copy = m_hangUpFd >= 0 ? ::fcntl(m_hangUpFd, F_DUPFD_CLOEXEC, 0) : -1;
        copy >= 0) {
        boost::system::error_code ignored;
        m_hangUps->assign(copy, ignored);
    }
    if (m_hangUps->is_open())
        waitForHangUp(control);
}

void PosixHost::waitForHangUp(ServerControl &control)
{
    m_hangUps->async_wait(
        net::posix::descriptor_base::wait_read, [this, &control](boost::system::error_code ec) {
            if (ec || m_left)
                return;
            if (takeHangUps(m_hangUps->native_handle()))
                control.requestReload();
            waitForHangUp(control);
        });
}

void PosixHost::leave(bool idle)
{
    m_left = true;
    boost::system::error_code ignored;
    m_stops->cancel(ignored);
    m_hangUps->cancel(ignored);
    // Leaving when idle: SIGTERM now ends a last answer at once.
    if (idle)
        m_stops->clear(ignored);
}

void PosixHost::forget()
{
    m_hangUps.reset();
    m_stops.reset();
}

} // namespace korvalux::service
