// The Convert action's steps. The cell is cleaned in one left-to-right pass, so
// a hostile page cannot make it loop or take time beyond the cell's length.
#include "core/conversion.h"

#include "core/currency_catalogue.h"

#include <cstdint>

namespace core
{

namespace
{

void replaceAll(std::u16string &text, std::u16string_view what, std::u16string_view with)
{
    for (std::size_t at = text.find(what); at != std::u16string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// The first marker at or after from, or npos. Jumping from one first character
// to the next is several times faster than a general substring search on a page.
std::size_t findMarker(std::u16string_view text, std::u16string_view marker, std::size_t from)
{
    for (std::size_t at = text.find(marker.front(), from); at != std::u16string_view::npos;
         at = text.find(marker.front(), at + 1)) {
        if (text.size() - at < marker.size())
            return std::u16string_view::npos;
        if (text.substr(at, marker.size()) == marker)
            return at;
    }
    return std::u16string_view::npos;
}

} // namespace

std::u16string fromAscii(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

std::u16string buildRequestAddress(std::u16string_view amount, std::u16string_view fromEntry,
    std::u16string_view toEntry, std::u16string_view host)
{
    std::u16string address = u"http://";
    address += host;
    address += u"/finance/converter?a=<AMOUNT>&from=<IN_CUR_CODE>&to=<OUT_CUR_CODE>";
    replaceAll(address, u"<AMOUNT>", amount);
    replaceAll(address, u"<IN_CUR_CODE>", CurrencyCode(fromEntry));
    replaceAll(address, u"<OUT_CUR_CODE>", CurrencyCode(toEntry));
    return address;
}

std::optional<std::u16string> extractResultText(std::u16string_view page)
{
    static constexpr std::u16string_view startMarker = u"<td align=left>";
    static constexpr std::u16string_view endMarker = u"</td>";
    static constexpr std::u16string_view blank = u"&nbsp;";
    constexpr std::size_t npos = std::u16string_view::npos;
    const std::size_t start = findMarker(page, startMarker, 0);
    if (start == npos)
        return std::nullopt;
    const std::size_t cellStart = start + startMarker.size();
    const std::size_t cellEnd = findMarker(page, endMarker, cellStart);
    if (cellEnd == npos)
        return std::nullopt;
    const std::u16string_view cell = page.substr(cellStart, cellEnd - cellStart);

    // One pass does the three steps in their order: "&nbsp;" becomes a blank in
    // the cell as it stands; then CR LF and LF go (no replacement blank is ever
    // part of a line break, so their positions are those of the cell); then the
    // tags go. A tag is written out until its ">" arrives and then cut back, so a
    // "<" that is never closed stays as text with everything after it, and a ">"
    // outside a tag stays as text.
    std::u16string text(cell.size(), u'\0');
    const char16_t *in = cell.data();
    const std::size_t length = cell.size();
    char16_t *out = text.data();
    std::size_t size = 0;
    std::size_t tagStart = npos;
    constexpr std::uint64_t specials
        = (1ull << '\n') | (1ull << '\r') | (1ull << '&') | (1ull << '<') | (1ull << '>');
    for (std::size_t i = 0; i < length; ++i) {
        char16_t c = in[i];
        if (!((c < 64) & (specials >> (c & 63)))) { // the common case, kept free of branches
            out[size++] = c;
            continue;
        }
        switch (c) {
        case u'&':
            if (length - i >= blank.size() && cell.substr(i, blank.size()) == blank) {
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
            if (tagStart == npos)
                tagStart = size;
            break;
        case u'>':
            if (tagStart != npos) {
                size = tagStart;
                tagStart = npos;
                continue;
            }
            break;
        default:
            break;
        }
        out[size++] = c;
    }

    // Only blanks are trimmed; tabs, CR and other white space stay.
    std::size_t begin = 0;
    while (begin < size && out[begin] == u' ')
        ++begin;
    while (size > begin && out[size - 1] == u' ')
        --size;
    text.resize(size);
    text.erase(0, begin);
    return text;
}

std::u16string noAnswerText()
{
    return u"No answer from the converter service.";
}

std::u16string noResultText()
{
    return u"The converter service sent no result.";
}

std::u16string convertCurrency(std::u16string_view amount, std::u16string_view fromEntry,
    std::u16string_view toEntry, PageSource &pages, std::u16string_view host)
{
    const std::u16string page
        = pages.downloadPage(buildRequestAddress(amount, fromEntry, toEntry, host));
    if (page.empty())
        return noAnswerText();
    return extractResultText(page).value_or(noResultText());
}

} // namespace core
