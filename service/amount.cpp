// The amount rule, as a small hand-written scanner: every accepted shape is
// listed in amount.h and nothing else passes.
#include "service/amount.h"

#include <vector>

namespace korvalux::service
{

namespace
{

bool allDigits(std::string_view s)
{
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitOn(std::string_view s, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = s.find(separator);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        s.remove_prefix(at + 1);
    }
}

bool validGroups(const std::vector<std::string_view> &groups)
{
    if (groups.size() < 2 || groups[0].empty() || groups[0].size() > 3 || groups[0][0] == '0')
        return false;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if ((i > 0 && groups[i].size() != 3) || !allDigits(groups[i]))
            return false;
    }
    return true;
}

// Integer and fraction digits of the unsigned body, or false.
bool splitBody(std::string_view body, std::string &integer, std::string &fraction)
{
    const std::size_t dot = body.find('.');
    const std::string_view intPart = body.substr(0, dot);
    const std::string_view fracPart
        = dot == std::string_view::npos ? std::string_view {} : body.substr(dot + 1);
    if (!allDigits(fracPart))
        return false;

    const auto groups = splitOn(intPart, ',');
    if (groups.size() == 1) {
        if (!allDigits(intPart))
            return false;
        integer.assign(intPart);
        fraction.assign(fracPart);
    } else if (validGroups(groups)) {
        for (auto group : groups)
            integer.append(group);
        fraction.assign(fracPart);
    } else if (groups.size() == 2 && dot == std::string_view::npos && allDigits(groups[0])
        && allDigits(groups[1])) {
        integer.assign(groups[0]); // a lone decimal comma
        fraction.assign(groups[1]);
    } else {
        return false;
    }
    return !integer.empty() || !fraction.empty();
}

} // namespace

AmountResult parseAmount(std::string_view text)
{
    const std::string_view trimmed = trimBlanks(text);
    if (trimmed.empty())
        return AmountError::Empty;
    if (trimmed.size() > maxAmountLength)
        return AmountError::TooLong;

    std::string_view body = trimmed;
    bool negative = false;
    if (body.front() == '+' || body.front() == '-') {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    std::string integer;
    std::string fraction;
    if (body.empty() || !splitBody(body, integer, fraction))
        return AmountError::NotANumber;

    const std::size_t firstNonZero = integer.find_first_not_of('0');
    integer = firstNonZero == std::string::npos ? "0" : integer.substr(firstNonZero);

    std::string plain = integer;
    if (!fraction.empty())
        plain += "." + fraction;
    auto value = parseDecimal(plain);
    if (!value)
        return AmountError::NotANumber;
    static const Fraction limit = fractionFromInt(1'000'000'000'000'000LL);
    if (value->num * limit.den > limit.num * value->den)
        return AmountError::TooLarge;

    Amount amount;
    amount.value = std::move(*value);
    if (negative && !amount.value.isZero()) {
        amount.value.num = -amount.value.num;
        plain.insert(0, 1, '-');
    }
    amount.text = std::move(plain);
    return amount;
}

} // namespace korvalux::service
