// Fetching one feed document over HTTP(S): libcurl on Linux, WinINet on Windows,
// both through korvalux_transfer, and a fake in tests. The refresh sees only this
// interface, so what it decides about a document is tested without a socket.
#pragma once

#include "core/download.h"
#include "transfer/transfer.h"

#include <atomic>
#include <chrono>
#include <string>

namespace korvalux::service
{

// Bounds on one fetch, so a slow or huge feed never holds the refresh for long.
// A feed that sends nothing for half the overall bound is not coming back.
inline constexpr core::DownloadLimits feedLimits {
    std::chrono::seconds(15), // connect
    std::chrono::seconds(30), // stall
    8 * 1024 * 1024, // size cap
    std::chrono::seconds(60), // overall
};

// The user agent of every feed request.
inline constexpr char feedAgent[] = "korvalux-service/1.0";

struct FetchResult {
    std::string body;
    std::string error; // empty on success; the body is empty then
};

// A feed is taken only whole, and only from a 200 answer.
FetchResult feedResult(transfer::Result fetched);

class Fetcher
{
public:
    virtual ~Fetcher() = default;
    // GET url; a status other than 200, a time-out or a body over the cap fails.
    // cancel, when set, ends the transfer early (the service is stopping).
    virtual FetchResult fetch(
        const std::string &url, const core::DownloadLimits &limits, const std::atomic<bool> *cancel)
        = 0;
};

} // namespace korvalux::service
