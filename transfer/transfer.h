// One bounded HTTP GET, as the system's own HTTP library does it (libcurl on
// Linux, WinINet on Windows): what the window's session and the service's feed
// fetcher share. What a status means and how the bytes become text is theirs.
#pragma once

#include "core/download.h"

#include <string>

namespace transfer
{

struct Result {
    long status = 0; // of the last answer; 0 when no head arrived
    // What arrived of the body, also when the transfer failed part-way; nothing
    // when it was over the size cap.
    std::string body;
    core::DownloadFailure failure = core::DownloadFailure::Other;
    std::string error; // "what failed: why", in the system's own words; empty on success
};

} // namespace transfer
