// The catalogue: its entries, defaults and the code rule.
#include "catalogue/currency_catalogue.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

TEST(CurrencyCatalogue, HoldsSixtyFiveDistinctEntriesAscendingByCode)
{
    const QStringList &entries = catalogue::currencyEntries();
    ASSERT_EQ(entries.size(), 65);
    QSet<QString> codes;
    QString previous;
    for (const QString &entry : entries) {
        const QString code = catalogue::CurrencyCode(entry);
        EXPECT_EQ(code.size(), 3) << entry.toStdString();
        EXPECT_TRUE(entry.endsWith(QStringLiteral(" (") + code + u')')) << entry.toStdString();
        EXPECT_LT(previous, code) << entry.toStdString();
        previous = code;
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 65);
}

TEST(CurrencyCatalogue, KnownEntriesStandAtTheirPlaces)
{
    struct Row {
        int index;
        QString entry;
    };
    const Row rows[] = {
        {0, QStringLiteral("United Arab Emirates Dirham (AED)")},
        {13, QStringLiteral("Chinese Yuan (renminbi) (CNY)")},
        {15, QStringLiteral("Serbian Dinar (CSD)")},
        {18, QStringLiteral("Estonian Kroon (EEK)")},
        {20, QStringLiteral("Euro (EUR)")},
        {30, QString::fromUtf8("Icelandic Kr\xc3\xb3na (ISK)")},
        {58, QStringLiteral("New Turkish Lira (TRY)")},
        {62, QStringLiteral("United States Dollar (USD)")},
        {63, QString::fromUtf8("Venezuelan Bol\xc3\xadvar (VEB)")},
        {64, QStringLiteral("South African Rand (ZAR)")},
    };
    const QStringList &entries = catalogue::currencyEntries();
    for (const Row &row : rows)
        EXPECT_EQ(entries.at(row.index), row.entry) << row.index;
}

TEST(CurrencyCatalogue, DefaultsAreEntries)
{
    const QStringList &entries = catalogue::currencyEntries();
    EXPECT_EQ(catalogue::defaultFromEntry(), QStringLiteral("United States Dollar (USD)"));
    EXPECT_EQ(catalogue::defaultToEntry(), QStringLiteral("Euro (EUR)"));
    EXPECT_TRUE(entries.contains(catalogue::defaultFromEntry()));
    EXPECT_TRUE(entries.contains(catalogue::defaultToEntry()));
}

TEST(CurrencyCode, CutsTheCodeFromAnyText)
{
    struct Row {
        QString text;
        QString code;
    };
    const Row rows[] = {
        {QStringLiteral("United States Dollar (USD)"), QStringLiteral("USD")},
        {QStringLiteral("South African Rand (ZAR)"), QStringLiteral("ZAR")},
        {QString::fromUtf8("Icelandic Kr\xc3\xb3na (ISK)"), QStringLiteral("ISK")},
        {QStringLiteral("Euro (EUR)"), QStringLiteral("EUR")},
        {QStringLiteral("Chinese Yuan (renminbi) (CNY)"), QStringLiteral("CNY")},
        {QStringLiteral("Euro"), QStringLiteral("Eur")},
        {QStringLiteral("ab"), QStringLiteral("ab")},
        {QString(), QString()},
        {QStringLiteral("Euro (E"), QStringLiteral("E")},
        {QStringLiteral("Euro ("), QString()},
        {QStringLiteral("(EURO)"), QStringLiteral("EUR")},
        {QStringLiteral("(ABC)"), QStringLiteral("ABC")},
        {QStringLiteral("x (ab) (c)"), QStringLiteral("ab)")},
        {QStringLiteral("a(b)(CD)"), QStringLiteral("b)(")},
    };
    for (const Row &row : rows)
        EXPECT_EQ(catalogue::CurrencyCode(row.text), row.code) << row.text.toStdString();
}

} // namespace
