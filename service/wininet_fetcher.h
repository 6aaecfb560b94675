// The Windows fetcher: korvalux_transfer's WinINet GET, one session per fetch.
#pragma once

#include "service/fetcher.h"

namespace korvalux::service
{

class WinInetFetcher final : public Fetcher
{
public:
    FetchResult fetch(const std::string &url, const core::DownloadLimits &limits,
        const std::atomic<bool> *cancel) override;
};

} // namespace korvalux::service
