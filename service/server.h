// The HTTP transport of korvalux-service: an asynchronous Boost.Beast server that
// reads requests, asks handleRequest (pages.h) for the answer and writes it back.
// The only part of the service that includes Beast.
#pragma once

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
};

// Splits "ADDR:PORT" ("127.0.0.1:8765", "[::1]:8765"); false when malformed.
bool parseListenAddress(const std::string &text, std::string &address, unsigned short &port);

// Listens, then serves until SIGINT or SIGTERM. onListening gets the bound port
// (useful with port 0). Returns the process exit code; a port that cannot be
// bound is reported on stderr and gives 1.
int runServer(RateStore &store, const ServerOptions &options,
    const std::function<void(unsigned short port)> &onListening = {});

} // namespace korvalux::service
