// Whether a rate document is taken, in one place: for a fetched document (the
// refresh), for the files read at start and on a reload, and for the store's own
// last check before a swap. Pure: no clock, no files; the caller says what today
// is and what is in use. A document is taken when it parses, is dated at most one
// day after today, is not dated before the one in use of its feed, and moves no
// rate the table shows more than tenfold; of several, the newest wins.
#pragma once

#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvalux::service
{

// What a candidate is measured against.
struct AcceptanceContext {
    std::string today; // "YYYY-MM-DD", UTC
    const RateDocument *inUse = nullptr; // the same feed's document in use; none at start
    const RateTable *table = nullptr; // the table in use: which codes it shows
};

// The order of days; also for a store built by hand with no real dates.
bool datedBefore(std::string_view date, std::string_view other);

// Why a fresh document must not replace the one in use: a rate the table uses
// that is more than 10 times, or less than a tenth of, the same feed's rate in
// use. Empty when there is none; codes the one in use lacks are not bounded.
std::string implausibleRate(
    const RateDocument &fresh, const RateDocument &inUse, const RateTable &table);

// Why candidate must not be taken in context (the words the log shows); empty
// when it may be.
std::string refusal(const RateDocument &candidate, const AcceptanceContext &context);

// Which of two acceptable documents of the same day wins.
enum class OnTie {
    KeepEarlier, // the refresh: the first address is the publisher's main one
    TakeLater, // the start: the cache, read last, is what the service fetched itself
};

// The newest acceptable document of those offered in turn.
class DocumentChoice
{
public:
    DocumentChoice(AcceptanceContext context, OnTie onTie);

    struct Verdict {
        bool best = false; // the new best so far
        std::string refusal; // why it was refused; empty when acceptable
    };
    // A parse failure is refused with the parser's reason.
    Verdict offer(ParseResult candidate);

    std::optional<RateDocument> &best() { return m_best; }

private:
    AcceptanceContext m_context;
    OnTie m_onTie;
    std::optional<RateDocument> m_best;
};

} // namespace korvalux::service
