// The currency catalogue as both windows show it: the 65 entry texts (from the
// shared table in catalogue/currency_table.h), the two default entries and the
// rule that cuts a currency code from a list's text. Standard C++ only; the Qt
// catalogue and the Win32 window both read it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core
{

// The 65 entries in list order (ascending by code), e.g. u"Euro (EUR)".
const std::vector<std::u16string> &currencyEntries();

std::u16string defaultFromEntry(); // "United States Dollar (USD)"
std::u16string defaultToEntry(); // "Euro (EUR)"

// The code of a list text: the three letters inside a closing "(XYZ)", else the
// (at most) three characters after the first "(", else the first three characters.
std::u16string CurrencyCode(std::u16string_view entry);

} // namespace core
