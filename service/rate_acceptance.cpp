// The acceptance rules; day arithmetic on std::chrono::sys_days.
#include "service/rate_acceptance.h"

namespace korvalux::service
{

namespace
{

// A publisher's day may begin before ours.
constexpr std::chrono::days clockSlack {1};

std::string futureDated(const std::string &date, const std::string &today)
{
    const auto day = parseIsoDate(date);
    const auto now = parseIsoDate(today);
    const bool future = day && now
        ? std::chrono::sys_days {*day} > std::chrono::sys_days {*now} + clockSlack
        : date > today;
    if (future)
        return "dated " + date + ", in the future (today is " + today + ")";
    return {};
}

} // namespace

bool datedBefore(std::string_view date, std::string_view other)
{
    const auto first = parseIsoDate(date);
    const auto second = parseIsoDate(other);
    if (first && second)
        return *first < *second;
    return date < other;
}

std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &inUse, const RateTable &table)
{
    for (const auto &[code, rate] : fresh.perEur) {
        const auto old = inUse.perEur.find(code);
        // Codes the table never shows (tokens, other currencies) may swing as they like.
        if (old == inUse.perEur.end() || !table.find(code))
            continue;
        // Both positive with positive denominators: compare cross products exactly.
        const BigInt now = rate.num * old->second.den;
        const BigInt before = old->second.num * rate.den;
        if (now > 10 * before || 10 * now < before)
            return "rate of " + code + " moved more than tenfold, from " + formatValue(old->second)
                + " to " + formatValue(rate) + " per EUR";
    }
    return {};
}

std::string refusal(const RateDocument &candidate, const AcceptanceContext &context)
{
    if (auto why = futureDated(candidate.date, context.today); !why.empty())
        return why;
    if (!context.inUse)
        return {};
    if (datedBefore(candidate.date, context.inUse->date))
        return "dated " + candidate.date + ", older than the " + context.inUse->date + " in use";
    if (context.table)
        return implausibleRate(candidate, *context.inUse, *context.table);
    return {};
}

DocumentChoice::DocumentChoice(AcceptanceContext context, OnTie onTie)
    : m_context(std::move(context))
    , m_onTie(onTie)
{
}

DocumentChoice::Verdict DocumentChoice::offer(ParseResult candidate)
{
    if (auto *why = std::get_if<std::string>(&candidate))
        return {false, std::move(*why)};
    auto &document = std::get<RateDocument>(candidate);
    if (auto why = refusal(document, m_context); !why.empty())
        return {false, std::move(why)};
    const bool newer = !m_best || datedBefore(m_best->date, document.date)
        || (m_onTie == OnTie::TakeLater && !datedBefore(document.date, m_best->date));
    if (newer)
        m_best = std::move(document);
    return {newer, {}};
}

} // namespace korvalux::service
