// Where the service keeps its rates while it runs: the two current documents and
// the table built from them, swapped as a whole under a lock so that a request
// always sees one consistent table. Rates never go back in time: a document
// dated before the one in use of its feed is not installed, whoever offers it.
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
    RateStore(RateDocument ecb, RateDocument daily);

    std::shared_ptr<const RateTable> table() const;
    std::string date(Feed feed) const;
    RateDocument document(Feed feed) const; // a copy of the one in use

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
    std::shared_ptr<const RateTable> m_table;
};

} // namespace korvalux::service
