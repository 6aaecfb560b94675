// The catalogue both windows show: every entry text in its place, the defaults
// and the code rule.
#include "core/currency_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace
{

// The entries' few non-ASCII letters are two-byte UTF-8.
std::u16string fromUtf8(std::string_view bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0xC0 && i + 1 < bytes.size())
            text += char16_t((byte & 0x1F) << 6 | (static_cast<unsigned char>(bytes[++i]) & 0x3F));
        else
            text += char16_t(byte);
    }
    return text;
}

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
    const std::vector<std::u16string> &entries = core::currencyEntries();
    ASSERT_EQ(entries.size(), std::size(expected));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::u16string entry = fromUtf8(expected[i]);
        EXPECT_EQ(entries[i], entry) << i;
        // The code rule must give back each entry's own code.
        EXPECT_EQ(core::CurrencyCode(entries[i]), entry.substr(entry.size() - 4, 3)) << i;
    }
}

TEST(CurrencyCatalogue, DefaultsAreEntries)
{
    const std::vector<std::u16string> &entries = core::currencyEntries();
    EXPECT_EQ(core::defaultFromEntry(), u"United States Dollar (USD)");
    EXPECT_EQ(core::defaultToEntry(), u"Euro (EUR)");
    for (const std::u16string &fallback : {core::defaultFromEntry(), core::defaultToEntry()})
        EXPECT_NE(std::find(entries.begin(), entries.end(), fallback), entries.end());
}

TEST(CurrencyCode, CutsTheCodeFromAnyText)
{
    const struct {
        std::u16string text;
        std::u16string code;
    } rows[] = {
        {u"United States Dollar (USD)", u"USD"},
        {u"South African Rand (ZAR)", u"ZAR"},
        {u"Icelandic Kr\u00f3na (ISK)", u"ISK"},
        {u"Euro (EUR)", u"EUR"},
        {u"Chinese Yuan (renminbi) (CNY)", u"CNY"},
        {u"Euro", u"Eur"},
        {u"ab", u"ab"},
        {u"", u""},
        {u"Euro (E", u"E"},
        {u"odd (AB", u"AB"},
        {u"Euro (", u""},
        {u"(", u""},
        {u"(EURO)", u"EUR"},
        {u"(ABC)", u"ABC"},
        {u"x (ab) (c)", u"ab)"},
        {u"a(b)(CD)", u"b)("},
    };
    for (const auto &row : rows)
        EXPECT_EQ(core::CurrencyCode(row.text), row.code)
            << std::string(row.text.begin(), row.text.end());
}

} // namespace
