// Where the service keeps its rates while it runs: the two current documents and
// the table built from them, swapped as a whole under a lock so that a request
// always sees one consistent table. Rates never go back in time: a document
// dated before the one in use of its feed is not installed, whoever offers it.
// Beside each document in use it keeps what the rest of that day is bounded by
// (rate_acceptance.h's dayBeforeAfter), moved on as documents are installed.
#pragma once

#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace korvalux::service
{

class RateStore
{
public:
    // Each day bounded by its own document: nothing earlier is known.
    RateStore(RateDocument ecb, RateDocument daily);
    RateStore(RateDocument ecb, RateDocument daily, RateDocument ecbDayBefore,
        RateDocument dailyDayBefore);

    std::shared_ptr<const RateTable> table() const;
    std::string date(Feed feed) const;
    RateDocument document(Feed feed) const; // a copy of the one in use
    RateDocument dayBefore(Feed feed) const; // a copy of what its day is bounded by

    struct Installed {
        bool ecb = false;
        bool daily = false;
    };

    // Installs new documents (either may be absent) and the table built from them,
    // leaving out one dated before the document in use; one of the same day is taken.
    Installed replace(std::optional<RateDocument> ecb, std::optional<RateDocument> daily);

private:
    std::mutex m_replaceMutex; // one rebuild at a time
    mutable std::mutex m_mutex;
    RateDocument m_ecb;
    RateDocument m_daily;
    RateDocument m_ecbDayBefore;
    RateDocument m_dailyDayBefore;
    std::shared_ptr<const RateTable> m_table;
};

} // namespace korvalux::service
