// The catalogue: every entry text in its place, the defaults and the code rule.
#include "catalogue/currency_catalogue.h"

#include <gtest/gtest.h>

namespace
{

TEST(CurrencyCatalogue, EveryEntryTextInItsPlace)
{
    // Written out independently of the table, so a misspelt or moved entry fails.
    const char *const expected[] = {
        "United Arab Emirates Dirham (AED)",
        "Netherlands Antillean Gulden (ANG)",
        "Argentine Peso (ARS)",
        "Australian Dollar (AUD)",
        "Bulgarian Lev (BGN)",
        "Bahraini Dinar (BHD)",
        "Brunei Dollar (BND)",
        "Bolivian Boliviano (BOB)",
        "Brazilian Real (BRL)",
        "Botswana Pula (BWP)",
        "Canadian Dollar (CAD)",
        "Swiss Franc (CHF)",
        "Chilean Peso (CLP)",
        "Chinese Yuan (renminbi) (CNY)",
        "Colombian Peso (COP)",
        "Serbian Dinar (CSD)",
        "Czech Koruna (CZK)",
        "Danish Krone (DKK)",
        "Estonian Kroon (EEK)",
        "Egyptian Pound (EGP)",
        "Euro (EUR)",
        "Fijian Dollar (FJD)",
        "British Pound (GBP)",
        "Hong Kong Dollar (HKD)",
        "Honduran Lempira (HNL)",
        "Croatian Kuna (HRK)",
        "Hungarian Forint (HUF)",
        "Indonesian Rupiah (IDR)",
        "New Israeli Sheqel (ILS)",
        "Indian Rupee (INR)",
        "Icelandic Kr\xc3\xb3na (ISK)",
        "Japanese Yen (JPY)",
        "South Korean Won (KRW)",
        "Kuwaiti Dinar (KWD)",
        "Kazakhstani Tenge (KZT)",
        "Sri Lankan Rupee (LKR)",
        "Lithuanian Litas (LTL)",
        "Moroccan Dirham (MAD)",
        "Mauritian Rupee (MUR)",
        "Mexican Peso (MXN)",
        "Malaysian Ringgit (MYR)",
        "Norwegian Krone (NOK)",
        "Nepalese Rupee (NPR)",
        "New Zealand Dollar (NZD)",
        "Omani Rial (OMR)",
        "Peruvian Nuevo Sol (PEN)",
        "Philippine Peso (PHP)",
        "Pakistani Rupee (PKR)",
        "Polish Zloty (PLN)",
        "Qatari Riyal (QAR)",
        "New Romanian Leu (RON)",
        "Russian Ruble (RUB)",
        "Saudi Riyal (SAR)",
        "Swedish Krona (SEK)",
        "Singapore Dollar (SGD)",
        "Slovenian Tolar (SIT)",
        "Slovak Koruna (SKK)",
        "Thai Baht (THB)",
        "New Turkish Lira (TRY)",
        "Trinidad and Tobago Dollar (TTD)",
        "New Taiwan Dollar (TWD)",
        "Ukrainian Hryvnia (UAH)",
        "United States Dollar (USD)",
        "Venezuelan Bol\xc3\xadvar (VEB)",
        "South African Rand (ZAR)",
    };
    const QStringList &entries = catalogue::currencyEntries();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(std::size(expected)));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString entry = QString::fromUtf8(expected[i]);
        EXPECT_EQ(entries.at(i), entry) << i;
        // The code rule must give back each entry's own code.
        EXPECT_EQ(catalogue::CurrencyCode(entries.at(i)), entry.sliced(entry.size() - 4, 3)) << i;
    }
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
