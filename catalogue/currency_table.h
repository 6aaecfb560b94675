// The one currency table of both programs: the 65 currencies of the window's two
// lists, in list order (ascending by code), each as its name and ISO-style code.
// The window shows "name (CODE)"; korvalux-service converts every code here.
// Plain C++ without Qt, so the service builds from it without the desktop.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace catalogue
{

struct CurrencyTableEntry {
    std::string_view name; // "Euro", UTF-8
    std::string_view code; // "EUR"
};

inline constexpr std::array<CurrencyTableEntry, 65> currencyTable = {{
    {"United Arab Emirates Dirham", "AED"},
    {"Netherlands Antillean Gulden", "ANG"},
    {"Argentine Peso", "ARS"},
    {"Australian Dollar", "AUD"},
    {"Bulgarian Lev", "BGN"},
    {"Bahraini Dinar", "BHD"},
    {"Brunei Dollar", "BND"},
    {"Bolivian Boliviano", "BOB"},
    {"Brazilian Real", "BRL"},
    {"Botswana Pula", "BWP"},
    {"Canadian Dollar", "CAD"},
    {"Swiss Franc", "CHF"},
    {"Chilean Peso", "CLP"},
    {"Chinese Yuan (renminbi)", "CNY"},
    {"Colombian Peso", "COP"},
    {"Serbian Dinar", "CSD"},
    {"Czech Koruna", "CZK"},
    {"Danish Krone", "DKK"},
    {"Estonian Kroon", "EEK"},
    {"Egyptian Pound", "EGP"},
    {"Euro", "EUR"},
    {"Fijian Dollar", "FJD"},
    {"British Pound", "GBP"},
    {"Hong Kong Dollar", "HKD"},
    {"Honduran Lempira", "HNL"},
    {"Croatian Kuna", "HRK"},
    {"Hungarian Forint", "HUF"},
    {"Indonesian Rupiah", "IDR"},
    {"New Israeli Sheqel", "ILS"},
    {"Indian Rupee", "INR"},
    {"Icelandic Kr\u00f3na", "ISK"},
    {"Japanese Yen", "JPY"},
    {"South Korean Won", "KRW"},
    {"Kuwaiti Dinar", "KWD"},
    {"Kazakhstani Tenge", "KZT"},
    {"Sri Lankan Rupee", "LKR"},
    {"Lithuanian Litas", "LTL"},
    {"Moroccan Dirham", "MAD"},
    {"Mauritian Rupee", "MUR"},
    {"Mexican Peso", "MXN"},
    {"Malaysian Ringgit", "MYR"},
    {"Norwegian Krone", "NOK"},
    {"Nepalese Rupee", "NPR"},
    {"New Zealand Dollar", "NZD"},
    {"Omani Rial", "OMR"},
    {"Peruvian Nuevo Sol", "PEN"},
    {"Philippine Peso", "PHP"},
    {"Pakistani Rupee", "PKR"},
    {"Polish Zloty", "PLN"},
    {"Qatari Riyal", "QAR"},
    {"New Romanian Leu", "RON"},
    {"Russian Ruble", "RUB"},
    {"Saudi Riyal", "SAR"},
    {"Swedish Krona", "SEK"},
    {"Singapore Dollar", "SGD"},
    {"Slovenian Tolar", "SIT"},
    {"Slovak Koruna", "SKK"},
    {"Thai Baht", "THB"},
    {"New Turkish Lira", "TRY"},
    {"Trinidad and Tobago Dollar", "TTD"},
    {"New Taiwan Dollar", "TWD"},
    {"Ukrainian Hryvnia", "UAH"},
    {"United States Dollar", "USD"},
    {"Venezuelan Bol\u00edvar", "VEB"},
    {"South African Rand", "ZAR"},
}};

namespace detail
{

constexpr bool isUpperCode(std::string_view code)
{
    if (code.size() != 3)
        return false;
    for (char c : code) {
        if (c < 'A' || c > 'Z')
            return false;
    }
    return true;
}

constexpr bool isWellFormed()
{
    for (std::size_t i = 0; i < currencyTable.size(); ++i) {
        if (!isUpperCode(currencyTable[i].code) || currencyTable[i].name.empty())
            return false;
        // Strictly ascending also rules out a code listed twice.
        if (i > 0 && !(currencyTable[i - 1].code < currencyTable[i].code))
            return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::isWellFormed(), "codes must be three capitals, unique and in order");

} // namespace catalogue
