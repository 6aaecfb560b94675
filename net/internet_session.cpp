// The window's policy over the transfer: Windows-1252 texts, the agent string,
// and the body shown whatever the status.
#include "net/internet_session.h"

#include "core/code_page.h"
#include "transfer/curl_transfer.h"

namespace modInternetFileFunctions
{

CurlSession::CurlSession(core::DownloadLimits limits)
    : m_limits(limits)
{
}

CurlSession::~CurlSession() = default;

void CurlSession::open()
{
    m_transfer = std::make_unique<transfer::CurlTransfer>(core::agentString);
    if (!m_transfer->isOpen())
        m_transfer.reset();
}

void CurlSession::close()
{
    m_transfer.reset();
}

std::u16string CurlSession::downloadPage(const std::u16string &address)
{
    return download(address, m_limits, nullptr);
}

std::u16string CurlSession::download(const std::u16string &address,
    const core::DownloadLimits &limits, core::DownloadFailure *failure)
{
    core::DownloadFailure ignored = core::DownloadFailure::None;
    core::DownloadFailure &why = failure ? *failure : ignored;
    why = core::DownloadFailure::Other;
    if (!m_transfer)
        return {};
    const transfer::Result result
        = m_transfer->get(core::wireAddress(core::ansi::fromUnicode(address)), limits);
    why = result.failure;
    std::u16string page;
    if (result.failure != core::DownloadFailure::TooLarge)
        core::ansi::appendToUnicode(page, result.body.data(), result.body.size());
    return page;
}

} // namespace modInternetFileFunctions
