// The acceptance rules; day arithmetic on std::chrono::sys_days.
#include "service/rate_acceptance.h"

#include <algorithm>

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
    const RateDocument &fresh, const RateDocument &reference, const RateTable &table)
{
    for (const auto &[code, rate] : fresh.perEur) {
        const auto old = reference.perEur.find(code);
        // Codes the table never shows (tokens, other currencies) may swing as they like.
        if (old == reference.perEur.end() || !table.find(code))
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
    if (!context.table)
        return {};
    // A later day moves from the last rates of the day before; the same day from
    // where that day began, so that no number of documents adds up.
    const bool sameDay = !datedBefore(context.inUse->date, candidate.date);
    if (!sameDay || !context.dayBefore)
        return implausibleRate(candidate, *context.inUse, *context.table);
    if (auto why = implausibleRate(candidate, *context.dayBefore, *context.table); !why.empty())
        return why + ", the rates before " + candidate.date + "'s first document";
    return {};
}

RateDocument dayBeforeAfter(
    const RateDocument &taken, const RateDocument &inUse, const RateDocument &dayBefore)
{
    RateDocument reference = datedBefore(inUse.date, taken.date) ? inUse : dayBefore;
    for (const auto &[code, rate] : taken.perEur)
        reference.perEur.try_emplace(code, rate);
    return reference;
}

DocumentChoice::DocumentChoice(AcceptanceContext context)
    : m_context(std::move(context))
{
}

DocumentChoice::Verdict DocumentChoice::offer(ParseResult candidate)
{
    if (auto *why = std::get_if<std::string>(&candidate))
        return {false, std::move(*why)};
    auto &document = std::get<RateDocument>(candidate);
    if (auto why = refusal(document, m_context); !why.empty())
        return {false, std::move(why)};
    const bool newer = !m_best || datedBefore(m_best->date, document.date);
    if (newer)
        m_best = std::move(document);
    return {newer, {}};
}

StartChoice chooseStartDocument(
    const std::vector<StartOffer> &offers, const std::string &today, const RateDocument *ecb)
{
    StartChoice choice;
    choice.refusals.resize(offers.size());
    std::vector<const RateDocument *> usable(offers.size(), nullptr);
    for (std::size_t i = 0; i < offers.size(); ++i) {
        if (const auto *why = std::get_if<std::string>(&offers[i].parsed)) {
            choice.refusals[i] = *why;
        } else {
            const auto &document = std::get<RateDocument>(offers[i].parsed);
            choice.refusals[i] = futureDated(document.date, today);
            if (choice.refusals[i].empty())
                usable[i] = &document;
        }
    }
    // The newest first, of one day the later file first.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < offers.size(); ++i)
        if (usable[i])
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (datedBefore(usable[b]->date, usable[a]->date))
            return true;
        return !datedBefore(usable[a]->date, usable[b]->date) && a > b;
    });
    const auto sameDay = [](const RateDocument &a, const RateDocument &b) {
        return !datedBefore(a.date, b.date) && !datedBefore(b.date, a.date);
    };
    for (const std::size_t i : order) {
        const RateDocument &candidate = *usable[i];
        // The newest file of an earlier day (order has it first); else the first of its own.
        const RateDocument *reference = nullptr;
        for (const std::size_t j : order) {
            if (datedBefore(usable[j]->date, candidate.date)) {
                reference = usable[j];
                break;
            }
        }
        for (std::size_t j = 0; !reference; ++j) {
            if (usable[j] && sameDay(*usable[j], candidate))
                reference = usable[j];
        }
        if (offers[i].bounded && reference != &candidate) {
            const RateTable table = ecb ? buildRateTable(*ecb, *reference)
                                        : buildRateTable(*reference, RateDocument {});
            if (auto why = implausibleRate(candidate, *reference, table); !why.empty()) {
                choice.refusals[i]
                    = why + " (measured against the file of " + reference->date + ")";
                continue;
            }
        }
        choice.chosen = i;
        choice.dayBefore = dayBeforeAfter(candidate, *reference, *reference);
        break;
    }
    return choice;
}

} // namespace korvalux::service
