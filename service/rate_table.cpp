// Building the rate table: the irrevocable euro rates, the pegs and the renamed
// currencies are exact multiples of a base rate, so a conversion between two of
// them (AED to SAR, SIT to EEK) comes out exact whatever the market did.
#include "service/rate_table.h"

#include "catalogue/currency_table.h"

#include <array>

namespace korvalux::service
{

namespace
{

constexpr auto tableCodes = [] {
    std::array<std::string_view, ::catalogue::currencyTable.size()> codes {};
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = ::catalogue::currencyTable[i].code;
    return codes;
}();

struct EuroRate {
    std::string_view code;
    std::string_view perEur;
};

// Fixed when each joined the euro; never rounded.
constexpr EuroRate euroRates[] = {{"SIT", "239.640"}, {"SKK", "30.1260"}, {"EEK", "15.6466"},
    {"LTL", "3.45280"}, {"HRK", "7.53450"}, {"BGN", "1.95583"}};

// code = factor × base.
struct Derived {
    std::string_view code;
    std::string_view base;
    std::string_view factor;
    std::string_view why;
};

constexpr Derived derivedRates[] = {
    {"AED", "USD", "3.6725", "peg 3.6725 per USD"},
    {"SAR", "USD", "3.75", "peg 3.75 per USD"},
    {"QAR", "USD", "3.64", "peg 3.64 per USD"},
    {"OMR", "USD", "0.3845", "peg 0.3845 per USD"},
    {"BHD", "USD", "0.376", "peg 0.376 per USD"},
    {"ANG", "USD", "1.79", "peg 1.79 per USD"},
    {"BND", "SGD", "1", "at par with SGD"},
    {"NPR", "INR", "1.6", "peg 1.6 per INR"},
    {"CSD", "RSD", "1", "RSD since 2006, 1:1"},
    {"VEB", "VES", "100000000000000", "VES x 10^14 (2008, 2018, 2021)"},
};

constexpr std::string_view ecbSource = "ECB reference rate";
constexpr std::string_view dailySource = "daily table (CC0)";

bool isDerived(std::string_view code)
{
    for (const auto &d : derivedRates) {
        if (d.code == code)
            return true;
    }
    return false;
}

bool isEuroRate(std::string_view code)
{
    for (const auto &e : euroRates) {
        if (e.code == code)
            return true;
    }
    return false;
}

} // namespace

RateTable::RateTable(Map rates, std::string ecbDate, std::string dailyDate)
    : m_rates(std::move(rates))
    , m_ecbDate(std::move(ecbDate))
    , m_dailyDate(std::move(dailyDate))
{
}

const Rate *RateTable::find(std::string_view code) const
{
    const auto it = m_rates.find(code);
    return it == m_rates.end() ? nullptr : &it->second;
}

std::optional<Conversion> RateTable::convert(
    const Fraction &amount, std::string_view from, std::string_view to) const
{
    const Rate *fromRate = find(from);
    const Rate *toRate = find(to);
    if (!fromRate || !toRate)
        return std::nullopt;
    Conversion result;
    if (from == to) {
        result.value = amount;
        return result;
    }
    result.value = amount * toRate->perEur / fromRate->perEur;
    if (fromRate->date && toRate->date)
        result.date = std::min(*fromRate->date, *toRate->date);
    else if (fromRate->date)
        result.date = fromRate->date;
    else
        result.date = toRate->date;
    return result;
}

std::span<const std::string_view> catalogueCodes()
{
    return tableCodes;
}

RateTable buildRateTable(const RateDocument &ecb, const RateDocument &daily)
{
    RateTable::Map rates;
    rates.emplace("EUR", Rate {fractionFromInt(1), "the euro", std::nullopt});
    for (const auto &e : euroRates)
        rates.emplace(std::string(e.code),
            Rate {*parseDecimal(e.perEur), "euro conversion rate", std::nullopt});

    auto market = [&](const std::string &code) {
        if (rates.count(code) || isDerived(code) || isEuroRate(code))
            return;
        if (auto it = ecb.perEur.find(code); it != ecb.perEur.end())
            rates.emplace(code, Rate {it->second, std::string(ecbSource), ecb.date});
        else if (auto jt = daily.perEur.find(code); jt != daily.perEur.end())
            rates.emplace(code, Rate {jt->second, std::string(dailySource), daily.date});
    };
    for (const auto &[code, rate] : ecb.perEur)
        market(code);
    for (std::string_view code : tableCodes)
        market(std::string(code));
    for (const auto &d : derivedRates)
        market(std::string(d.base));

    for (const auto &d : derivedRates) {
        const auto base = rates.find(d.base);
        if (base == rates.end())
            continue;
        Rate rate;
        rate.perEur = *parseDecimal(d.factor) * base->second.perEur;
        rate.source = std::string(d.why) + " (" + base->second.source + ")";
        rate.date = base->second.date;
        rates.emplace(std::string(d.code), std::move(rate));
    }
    return RateTable(std::move(rates), ecb.date, daily.date);
}

std::string missingCatalogueCodes(const RateTable &table)
{
    std::string missing;
    for (std::string_view code : tableCodes) {
        if (!table.find(code)) {
            if (!missing.empty())
                missing += ' ';
            missing += code;
        }
    }
    return missing;
}

} // namespace korvalux::service
