// What the service makes of a transfer, on both systems alike.
#include "service/fetcher.h"

#include <utility>

namespace korvalux::service
{

FetchResult feedResult(transfer::Result fetched)
{
    if (fetched.failure != core::DownloadFailure::None)
        return {{}, std::move(fetched.error)};
    if (fetched.status != 200)
        return {{}, "HTTP status " + std::to_string(fetched.status)};
    return {std::move(fetched.body), {}};
}

} // namespace korvalux::service
