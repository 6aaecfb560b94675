// The entry texts built once from the shared table, and the code rule.
#include "core/currency_catalogue.h"

#include "catalogue/currency_table.h"

namespace core
{

namespace
{

// The table's names are UTF-8; all of them are ASCII today, but a name with an
// accent must not come out as two characters.
void appendUtf8(std::u16string &out, std::string_view in)
{
    for (std::size_t i = 0; i < in.size();) {
        const auto lead = static_cast<unsigned char>(in[i]);
        char32_t c = lead;
        std::size_t length = 1;
        if (lead >= 0xF0)
            c = lead & 0x07, length = 4;
        else if (lead >= 0xE0)
            c = lead & 0x0F, length = 3;
        else if (lead >= 0xC0)
            c = lead & 0x1F, length = 2;
        for (std::size_t k = 1; k < length && i + k < in.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3F);
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
}

} // namespace

const std::vector<std::u16string> &currencyEntries()
{
    static const std::vector<std::u16string> entries = [] {
        std::vector<std::u16string> list;
        list.reserve(catalogue::currencyTable.size());
        for (const catalogue::CurrencyTableEntry &entry : catalogue::currencyTable) {
            std::u16string text;
            appendUtf8(text, entry.name);
            text += u" (";
            appendUtf8(text, entry.code);
            text += u')';
            list.push_back(std::move(text));
        }
        return list;
    }();
    return entries;
}

std::u16string defaultFromEntry()
{
    return u"United States Dollar (USD)";
}

std::u16string defaultToEntry()
{
    return u"Euro (EUR)";
}

std::u16string CurrencyCode(std::u16string_view entry)
{
    // "Chinese Yuan (renminbi) (CNY)" has two groups; the code is the closing one.
    const std::size_t n = entry.size();
    if (n >= 5 && entry[n - 1] == u')' && entry[n - 5] == u'(')
        return std::u16string(entry.substr(n - 4, 3));
    const std::size_t open = entry.find(u'(');
    const std::size_t start = open == std::u16string_view::npos ? 0 : open + 1;
    return std::u16string(entry.substr(start, 3));
}

} // namespace core
