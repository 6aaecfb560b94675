// The program's one Internet session on Windows: korvalux_transfer's WinINet GET
// with the agent string, its session kept from load to unload. Texts cross as
// ANSI in the system code page (CP_ACP), the address through the core's escape;
// the body comes back whatever the status. The limits the Linux build keeps hold
// here too (core/download.h), whatever the server does or does not send.
#pragma once

#include "core/download.h"
#include "core/ports.h"

#include <memory>
#include <string>
#include <string_view>

namespace transfer
{
class WinInetTransfer;
}

namespace win32
{

class WinInetSession : public core::InternetSession, public core::DownloadAttempt
{
public:
    explicit WinInetSession(core::DownloadLimits limits = {});
    ~WinInetSession() override;

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
    std::unique_ptr<transfer::WinInetTransfer> m_transfer;
};

// Wide text to the system's ANSI code page and back (CP_ACP).
std::string toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::string_view bytes);

} // namespace win32
