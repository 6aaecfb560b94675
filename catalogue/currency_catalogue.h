// The currency catalogue: the 65 entry texts that fill both currency lists (from
// catalogue/currency_table.h, which the service shares), the two
// default entries the settings fall back to, and the rule that cuts a currency
// code from an entry's text. Compiled in; nothing reads it from outside.
#pragma once

#include <QString>
#include <QStringList>

namespace catalogue
{

// The 65 entries in list order (ascending by code), e.g. "Euro (EUR)".
const QStringList &currencyEntries();

QString defaultFromEntry(); // "United States Dollar (USD)"
QString defaultToEntry(); // "Euro (EUR)"

// The code of a list text: the three letters inside a closing "(XYZ)", else the
// (at most) three characters after the first "(", else the first three characters.
QString CurrencyCode(const QString &entry);

} // namespace catalogue
