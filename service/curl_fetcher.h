// The Linux fetcher: libcurl, HTTP and HTTPS only, redirects followed, no proxy
// for loopback.
#pragma once

#include "service/fetcher.h"

namespace korvalux::service
{

class CurlFetcher final : public Fetcher
{
public:
    // libcurl's global state lives as long as this object.
    CurlFetcher();
    ~CurlFetcher() override;
    CurlFetcher(const CurlFetcher &) = delete;
    CurlFetcher &operator=(const CurlFetcher &) = delete;

    FetchResult fetch(const std::string &url, const FetchLimits &limits,
        const std::atomic<bool> *cancel) override;
};

} // namespace korvalux::service
