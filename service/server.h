// The HTTP transport of korvalux-service: runServer ties a Listener
// (listener.h), which hands each connection to a Session (session.h) asking
// handleRequest (pages.h) for the answer, to the process around it (a
// ServerHost, server_host.h). Only the transport's files include Beast's HTTP.
#pragma once

#include "service/fresh_rates_wait.h"
#include "service/rate_store.h"

#include <chrono>
#include <functional>
#include <string>

namespace korvalux::service
{

class ServerHost;

struct ServerOptions {
    std::string address = "127.0.0.1";
    unsigned short port = 8765;
    unsigned threads = 1;
    std::chrono::milliseconds readTimeout {10'000}; // for a whole request, and a response
    std::chrono::milliseconds idleTimeout {30'000}; // between requests on a kept-alive connection
    bool quiet = false; // no line per request
    std::chrono::seconds exitIdleTime {0}; // leave after this long with no connection; 0: never
    FreshRatesWait *freshRates = nullptr; // asked before a converter answer; none: never held
};

// Listens (or takes the socket host hands over), then serves until the host asks
// it to stop, or until idle for exitIdleTime. onListening gets where it listens
// as "ADDR:PORT" (the real port with port 0). A reload the host asks for calls
// onReload on a serving thread: it must hand any slow work elsewhere. Once
// leaving (a stop, or idle) no wait is armed again. Returns the process exit
// code; a port that cannot be bound is reported on stderr and gives 1.
int runServer(RateStore &store, const ServerOptions &options, ServerHost &host,
    const std::function<void(const std::string &where)> &onListening = {},
    const std::function<void()> &onReload = {});

} // namespace korvalux::service
