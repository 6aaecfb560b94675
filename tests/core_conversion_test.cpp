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
        const char *name;
        std::u16string page;
        std::optional<std::u16string> result;
    } rows[] = {
        {"worked example",
            u"<p>x</p><td align=left> 100 USD =&nbsp;<b>87.50 EUR</b>\r\n</td><td>y</td>",
            u"100 USD = 87.50 EUR"},
        {"empty cell", u"<td align=left></td>", u""},
        {"only the first cell", u"<td align=left>a</td><td align=left>b</td>", u"a"},
        {"first end marker after it", u"</td><td align=left>a</td>b</td>", u"a"},
        {"start marker inside the cell", u"<td align=left>a<td align=left>b</td>", u"ab"},
        {"nested tags", u"<td align=left><b><i>x</i></b></td>", u"x"},
        {"tag inside a tag", u"<td align=left><a<b>c></td>", u"c>"},
        {"tag left by a removal", u"<td align=left><<b>b></td>", u"b>"},
        {"greater-than without a tag", u"<td align=left>a > b</td>", u"a > b"},
        {"line break joins", u"<td align=left>=\r\n87.50</td>", u"=87.50"},
        {"lone line feed", u"<td align=left>=\n87.50</td>", u"=87.50"},
        {"lone carriage return stays", u"<td align=left>a\rb</td>", u"a\rb"},
        {"CR CR LF LF", u"<td align=left>x\r\r\n\ny</td>", u"x\ry"},
        {"tab stays at either end", u"<td align=left> \tx\t </td>", u"\tx\t"},
        {"tag across a line break", u"<td align=left><b\r\n>x</b></td>", u"x"},
        {"nbsp at the ends is trimmed", u"<td align=left>&nbsp;x&nbsp;</td>", u"x"},
        {"nbsp before line breaks go", u"<td align=left>&nb\r\nsp;</td>", u"&nbsp;"},
        {"other entities stay", u"<td align=left>&amp;x&lt;&NBSP;</td>", u"&amp;x&lt;&NBSP;"},
        {"only blanks", u"<td align=left> &nbsp; </td>", u""},
        {"no start marker", u"<TD ALIGN=LEFT>x</TD>", std::nullopt},
        {"quoted attribute", u"<td align=\"left\">x</td>", std::nullopt},
        {"no end marker after it", u"</td><td align=left>x</TD>", std::nullopt},
        {"empty page", u"", std::nullopt},
        // Where removing one tag per pass would never end.
        {"less-than without greater-than", u"<td align=left>x < y</td>", u"x < y"},
        {"greater-than before a tag", u"<td align=left>x > <i>y</i></td>", u"x > y"},
        {"unclosed tag after a tag", u"<td align=left>a<b>c<d</td>", u"ac<d"},
        {"greater-than after a removal", u"<td align=left><a>b>c<d>e</td>", u"b>ce"},
        {"CR left at the end", u"<td align=left>=\r\n87.50\r</td>", u"=87.50\r"},
        {"nbsp and an entity", u"<td align=left>\t&nbsp;x&amp;&nbsp;</td>", u"\t x&amp;"},
        {"tag never closed", u"<td align=left>a <b never closed</td>", u"a <b never closed"},
        {"no end at all", u"<td align=left>no end", std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::extractResultText(row.page), row.result) << row.name;
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
