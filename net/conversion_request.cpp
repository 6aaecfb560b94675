// The Convert action's steps: the request address from the template, the page
// through the download function, and the result cell's plain text. The cell is
// cleaned in one left-to-right pass, so a hostile page cannot make it loop or
// take time beyond the cell's length.
#include "net/conversion_request.h"

#include "catalogue/currency_catalogue.h"
#include "net/internet_session.h"

namespace conversion
{

namespace
{

// The first marker at or after from, or -1. Jumping from one first character
// to the next is several times faster than a general substring search on a page.
qsizetype findMarker(QStringView text, QStringView marker, qsizetype from)
{
    for (qsizetype at = text.indexOf(marker.front(), from); at >= 0;
         at = text.indexOf(marker.front(), at + 1)) {
        if (text.size() - at < marker.size())
            return -1;
        if (text.sliced(at, marker.size()) == marker)
            return at;
    }
    return -1;
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
    static constexpr QStringView startMarker = u"<td align=left>";
    static constexpr QStringView endMarker = u"</td>";
    static constexpr QStringView blank = u"&nbsp;";
    const qsizetype start = findMarker(page, startMarker, 0);
    if (start < 0)
        return std::nullopt;
    const qsizetype cellStart = start + startMarker.size();
    const qsizetype cellEnd = findMarker(page, endMarker, cellStart);
    if (cellEnd < 0)
        return std::nullopt;
    const QStringView cell = QStringView(page).sliced(cellStart, cellEnd - cellStart);

    // One pass does the three steps in their order: "&nbsp;" becomes a blank in
    // the cell as it stands; then CR LF and LF go (no replacement blank is ever
    // part of a line break, so their positions are those of the cell); then the
    // tags go. A tag is written out until its ">" arrives and then cut back, so a
    // "<" that is never closed stays as text with everything after it, and a ">"
    // outside a tag stays as text.
    QString text(cell.size(), Qt::Uninitialized);
    const char16_t *in = cell.utf16();
    const qsizetype length = cell.size();
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    qsizetype size = 0;
    qsizetype tagStart = -1;
    constexpr quint64 specials
        = (1ull << '\n') | (1ull << '\r') | (1ull << '&') | (1ull << '<') | (1ull << '>');
    for (qsizetype i = 0; i < length; ++i) {
        char16_t c = in[i];
        if (!((c < 64) & (specials >> (c & 63)))) { // the common case, kept free of branches
            out[size++] = c;
            continue;
        }
        switch (c) {
        case u'&':
            if (length - i >= blank.size() && cell.sliced(i, blank.size()) == blank) {
                c = u' ';
                i += blank.size() - 1;
            }
            break;
        case u'\n':
            continue;
        case u'\r':
            if (i + 1 < length && in[i + 1] == u'\n') {
                ++i;
                continue;
            }
            break;
        case u'<':
            if (tagStart < 0)
                tagStart = size;
            break;
        case u'>':
            if (tagStart >= 0) {
                size = tagStart;
                tagStart = -1;
                continue;
            }
            break;
        default:
            break;
        }
        out[size++] = c;
    }

    // Only blanks are trimmed; tabs, CR and other white space stay.
    qsizetype begin = 0;
    while (begin < size && out[begin] == u' ')
        ++begin;
    while (size > begin && out[size - 1] == u' ')
        --size;
    text.truncate(size);
    text.remove(0, begin);
    return text;
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
    const DownloadFunction &download, const QString &host)
{
    const QString address = BuildRequestAddress(amount, fromEntry, toEntry, host);
    const QString page
        = download ? download(address) : modInternetFileFunctions::DownloadPage(address);
    if (page.isEmpty())
        return noAnswerText();
    return ExtractResultText(page).value_or(noResultText());
}

} // namespace conversion
