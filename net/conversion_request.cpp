// The Convert action's steps: the request address from the template, the page
// through the download function, and the result cell's plain text. Tags are
// removed in one left-to-right pass, so a hostile page cannot make it loop or
// take time beyond the cell's length.
#include "net/conversion_request.h"

#include "catalogue/currency_catalogue.h"
#include "net/internet_session.h"

namespace conversion
{

namespace
{

// Removes each tag, from its "<" through the next ">", scanning once. A "<" with
// no ">" after it stays as text together with everything after it, and a ">"
// met outside a tag stays as text.
QString withoutTags(QStringView cell)
{
    QString text;
    text.reserve(cell.size());
    qsizetype i = 0;
    while (i < cell.size()) {
        if (cell[i] == u'<') {
            const qsizetype close = cell.indexOf(u'>', i + 1);
            if (close < 0) {
                text.append(cell.mid(i));
                break;
            }
            i = close + 1;
            continue;
        }
        qsizetype open = cell.indexOf(u'<', i);
        if (open < 0)
            open = cell.size();
        text.append(cell.mid(i, open - i));
        i = open;
    }
    return text;
}

QStringView withoutBlanksAtEnds(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString converterHost()
{
    return QStringLiteral(KORVALUX_CONVERTER_HOST);
}

QString BuildRequestAddress(
    const QString &amount, const QString &fromEntry, const QString &toEntry, const QString &host)
{
    QString address = QStringLiteral("http://") + host
        + QStringLiteral("/finance/converter?a=<AMOUNT>&from=<IN_CUR_CODE>&to=<OUT_CUR_CODE>");
    address.replace(QStringLiteral("<AMOUNT>"), amount);
    address.replace(QStringLiteral("<IN_CUR_CODE>"), catalogue::CurrencyCode(fromEntry));
    address.replace(QStringLiteral("<OUT_CUR_CODE>"), catalogue::CurrencyCode(toEntry));
    return address;
}

std::optional<QString> ExtractResultText(const QString &page)
{
    const QString startMarker = QStringLiteral("<td align=left>");
    const qsizetype start = page.indexOf(startMarker);
    if (start < 0)
        return std::nullopt;
    const qsizetype cellStart = start + startMarker.size();
    const qsizetype cellEnd = page.indexOf(QStringLiteral("</td>"), cellStart);
    if (cellEnd < 0)
        return std::nullopt;

    QString cell = page.mid(cellStart, cellEnd - cellStart);
    cell.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    cell.replace(QStringLiteral("\r\n"), QString());
    cell.remove(u'\n');
    return withoutBlanksAtEnds(withoutTags(cell)).toString();
}

QString noAnswerText()
{
    return QStringLiteral("No answer from the converter service.");
}

QString noResultText()
{
    return QStringLiteral("The converter service sent no result.");
}

QString convertCurrency(const QString &amount, const QString &fromEntry, const QString &toEntry,
    const DownloadFunction &download)
{
    const QString address = BuildRequestAddress(amount, fromEntry, toEntry);
    const QString page
        = download ? download(address) : modInternetFileFunctions::DownloadPage(address);
    if (page.isEmpty())
        return noAnswerText();
    return ExtractResultText(page).value_or(noResultText());
}

} // namespace conversion
