// A session of its own for each fetch, so fetches on several threads never
// share its time-outs. A cancel returns at once; a transfer stalled in WinINet
// ends on its own thread.
#include "service/wininet_fetcher.h"

#include "transfer/wininet_transfer.h"

namespace korvalux::service
{

FetchResult WinInetFetcher::fetch(
    const std::string &url, const core::DownloadLimits &limits, const std::atomic<bool> *cancel)
{
    return feedResult(transfer::WinInetTransfer(feedAgent).get(url, limits, cancel));
}

} // namespace korvalux::service
