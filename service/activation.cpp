// Socket activation and readiness through libsystemd.
#include "service/activation.h"

#include <systemd/sd-daemon.h>

#include <sys/socket.h>

#include <cstring>

namespace korvalux::service
{

HandedSocket takeHandedSocket()
{
    HandedSocket result;
    const int count = sd_listen_fds(1);
    if (count < 0) {
        result.error
            = std::string("cannot take the sockets from systemd: ") + std::strerror(-count);
        return result;
    }
    if (count == 0)
        return result;
    if (count > 1) {
        result.error = "systemd handed over " + std::to_string(count)
            + " sockets; the socket unit must listen on one address";
        return result;
    }
    const int fd = SD_LISTEN_FDS_START;
    if (sd_is_socket(fd, AF_UNSPEC, SOCK_STREAM, 1) <= 0) {
        result.error = "the socket from systemd is not a listening stream socket";
        return result;
    }
    if (sd_is_socket(fd, AF_INET, SOCK_STREAM, 1) <= 0
        && sd_is_socket(fd, AF_INET6, SOCK_STREAM, 1) <= 0) {
        result.error = "the socket from systemd is not a TCP socket (IPv4 or IPv6)";
        return result;
    }
    result.fd = fd;
    return result;
}

void notifyServiceManager(const char *state)
{
    sd_notify(0, state);
}

} // namespace korvalux::service
