// Exact decimal arithmetic for the converter: rates and amounts are kept as
// fractions of arbitrary-precision integers, built from their decimal text, and
// rounded only once, when a value is written out. No binary floating point
// touches a printed digit.
#pragma once

#include <boost/multiprecision/cpp_int.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace korvalux::service
{

using BigInt = boost::multiprecision::cpp_int;

// num / den with den > 0, not necessarily in lowest terms.
struct Fraction {
    BigInt num {0};
    BigInt den {1};

    bool isZero() const { return num == 0; }
    bool isPositive() const { return num > 0; }
};

Fraction operator*(const Fraction &a, const Fraction &b);
Fraction operator/(const Fraction &a, const Fraction &b); // b must not be zero
bool operator==(const Fraction &a, const Fraction &b);

Fraction fractionFromInt(long long value);

// A plain decimal number as feeds write it: optional sign, digits with an optional
// "." part, an optional exponent ("1.8e-05"). nullopt for anything else, or for
// exponents beyond +-64, which no rate needs.
std::optional<Fraction> parseDecimal(std::string_view text);

// The value rounded, ties to even, to four decimals or, when that would keep fewer
// than four significant digits, to as many decimals as four significant digits
// need. "." as the point, no grouping, no "-" on zero.
std::string formatValue(const Fraction &value);

// All the digits of a value whose decimal expansion ends within 40 places
// ("4.19215875"); formatValue's rounding otherwise.
std::string formatExact(const Fraction &value);

} // namespace korvalux::service
