// The Windows fetcher: WinINet, HTTP and HTTPS only, redirects followed, past
// every cache, with the system's proxy settings.
#pragma once

#include "service/fetcher.h"

namespace korvalux::service
{

class WinInetFetcher final : public Fetcher
{
public:
    // One WinINet session per fetch, so fetches on several threads never share
    // its time-outs.
    FetchResult fetch(const std::string &url, const FetchLimits &limits,
        const std::atomic<bool> *cancel) override;
};

} // namespace korvalux::service
