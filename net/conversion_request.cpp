// The Qt face of the core's Convert action (core/conversion.h): the address,
// the extraction and the whole conversion, with the download as a function.
#include "net/conversion_request.h"

#include "core/conversion.h"
#include "net/internet_session.h"

#include <string>

namespace conversion
{

namespace
{

std::u16string_view view(const QString &text)
{
    return std::u16string_view(
        reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

QString toQString(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

class FunctionPages : public core::PageSource
{
public:
    explicit FunctionPages(const DownloadFunction &download)
        : m_download(download)
    {
    }
    std::u16string downloadPage(const std::u16string &address) override
    {
        const QString qAddress = toQString(address);
        const QString page
            = m_download ? m_download(qAddress) : modInternetFileFunctions::DownloadPage(qAddress);
        return std::u16string(view(page));
    }

private:
    const DownloadFunction &m_download;
};

} // namespace

QString converterHost()
{
    return QStringLiteral(KORVALUX_CONVERTER_HOST);
}

QString BuildRequestAddress(
    const QString &amount, const QString &fromEntry, const QString &toEntry, const QString &host)
{
    return toQString(
        core::buildRequestAddress(view(amount), view(fromEntry), view(toEntry), view(host)));
}

std::optional<QString> ExtractResultText(const QString &page)
{
    const std::optional<std::u16string> text = core::extractResultText(view(page));
    if (!text)
        return std::nullopt;
    return toQString(*text);
}

QString noAnswerText()
{
    return toQString(core::noAnswerText());
}

QString noResultText()
{
    return toQString(core::noResultText());
}

QString convertCurrency(const QString &amount, const QString &fromEntry, const QString &toEntry,
    const DownloadFunction &download, const QString &host)
{
    FunctionPages pages(download);
    return toQString(
        core::convertCurrency(view(amount), view(fromEntry), view(toEntry), pages, view(host)));
}

} // namespace conversion

namespace modInternetFileFunctions
{

namespace
{

CurlSession &processSession()
{
    static CurlSession session;
    return session;
}

} // namespace

void OpenInternetSession()
{
    processSession().open();
}

void CloseInternetSession()
{
    processSession().close();
}

bool isSessionOpen()
{
    return processSession().isOpen();
}

QString DownloadPage(
    const QString &address, const core::DownloadLimits &limits, core::DownloadFailure *failure)
{
    const std::u16string page = processSession().download(
        std::u16string(reinterpret_cast<const char16_t *>(address.utf16()), size_t(address.size())),
        limits, failure);
    return QString::fromUtf16(page.data(), qsizetype(page.size()));
}

} // namespace modInternetFileFunctions
