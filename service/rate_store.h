// Where the service keeps its rates while it runs: the two current documents and
// the table built from them, swapped as a whole under a lock so that a request
// always sees one consistent table. Also the start-up choice among the shipped
// snapshot and the cached documents, and the cache's atomic file writes.
#pragma once

#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace korvalux::service
{

enum class Feed { Ecb, Daily };

const char *feedName(Feed feed); // "ECB rates", "daily table"
const char *cacheFileName(Feed feed); // "ecb.xml", "daily.json"
ParseResult parseFeed(Feed feed, std::string_view text);

class RateStore
{
public:
    RateStore(RateDocument ecb, RateDocument daily);

    std::shared_ptr<const RateTable> table() const;
    std::string date(Feed feed) const;

    // Installs new documents (either may be absent) and the table built from them.
    void replace(std::optional<RateDocument> ecb, std::optional<RateDocument> daily);

private:
    std::mutex m_replaceMutex; // one rebuild at a time
    mutable std::mutex m_mutex;
    RateDocument m_ecb;
    RateDocument m_daily;
    std::shared_ptr<const RateTable> m_table;
};

struct StartDocuments {
    RateDocument ecb;
    RateDocument daily;
    std::string notes; // which files were used, one line each
};

// For each feed the newest valid document among the snapshot files in dataDir
// (eurofxref*.xml, currency-api*.json) and the cache files in cacheDir; the reason
// when a feed has none.
std::variant<StartDocuments, std::string> loadStartDocuments(
    const std::filesystem::path &dataDir, const std::filesystem::path &cacheDir);

// $XDG_CACHE_HOME/korvalux-service, or ~/.cache/korvalux-service.
std::filesystem::path defaultCacheDir();

// Writes through a temporary file in the same folder, fsync and rename, so readers
// see the old file or the new one, never a torn one. Empty string on success.
std::string writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

std::optional<std::string> readWholeFile(const std::filesystem::path &path);

} // namespace korvalux::service
