// The conversion request: the address built from the amount and two entries,
// the result cut from the first "<td align=left>" cell, the two sentences for a
// page without a result, and one conversion end to end over a loopback server.
#include "loopback_http_server.h"
#include "net/conversion_request.h"
#include "net/internet_session.h"

#include <gtest/gtest.h>

#include <optional>

namespace
{

const QString usd = QStringLiteral("United States Dollar (USD)");
const QString eur = QStringLiteral("Euro (EUR)");

TEST(BuildRequestAddress, FillsTheTemplateInOrder)
{
    struct Row {
        QString amount;
        QString from;
        QString to;
        QString query;
    };
    const Row rows[] = {
        {"250", eur, usd, "a=250&from=EUR&to=USD"},
        {"100", usd, eur, "a=100&from=USD&to=EUR"},
        {"", usd, eur, "a=&from=USD&to=EUR"},
        {"1,5 x", usd, eur, "a=1,5 x&from=USD&to=EUR"},
        {"&#+%20", usd, eur, "a=&#+%20&from=USD&to=EUR"},
        {"<IN_CUR_CODE>", usd, eur, "a=USD&from=USD&to=EUR"},
        {"<OUT_CUR_CODE><IN_CUR_CODE>", usd, eur, "a=EURUSD&from=USD&to=EUR"},
        {"<AMOUNT>", usd, eur, "a=<AMOUNT>&from=USD&to=EUR"},
        {"<amount>", usd, eur, "a=<amount>&from=USD&to=EUR"},
        {"1", QStringLiteral("Chinese Yuan (renminbi) (CNY)"), eur, "a=1&from=CNY&to=EUR"},
        {"1", QString::fromUtf8("Icelandic Kr\xc3\xb3na (ISK)"), eur, "a=1&from=ISK&to=EUR"},
        {"1", QStringLiteral("Euro (E"), QString(), "a=1&from=E&to="},
        {"1", QStringLiteral("Dollar"), QStringLiteral("<IN_CUR_CODE>"), "a=1&from=Dol&to=<IN"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(
            conversion::BuildRequestAddress(row.amount, row.from, row.to, QStringLiteral("h:1")),
            QStringLiteral("http://h:1/finance/converter?") + row.query)
            << row.query.toStdString();
    }
}

TEST(ExtractResultText, CutsAndCleansTheFirstResultCell)
{
    struct Row {
        const char *name;
        QString page;
        std::optional<QString> result;
    };
    const Row rows[] = {
        {"worked example",
            "<p>x</p><td align=left> 100 USD =&nbsp;<b>87.50 EUR</b>\r\n</td><td>y</td>",
            "100 USD = 87.50 EUR"},
        {"empty cell", "<td align=left></td>", ""},
        {"only the first cell", "<td align=left>a</td><td align=left>b</td>", "a"},
        {"first end marker after it", "</td><td align=left>a</td>b</td>", "a"},
        {"start marker inside the cell", "<td align=left>a<td align=left>b</td>", "ab"},
        {"nested tags", "<td align=left><b><i>x</i></b></td>", "x"},
        {"tag inside a tag", "<td align=left><a<b>c></td>", "c>"},
        {"tag left by a removal", "<td align=left><<b>b></td>", "b>"},
        {"greater-than without a tag", "<td align=left>a > b</td>", "a > b"},
        {"line break joins", "<td align=left>=\r\n87.50</td>", "=87.50"},
        {"lone line feed", "<td align=left>=\n87.50</td>", "=87.50"},
        {"lone carriage return stays", "<td align=left>a\rb</td>", "a\rb"},
        {"CR CR LF LF", "<td align=left>x\r\r\n\ny</td>", "x\ry"},
        {"tab stays at either end", "<td align=left> \tx\t </td>", "\tx\t"},
        {"tag across a line break", "<td align=left><b\r\n>x</b></td>", "x"},
        {"nbsp at the ends is trimmed", "<td align=left>&nbsp;x&nbsp;</td>", "x"},
        {"nbsp before line breaks go", "<td align=left>&nb\r\nsp;</td>", "&nbsp;"},
        {"other entities stay", "<td align=left>&amp;x&lt;&NBSP;</td>", "&amp;x&lt;&NBSP;"},
        {"only blanks", "<td align=left> &nbsp; </td>", ""},
        {"no start marker", "<TD ALIGN=LEFT>x</TD>", std::nullopt},
        {"quoted attribute", "<td align=\"left\">x</td>", std::nullopt},
        {"no end marker after it", "</td><td align=left>x</TD>", std::nullopt},
        {"empty page", "", std::nullopt},
        // Where removing one tag per pass would never end.
        {"less-than without greater-than", "<td align=left>x < y</td>", "x < y"},
        {"greater-than before a tag", "<td align=left>x > <i>y</i></td>", "x > y"},
        {"unclosed tag after a tag", "<td align=left>a<b>c<d</td>", "ac<d"},
        {"greater-than after a removal", "<td align=left><a>b>c<d>e</td>", "b>ce"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(conversion::ExtractResultText(row.page), row.result) << row.name;
}

TEST(ConvertCurrency, ShowsTheResultOrSaysWhyThereIsNone)
{
    struct Row {
        const char *name;
        QString page;
        QString shown;
    };
    const Row rows[] = {
        {"result", "<td align=left>250 EUR = <b>290.10 USD</b></td>", "250 EUR = 290.10 USD"},
        {"empty result", "<td align=left> </td>", ""},
        {"failed download", "", conversion::noAnswerText()},
        {"no cell", "<html>busy</html>", conversion::noResultText()},
        {"cell never closed", "<td align=left>250 EUR", conversion::noResultText()},
    };
    EXPECT_EQ(conversion::noAnswerText(), QStringLiteral("No answer from the converter service."));
    EXPECT_EQ(conversion::noResultText(), QStringLiteral("The converter service sent no result."));
    for (const Row &row : rows) {
        QString asked;
        const QString shown = conversion::convertCurrency(
            QStringLiteral("250"), eur, usd, [&](const QString &address) {
                asked = address;
                return row.page;
            });
        EXPECT_EQ(shown, row.shown) << row.name;
        EXPECT_EQ(asked, conversion::BuildRequestAddress(QStringLiteral("250"), eur, usd))
            << row.name;
    }
}

TEST(ConvertCurrency, DownloadsThroughTheSessionByDefault)
{
    modInternetFileFunctions::CloseInternetSession();
    EXPECT_EQ(
        conversion::convertCurrency(QStringLiteral("1"), usd, eur), conversion::noAnswerText());
}

TEST(ConvertCurrency, RunsEndToEndOverTheSession)
{
    loopback::Server server([](const loopback::Request &request) {
        if (request.target != "/finance/converter?a=1,5%20x&from=USD&to=EUR")
            return loopback::response(404, "<html>unknown</html>");
        return loopback::response(
            200, "<html><td align=left>1,5 x USD =&nbsp;<b>?</b>\r\n</td></html>");
    });
    ASSERT_TRUE(server.start());
    modInternetFileFunctions::OpenInternetSession();
    const QString ourHost = QStringLiteral("127.0.0.1:%1").arg(server.port());
    const auto download = [&](const QString &address) {
        return modInternetFileFunctions::DownloadPage(
            QString(address).replace(conversion::converterHost(), ourHost));
    };
    EXPECT_EQ(conversion::convertCurrency(QStringLiteral("1,5 x"), usd, eur, download),
        QStringLiteral("1,5 x USD = ?"));
    EXPECT_EQ(conversion::convertCurrency(QStringLiteral("2"), usd, eur, download),
        conversion::noResultText());
    modInternetFileFunctions::CloseInternetSession();
}

} // namespace
