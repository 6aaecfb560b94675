// Fraction arithmetic, decimal parsing and the one rounding rule of every
// printed value.
#include "service/decimal.h"

#include <cstdlib>

namespace korvalux::service
{

namespace
{

BigInt pow10(unsigned exponent)
{
    BigInt result = 1;
    for (unsigned i = 0; i < exponent; ++i)
        result *= 10;
    return result;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

Fraction operator*(const Fraction &a, const Fraction &b)
{
    return Fraction {a.num * b.num, a.den * b.den};
}

Fraction operator/(const Fraction &a, const Fraction &b)
{
    Fraction result {a.num * b.den, a.den * b.num};
    if (result.den < 0) {
        result.num = -result.num;
        result.den = -result.den;
    }
    return result;
}

bool operator==(const Fraction &a, const Fraction &b)
{
    return a.num * b.den == b.num * a.den;
}

Fraction fractionFromInt(long long value)
{
    return Fraction {BigInt(value), BigInt(1)};
}

std::optional<Fraction> parseDecimal(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    BigInt digits = 0;
    int scale = 0; // digits after the point
    std::size_t digitCount = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digitCount)
        digits = digits * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digitCount, ++scale)
            digits = digits * 10 + (text[i] - '0');
    }
    if (digitCount == 0 || digitCount > 200)
        return std::nullopt;

    int exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            expNegative = text[i++] == '-';
        std::size_t expDigits = 0;
        for (; i < text.size() && isDigit(text[i]); ++i, ++expDigits) {
            exponent = exponent * 10 + (text[i] - '0');
            if (exponent > 64)
                return std::nullopt;
        }
        if (expDigits == 0)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != text.size())
        return std::nullopt;

    const int shift = exponent - scale;
    Fraction result;
    result.num = negative ? BigInt(-digits) : digits;
    if (shift >= 0)
        result.num *= pow10(static_cast<unsigned>(shift));
    else
        result.den = pow10(static_cast<unsigned>(-shift));
    return result;
}

std::string formatValue(const Fraction &value)
{
    const bool negative = (value.num < 0) != (value.den < 0);
    const BigInt num = abs(value.num);
    const BigInt den = abs(value.den);

    unsigned decimals = 4;
    BigInt scale = pow10(decimals);
    if (num != 0) {
        // Widen until the truncated value holds four significant digits.
        while ((num * scale) / den < 1000) {
            ++decimals;
            scale *= 10;
        }
    }
    BigInt remainder;
    BigInt quotient;
    boost::multiprecision::divide_qr(num * scale, den, quotient, remainder);
    const BigInt twice = remainder * 2;
    if (twice > den || (twice == den && (quotient & 1) != 0))
        ++quotient;

    std::string digits = quotient.str();
    if (digits.size() <= decimals)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    digits.insert(digits.size() - decimals, 1, '.');
    if (negative && quotient != 0)
        digits.insert(0, 1, '-');
    return digits;
}

std::string formatExact(const Fraction &value)
{
    BigInt scale = 1;
    for (unsigned decimals = 0; decimals <= 40; ++decimals, scale *= 10) {
        if ((value.num * scale) % value.den != 0)
            continue;
        std::string digits = BigInt(abs(value.num) * scale / abs(value.den)).str();
        if (digits.size() <= decimals)
            digits.insert(0, decimals + 1 - digits.size(), '0');
        if (decimals > 0)
            digits.insert(digits.size() - decimals, 1, '.');
        if (value.num < 0)
            digits.insert(0, 1, '-');
        return digits;
    }
    return formatValue(value);
}

} // namespace korvalux::service
