// A handle of its own for each fetch: fetches on several threads never share one.
#include "service/curl_fetcher.h"

#include "transfer/curl_transfer.h"

namespace korvalux::service
{

FetchResult CurlFetcher::fetch(
    const std::string &url, const core::DownloadLimits &limits, const std::atomic<bool> *cancel)
{
    return feedResult(transfer::CurlTransfer(feedAgent).get(url, limits, cancel));
}

} // namespace korvalux::service
