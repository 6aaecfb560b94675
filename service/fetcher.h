// Fetching one feed document over HTTP(S): libcurl on Linux, WinINet on Windows,
// and a fake in tests. The refresh sees only this interface, so what it decides
// about a document is tested without a socket.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace korvalux::service
{

// Bounds on one fetch, so a slow or huge feed never holds the refresh for long.
struct FetchLimits {
    std::chrono::milliseconds connectTimeout {15'000};
    std::chrono::milliseconds transferTimeout {60'000};
    std::size_t maxBytes = 8 * 1024 * 1024;
};

struct FetchResult {
    std::string body;
    std::string error; // empty on success; the body is empty then
};

class Fetcher
{
public:
    virtual ~Fetcher() = default;
    // GET url; a status other than 200, a time-out or a body over maxBytes fails.
    // cancel, when set, ends the transfer early (the service is stopping).
    virtual FetchResult fetch(
        const std::string &url, const FetchLimits &limits, const std::atomic<bool> *cancel)
        = 0;
};

} // namespace korvalux::service
