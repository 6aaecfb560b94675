// The window's entry texts, built from the shared currency table, and the code rule.
#include "catalogue/currency_catalogue.h"
#include "catalogue/currency_table.h"

namespace catalogue
{

const QStringList &currencyEntries()
{
    static const QStringList entries = [] {
        QStringList list;
        list.reserve(static_cast<qsizetype>(currencyTable.size()));
        for (const CurrencyTableEntry &entry : currencyTable) {
            list.append(
                QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size()))
                + QStringLiteral(" (") + QLatin1StringView(entry.code.data(), entry.code.size())
                + u')');
        }
        return list;
    }();
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
