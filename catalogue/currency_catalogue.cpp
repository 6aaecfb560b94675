// The catalogue's data and its code rule.
#include "catalogue/currency_catalogue.h"

namespace catalogue {

const QStringList &currencyEntries()
{
    static const QStringList entries = {
        QStringLiteral("United Arab Emirates Dirham (AED)"),
        QStringLiteral("Netherlands Antillean Gulden (ANG)"),
        QStringLiteral("Argentine Peso (ARS)"),
        QStringLiteral("Australian Dollar (AUD)"),
        QStringLiteral("Bulgarian Lev (BGN)"),
        QStringLiteral("Bahraini Dinar (BHD)"),
        QStringLiteral("Brunei Dollar (BND)"),
        QStringLiteral("Bolivian Boliviano (BOB)"),
        QStringLiteral("Brazilian Real (BRL)"),
        QStringLiteral("Botswana Pula (BWP)"),
        QStringLiteral("Canadian Dollar (CAD)"),
        QStringLiteral("Swiss Franc (CHF)"),
        QStringLiteral("Chilean Peso (CLP)"),
        QStringLiteral("Chinese Yuan (renminbi) (CNY)"),
        QStringLiteral("Colombian Peso (COP)"),
        QStringLiteral("Serbian Dinar (CSD)"),
        QStringLiteral("Czech Koruna (CZK)"),
        QStringLiteral("Danish Krone (DKK)"),
        QStringLiteral("Estonian Kroon (EEK)"),
        QStringLiteral("Egyptian Pound (EGP)"),
        QStringLiteral("Euro (EUR)"),
        QStringLiteral("Fijian Dollar (FJD)"),
        QStringLiteral("British Pound (GBP)"),
        QStringLiteral("Hong Kong Dollar (HKD)"),
        QStringLiteral("Honduran Lempira (HNL)"),
        QStringLiteral("Croatian Kuna (HRK)"),
        QStringLiteral("Hungarian Forint (HUF)"),
        QStringLiteral("Indonesian Rupiah (IDR)"),
        QStringLiteral("New Israeli Sheqel (ILS)"),
        QStringLiteral("Indian Rupee (INR)"),
        QStringLiteral("Icelandic Kr\u00f3na (ISK)"),
        QStringLiteral("Japanese Yen (JPY)"),
        QStringLiteral("South Korean Won (KRW)"),
        QStringLiteral("Kuwaiti Dinar (KWD)"),
        QStringLiteral("Kazakhstani Tenge (KZT)"),
        QStringLiteral("Sri Lankan Rupee (LKR)"),
        QStringLiteral("Lithuanian Litas (LTL)"),
        QStringLiteral("Moroccan Dirham (MAD)"),
        QStringLiteral("Mauritian Rupee (MUR)"),
        QStringLiteral("Mexican Peso (MXN)"),
        QStringLiteral("Malaysian Ringgit (MYR)"),
        QStringLiteral("Norwegian Krone (NOK)"),
        QStringLiteral("Nepalese Rupee (NPR)"),
        QStringLiteral("New Zealand Dollar (NZD)"),
        QStringLiteral("Omani Rial (OMR)"),
        QStringLiteral("Peruvian Nuevo Sol (PEN)"),
        QStringLiteral("Philippine Peso (PHP)"),
        QStringLiteral("Pakistani Rupee (PKR)"),
        QStringLiteral("Polish Zloty (PLN)"),
        QStringLiteral("Qatari Riyal (QAR)"),
        QStringLiteral("New Romanian Leu (RON)"),
        QStringLiteral("Russian Ruble (RUB)"),
        QStringLiteral("Saudi Riyal (SAR)"),
        QStringLiteral("Swedish Krona (SEK)"),
        QStringLiteral("Singapore Dollar (SGD)"),
        QStringLiteral("Slovenian Tolar (SIT)"),
        QStringLiteral("Slovak Koruna (SKK)"),
        QStringLiteral("Thai Baht (THB)"),
        QStringLiteral("New Turkish Lira (TRY)"),
        QStringLiteral("Trinidad and Tobago Dollar (TTD)"),
        QStringLiteral("New Taiwan Dollar (TWD)"),
        QStringLiteral("Ukrainian Hryvnia (UAH)"),
        QStringLiteral("United States Dollar (USD)"),
        QStringLiteral("Venezuelan Bol\u00edvar (VEB)"),
        QStringLiteral("South African Rand (ZAR)"),
    };
    return entries;
}

QString defaultFromEntry()
{
    return QStringLiteral("United States Dollar (USD)");
}

QString defaultToEntry()
{
    return QStringLiteral("Euro (EUR)");
}

QString CurrencyCode(const QString &entry)
{
    // "Chinese Yuan (renminbi) (CNY)" has two groups; the code is the closing one.
    const qsizetype n = entry.size();
    if (n >= 5 && entry.at(n - 1) == u')' && entry.at(n - 5) == u'(')
        return entry.sliced(n - 4, 3);
    const qsizetype open = entry.indexOf(u'('); // -1 when absent: start at the front
    return entry.mid(open + 1, 3);
}

} // namespace catalogue
