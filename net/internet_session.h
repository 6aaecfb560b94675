// The program's one Internet session on Linux: korvalux_transfer's libcurl GET
// with the agent string, its handle kept from load to unload so that every
// download reuses the converter's connection. Texts cross in Windows-1252 (the
// core's code page), the address through the core's escape; the body comes back
// whatever the status. The same object as win32::WinInetSession, over libcurl.
#pragma once

#include "core/download.h"
#include "core/ports.h"

#include <memory>
#include <string>

namespace transfer
{
class CurlTransfer;
}

namespace modInternetFileFunctions
{

// The limits and the failure kinds both platforms share (core/download.h).
using DownloadLimits = core::DownloadLimits;
using DownloadFailure = core::DownloadFailure;

class CurlSession : public core::InternetSession, public core::DownloadAttempt
{
public:
    explicit CurlSession(core::DownloadLimits limits = {});
    ~CurlSession() override;

    void open() override;
    void close() override;
    bool isOpen() const { return m_transfer != nullptr; }

    // With the limits given at construction.
    std::u16string downloadPage(const std::u16string &address) override;
    // The body whatever its status; empty when nothing could be fetched or the
    // body is over the cap; a failure part-way keeps what was read before it.
    std::u16string download(const std::u16string &address, const core::DownloadLimits &limits,
        core::DownloadFailure *failure) override;

private:
    core::DownloadLimits m_limits;
    std::unique_ptr<transfer::CurlTransfer> m_transfer;
};

} // namespace modInternetFileFunctions
