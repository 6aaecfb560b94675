// The program's one Internet session on Windows, through WinINet: opened with
// the agent string and the system's proxy settings, every page fetched with
// InternetOpenUrlA past every cache and read in chunks of at most 8192 bytes
// until a read gives none. Texts cross as ANSI in the system code page (CP_ACP).
// The limits the Linux build keeps hold here too (core/download.h).
#pragma once

#include "core/download.h"
#include "core/ports.h"

#include <memory>
#include <string>
#include <string_view>

namespace win32
{

struct InternetHandleCloser {
    void operator()(void *handle) const;
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

class WinInetSession : public core::InternetSession, public core::DownloadAttempt
{
public:
    explicit WinInetSession(core::DownloadLimits limits = {});

    void open() override;
    void close() override;
    bool isOpen() const { return m_session != nullptr; }

    // With the limits given at construction.
    std::u16string downloadPage(const std::u16string &address) override;
    // The body whatever its status; empty when nothing could be fetched or the
    // body is over the cap; a failure part-way keeps what was read before it.
    std::u16string download(const std::u16string &address, const core::DownloadLimits &limits,
        core::DownloadFailure *failure) override;

private:
    core::DownloadLimits m_limits;
    InternetHandle m_session;
};

// Why InternetOpenUrlA gave no handle, from GetLastError: WinINet's "cannot
// connect" is the one it reports for a refused connection.
core::DownloadFailure classifyOpenFailure(unsigned long error);

// Wide text to the system's ANSI code page and back (CP_ACP).
std::string toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::string_view bytes);

// The address as InternetOpenUrlA gets it: ANSI bytes, with the bytes WinINet
// would drop or split on percent-encoded ("#" would end the address there).
std::string wireAddress(std::u16string_view address);

} // namespace win32
