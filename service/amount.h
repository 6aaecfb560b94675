// The amount of a conversion request: the text the desktop window sent (already
// percent-decoded) read as an exact decimal under one written-down rule, or the
// reason it is not an amount.
#pragma once

#include "service/decimal.h"

#include <string>
#include <string_view>
#include <variant>

namespace korvalux::service
{

struct Amount {
    Fraction value;
    std::string text; // the amount as the answer echoes it: "1000.50", "-1.5"
};

enum class AmountError { Empty, NotANumber, TooLong, TooLarge };

using AmountResult = std::variant<Amount, AmountError>;

inline constexpr std::size_t maxAmountLength = 40;

// Blanks around the amount are ignored. Accepted: an optional "+" or "-", then
// digits with an optional decimal part ("1000", "1000.5", ".5", "5."), digits in
// groups of three after a first group of 1-3 digits not starting with 0
// ("1,000,000.50"), or one decimal comma ("1,5", "0,500", "1234,5"). A comma
// followed by exactly three digits after such a first group is a thousands
// separator ("1,500" is 1500). Magnitudes up to 10^15.
AmountResult parseAmount(std::string_view text);

} // namespace korvalux::service
