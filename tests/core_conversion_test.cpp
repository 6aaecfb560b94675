// The shared core's text rules, as both builds run them: the catalogue and its
// code rule, the Windows-1252 code page, the request address and the result
// extraction, and a whole conversion over a fake page source.
#include "core/code_page.h"
#include "core/conversion.h"
#include "core/currency_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

std::string narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

TEST(CoreCatalogue, EntriesDefaultsAndCodes)
{
    const std::vector<std::u16string> &entries = core::currencyEntries();
    ASSERT_EQ(entries.size(), 65u);
    EXPECT_EQ(entries.front(), u"United Arab Emirates Dirham (AED)");
    EXPECT_EQ(entries[13], u"Chinese Yuan (renminbi) (CNY)");
    for (const std::u16string &fallback : {core::defaultFromEntry(), core::defaultToEntry()})
        EXPECT_NE(std::find(entries.begin(), entries.end(), fallback), entries.end());

    const struct {
        std::u16string entry;
        std::u16string code;
    } rows[] = {
        {u"Euro (EUR)", u"EUR"},
        {u"Chinese Yuan (renminbi) (CNY)", u"CNY"},
        {u"odd (AB", u"AB"},
        {u"no group", u"no "},
        {u"", u""},
        {u"(", u""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::currencyCode(row.entry), row.code) << narrow(row.entry);
}

TEST(CoreCodePage, BytesAndCharactersBothWays)
{
    std::u16string text;
    const char bytes[] = {'a', char(0x80), char(0xA3), char(0x81), char(0xFF)};
    core::ansi::appendToUnicode(text, bytes, sizeof bytes);
    EXPECT_EQ(text, u"a\u20AC\u00A3\u0081\u00FF");
    EXPECT_EQ(core::ansi::fromUnicode(text), std::string(bytes, sizeof bytes));
    // Outside the code page, and a character outside the plane, each one "?".
    EXPECT_EQ(core::ansi::fromUnicode(u"\u0100x\U0001F600"), "?x?");
}

// Both systems send an address through this escape, whatever code page made its bytes.
TEST(CoreCodePage, WireAddressEscapesOnlyWhatCannotStandInAnAddress)
{
    const struct {
        std::u16string address;
        std::string wire;
    } rows[] = {
        {u"http://h/p?a=250&from=EUR&to=USD", "http://h/p?a=250&from=EUR&to=USD"},
        {u"a=1,5 x", "a=1,5%20x"}, {u"&+,%;/?:@=!$'()*~_.-", "&+,%;/?:@=!$'()*~_.-"},
        // "#" would end the address: the currencies after it would be lost.
        {u"http://h/?a=1 #2&to=X", "http://h/?a=1%20%232&to=X"},
        {u"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"}, {u"\x01\t\n\x7f", "%01%09%0A%7F"},
        {std::u16string(1, u'\0'), "%00"}, {u"\u20AC\u00A3", "%80%A3"}, // euro and pound signs
        {u"\u00E4\u00FF", "%E4%FF"}, {u"\u0081\u009D", "%81%9D"}, // undefined in the code page
        {u"\u0080\u0100", "??"}, // a control and a letter the code page lacks
        {u"\U0001F600", "?"}, // one character, two UTF-16 units
        {u"\u201C", "%93"}, // left double quotation mark
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::wireAddress(core::ansi::fromUnicode(row.address)), row.wire) << row.wire;
}

TEST(CoreConversion, BuildsTheAddressInOrder)
{
    const struct {
        std::u16string amount, from, to, address;
    } rows[] = {
        {u"250", u"Euro (EUR)", u"United States Dollar (USD)", u"a=250&from=EUR&to=USD"},
        {u"", u"Euro (EUR)", u"Euro (EUR)", u"a=&from=EUR&to=EUR"},
        {u"1,5 x", u"Euro (EUR)", u"Euro (EUR)", u"a=1,5 x&from=EUR&to=EUR"},
        {u"<IN_CUR_CODE>", u"Swiss Franc (CHF)", u"Euro (EUR)", u"a=CHF&from=CHF&to=EUR"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(core::buildRequestAddress(row.amount, row.from, row.to, u"h:1"),
            u"http://h:1/finance/converter?" + row.address)
            << narrow(row.amount);
    }
}

TEST(CoreConversion, CutsAndCleansTheFirstResultCell)
{
    const struct {
        std::u16string page;
        std::optional<std::u16string> result;
    } rows[] = {
        {u"<p>x</p><td align=left> 100 USD =&nbsp;<b>87.50 EUR</b>\r\n</td><td>y</td>",
            u"100 USD = 87.50 EUR"},
        {u"<td align=left></td>", u""},
        {u"<td align=left><b><i>x</i></b></td>", u"x"},
        {u"<td align=left>a > b</td>", u"a > b"},
        {u"<td align=left>=\r\n87.50\r</td>", u"=87.50\r"},
        {u"<td align=left>\t&nbsp;x&amp;&nbsp;</td>", u"\t x&amp;"},
        {u"<td align=left>a <b never closed</td>", u"a <b never closed"},
        {u"<TD ALIGN=LEFT>x</TD>", std::nullopt},
        {u"<td align=left>no end", std::nullopt},
        {u"", std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::extractResultText(row.page), row.result) << narrow(row.page);
}

class FakePages : public core::PageSource
{
public:
    std::u16string page;
    std::vector<std::u16string> asked;
    std::u16string downloadPage(const std::u16string &address) override
    {
        asked.push_back(address);
        return page;
    }
};

TEST(CoreConversion, ShowsTheResultOrSaysWhyThereIsNone)
{
    const struct {
        std::u16string page, shown;
    } rows[] = {
        {u"<td align=left>1 USD = 0.9 EUR</td>", u"1 USD = 0.9 EUR"},
        {u"", core::noAnswerText()},
        {u"<html>busy</html>", core::noResultText()},
    };
    for (const auto &row : rows) {
        FakePages pages;
        pages.page = row.page;
        EXPECT_EQ(core::convertCurrency(u"1", u"Euro (EUR)", u"Swiss Franc (CHF)", pages, u"h"),
            row.shown);
        ASSERT_EQ(pages.asked.size(), 1u);
        EXPECT_EQ(pages.asked[0], u"http://h/finance/converter?a=1&from=EUR&to=CHF");
    }
}

} // namespace
