// The window's policy over the transfer: ANSI texts, the agent string, and the
// body shown whatever the status. The bytes are converted once, whole, so that
// a character of a multi-byte code page split between two reads comes out whole.
#include "win32/wininet_session.h"

#include "core/code_page.h"
#include "transfer/wininet_transfer.h"
#include "win32/wide.h"

#include <windows.h>

#include <algorithm>

namespace win32
{

WinInetSession::WinInetSession(core::DownloadLimits limits)
    : m_limits(limits)
{
}

WinInetSession::~WinInetSession() = default;

void WinInetSession::open()
{
    m_transfer = std::make_unique<transfer::WinInetTransfer>(core::agentString);
    if (!m_transfer->isOpen())
        m_transfer.reset();
}

void WinInetSession::close()
{
    m_transfer.reset();
}

std::u16string WinInetSession::downloadPage(const std::u16string &address)
{
    return download(address, m_limits, nullptr);
}

std::u16string WinInetSession::download(const std::u16string &address,
    const core::DownloadLimits &limits, core::DownloadFailure *failure)
{
    core::DownloadFailure ignored = core::DownloadFailure::None;
    core::DownloadFailure &why = failure ? *failure : ignored;
    why = core::DownloadFailure::Other;
    if (!m_transfer)
        return {};
    const transfer::Result result = m_transfer->get(core::wireAddress(toAnsi(address)), limits);
    why = result.failure;
    return result.failure == core::DownloadFailure::TooLarge ? std::u16string()
                                                             : fromAnsi(result.body);
}

std::string toAnsi(std::u16string_view text)
{
    // No best fit: a character the code page lacks becomes "?", never a
    // look-alike such as a quotation mark.
    if (text.empty())
        return {};
    const auto *in = reinterpret_cast<const wchar_t *>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, in, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, in, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::u16string fromAnsi(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), size);
    return fromWide(text);
}

} // namespace win32
