// The HTTP transport of korvalux-service: an asynchronous Boost.Beast server that
// reads requests, asks handleRequest (pages.h) for the answer and writes it back.
// The only part of the service that includes Beast.
#pragma once

#include "service/fresh_rates_wait.h"
#include "service/rate_store.h"

#include <chrono>
#include <functional>
#include <string>

namespace korvalux::service
{

struct ServerOptions {
    std::string address = "127.0.0.1";
    unsigned short port = 8765;
    unsigned threads = 1;
    std::chrono::milliseconds readTimeout {10'000}; // for a whole request, and a response
    std::chrono::milliseconds idleTimeout {30'000}; // between requests on a kept-alive connection
    bool quiet = false; // no line per request
    std::chrono::seconds exitIdleTime {0}; // leave after this long with no connection; 0: never
    int handedSocket = -1; // a listening TCP socket from systemd; address and port then unused
    const FreshRatesWait *freshRates = nullptr; // asked before a converter answer; none: never held
    int hangUpFd = -1; // readable after a SIGHUP (catchHangUps in hang_up.h); -1: none watched
};

// Listens (or takes the handed socket), then serves until SIGINT or SIGTERM, or
// until idle for exitIdleTime. onListening gets where it listens as "ADDR:PORT"
// (the real port with port 0). A SIGHUP noted in hangUpFd, also one that came
// before, calls onReload on a serving thread: it must hand any slow work
// elsewhere. Once leaving (a signal, or idle) no wait is armed again. Returns the
// process exit code; a port that cannot be bound is reported on stderr and gives 1.
int runServer(RateStore &store, const ServerOptions &options,
    const std::function<void(const std::string &where)> &onListening = {},
    const std::function<void()> &onReload = {});

} // namespace korvalux::service
