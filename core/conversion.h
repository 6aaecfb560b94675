// The Convert action without a window: the request address built from the amount
// and two currency entries, the converter page fetched through a PageSource, and
// the result sentence cut out of its first "<td align=left>" cell as plain text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace core
{

// Whatever fetches a page: the Internet session in production, a fake in tests.
class PageSource
{
public:
    virtual ~PageSource() = default;
    // The body at address as text; empty when nothing could be fetched.
    virtual std::u16string downloadPage(const std::u16string &address) = 0;
};

// "http://" + host + "/finance/converter?a=<AMOUNT>&from=<IN_CUR_CODE>&to=<OUT_CUR_CODE>"
// with the amount (unchanged) and the two codes put in, in that order.
std::u16string buildRequestAddress(std::u16string_view amount, std::u16string_view fromEntry,
    std::u16string_view toEntry, std::u16string_view host);

// The plain text of the first "<td align=left>" cell; nullopt when the page has
// no such cell closed by a "</td>".
std::optional<std::u16string> extractResultText(std::u16string_view page);

// Shown when the page holds no result.
std::u16string noAnswerText(); // "No answer from the converter service." (empty page)
std::u16string noResultText(); // "The converter service sent no result."

// The whole conversion: the text for the Results box.
std::u16string convertCurrency(std::u16string_view amount, std::u16string_view fromEntry,
    std::u16string_view toEntry, PageSource &pages, std::u16string_view host);

// UTF-16 from the ASCII text of a build setting such as the converter host.
std::u16string fromAscii(std::string_view text);

} // namespace core
