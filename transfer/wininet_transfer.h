// The GET over WinINet: HTTP and HTTPS only, past every cache, redirects
// followed, with the system's proxy settings, within the connect, stall and
// overall limits and the size cap, and a cancel flag. It runs on a thread of its
// own, and the caller waits for it only until a limit is reached: WinINet under
// Wine keeps no receive time-out, so InternetOpenUrlA waits for an answer's head
// as long as the server holds the connection, and a read for its next bytes.
#pragma once

#include "transfer/transfer.h"

#include <atomic>
#include <memory>
#include <string>

namespace transfer
{

class WinInetTransfer
{
public:
    // One session (InternetOpenA) for every GET of this object, so WinINet keeps
    // a connection to the same host alive between them.
    explicit WinInetTransfer(const std::string &agent);
    ~WinInetTransfer();
    WinInetTransfer(const WinInetTransfer &) = delete;
    WinInetTransfer &operator=(const WinInetTransfer &) = delete;

    bool isOpen() const { return m_session != nullptr; }

    // address as it goes on the wire (core::wireAddress). Returns by the overall
    // limit, or the stall limit, or at once on a cancel, whatever the server does;
    // a transfer still waiting in WinINet then ends on its thread by itself,
    // touching nothing of the caller's.
    Result get(const std::string &address, const core::DownloadLimits &limits,
        const std::atomic<bool> *cancel = nullptr);

private:
    // Shared with the threads of transfers still running, so that it is closed
    // only once none of them uses it.
    std::shared_ptr<void> m_session;
};

// Why InternetOpenUrlA gave no handle, from GetLastError: WinINet's "cannot
// connect" is the one it reports for a refused connection.
core::DownloadFailure classifyOpenFailure(unsigned long error);

} // namespace transfer
