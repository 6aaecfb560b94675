// The GET over libcurl: HTTP and HTTPS only, past every cache, redirects
// followed, within the connect, stall and overall limits and the size cap, and
// a cancel flag looked at while it runs. A loopback host is never asked through
// a proxy; any other host goes through the one the environment names (http_proxy,
// no_proxy...), on every hop of a redirect.
#pragma once

#include "transfer/transfer.h"

#include <atomic>
#include <memory>
#include <string>

namespace transfer
{

class CurlTransfer
{
public:
    // One easy handle for every GET of this object, so its connection cache
    // keeps a connection to the same host alive between them.
    explicit CurlTransfer(std::string agent);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer &) = delete;
    CurlTransfer &operator=(const CurlTransfer &) = delete;

    bool isOpen() const; // false when libcurl could not make its handle

    // address as it goes on the wire (core::wireAddress); the request carries
    // the agent, "Cache-Control: no-cache" and "Pragma: no-cache", nothing else.
    Result get(const std::string &address, const core::DownloadLimits &limits,
        const std::atomic<bool> *cancel = nullptr);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

// Why libcurl ended a transfer, from its result and the system's error number:
// libcurl says "could not connect" for an unreachable network too; only the
// system's own ECONNREFUSED means nothing listens there.
core::DownloadFailure classifyCurlResult(int curlCode, long osErrno);

} // namespace transfer
