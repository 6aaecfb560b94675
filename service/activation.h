// korvalux-service's side of systemd: the listening socket a socket unit hands
// over (LISTEN_FDS/LISTEN_PID, read through libsystemd) and the state messages
// to the service manager. Both are harmless without systemd: no socket is
// found and no message is sent.
#pragma once

#include <string>

namespace korvalux::service
{

struct HandedSocket {
    int fd = -1; // -1: none handed over, bind as the options say
    std::string error; // set when a socket was handed over but cannot be used
};

// One listening TCP stream socket (IPv4 or IPv6), or the reason it is refused.
// Clears the LISTEN_* variables so that no child takes them for its own.
HandedSocket takeHandedSocket();

// "READY=1", "STOPPING=1", ...
void notifyServiceManager(const char *state);

} // namespace korvalux::service
