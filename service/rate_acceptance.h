// Whether a rate document is taken, in one place: for a fetched document (the
// refresh), for the files read at start and on a reload, and for the store's own
// last check before a swap. Pure: no clock, no files; the caller says what today
// is and what is in use. A document is taken when it parses, is dated at most one
// day after today, is not dated before the one in use of its feed, and moves no
// rate the table shows more than tenfold from the rates of the day before: a
// document of the day in use is bounded by the rates in use before that day's
// first document, however many came since. Of several, the newest wins.
#pragma once

#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalux::service
{

// What a candidate is measured against.
struct AcceptanceContext {
    std::string today; // "YYYY-MM-DD", UTC
    const RateDocument *inUse = nullptr; // the same feed's document in use; none at start
    // What a document of inUse's own day is bounded by (dayBeforeAfter); null: inUse.
    const RateDocument *dayBefore = nullptr;
    const RateTable *table = nullptr; // the table in use: which codes it shows
};

// The order of days; also for a store built by hand with no real dates.
bool datedBefore(std::string_view date, std::string_view other);

// Why a fresh document must not replace the one in use: a rate the table uses
// that is more than 10 times, or less than a tenth of, the same feed's rate in
// reference. Empty when there is none; codes reference lacks are not bounded.
std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &reference, const RateTable &table);

// Why candidate must not be taken in context (the words the log shows); empty
// when it may be.
std::string refusal(const RateDocument &candidate, const AcceptanceContext &context);

// What the rest of taken's day is bounded by once taken replaces inUse, whose
// day was bounded by dayBefore: the rates in use before that day's first
// document, and for a code first seen that day, its first rate.
RateDocument dayBeforeAfter(
    const RateDocument &taken, const RateDocument &inUse, const RateDocument &dayBefore);

// The newest acceptable document of those offered in turn; a tie keeps the
// earlier, as the first address is the publisher's main one.
class DocumentChoice
{
public:
    explicit DocumentChoice(AcceptanceContext context);

    struct Verdict {
        bool best = false; // the new best so far
        std::string refusal; // why it was refused; empty when acceptable
    };
    // A parse failure is refused with the parser's reason.
    Verdict offer(ParseResult candidate);

    std::optional<RateDocument> &best() { return m_best; }

private:
    AcceptanceContext m_context;
    std::optional<RateDocument> m_best;
};

// One file read at start or on a reload.
struct StartOffer {
    ParseResult parsed;
    // The cache, which a feed may have walked: it must keep the bound against the
    // rates before its day. The snapshot files and the copy of the day before
    // are taken as they are.
    bool bounded = false;
};

struct StartChoice {
    std::optional<std::size_t> chosen; // the offer taken; none when none is usable
    RateDocument dayBefore; // what the rest of the chosen one's day is bounded by
    std::vector<std::string> refusals; // per offer; empty when not refused
};

// Of one feed's files in the order read, the newest acceptable one, a tie going
// to the later file. A bounded offer is measured against the newest file dated
// before it, else the first of its own day. ecb: the ECB document chosen, which
// with that reference makes the table a daily table is measured by; null for the
// ECB's own files.
StartChoice chooseStartDocument(
    const std::vector<StartOffer> &offers, const std::string &today, const RateDocument *ecb);

} // namespace korvalux::service
