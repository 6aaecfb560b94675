// The Linux fetcher: korvalux_transfer's libcurl GET, one handle per fetch.
#pragma once

#include "service/fetcher.h"

namespace korvalux::service
{

class CurlFetcher final : public Fetcher
{
public:
    FetchResult fetch(const std::string &url, const core::DownloadLimits &limits,
        const std::atomic<bool> *cancel) override;
};

} // namespace korvalux::service
