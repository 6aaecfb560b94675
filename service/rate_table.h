// The table the converter answers from: one per-EUR rate for every currency the
// service knows, each with its source and, for market rates, the date it was
// published. Built in one go from the fixed rates and the two rate documents, in
// that order of trust, and never changed afterwards (a refresh builds a new one).
#pragma once

#include "service/decimal.h"
#include "service/rate_feeds.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvalux::service
{

struct Rate {
    Fraction perEur;
    std::string source; // shown on the home page
    std::optional<std::string> date; // empty for a rate fixed by law or peg alone
};

struct Conversion {
    Fraction value;
    std::optional<std::string> date; // the oldest market date used; empty: fixed rates only
};

class RateTable
{
public:
    RateTable() = default;
    using Map = std::map<std::string, Rate, std::less<>>;

    RateTable(Map rates, std::string ecbDate, std::string dailyDate);

    const Rate *find(std::string_view code) const;
    const Map &rates() const { return m_rates; }

    // amount × to / from, through EUR; nullopt when either code is unknown.
    std::optional<Conversion> convert(
        const Fraction &amount, std::string_view from, std::string_view to) const;

    const std::string &ecbDate() const { return m_ecbDate; }
    const std::string &dailyDate() const { return m_dailyDate; }
    std::string newestDate() const { return std::max(m_ecbDate, m_dailyDate); }

private:
    Map m_rates;
    std::string m_ecbDate;
    std::string m_dailyDate;
};

// The codes of the desktop program's currency list, which must all convert.
std::span<const std::string_view> catalogueCodes();

// Fixed rates first, then the ECB, then the daily table; the catalogue's codes,
// the bases of the pegs and every ECB currency. A code no source supplies is left
// out (and answers "No rate for ...").
RateTable buildRateTable(const RateDocument &ecb, const RateDocument &daily);

// The catalogue codes missing from a table, to warn about at start-up.
std::string missingCatalogueCodes(const RateTable &table);

} // namespace korvalux::service
