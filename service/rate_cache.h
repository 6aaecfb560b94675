// The service's files: the shipped snapshot and the cache of the last good
// fetched documents, with a copy of the one in use before the cached one's day
// began. At start the newest document that passes the same checks as a fetched
// one is chosen per feed, the cache kept to the bound from the day before; the
// cache is written atomically, and the temporary files a killed write leaves
// behind are removed.
#pragma once

#include "service/rate_feeds.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvalux::service
{

const char *cacheFileName(Feed feed); // "ecb.xml", "daily.json"
// The document in use before the cached one's day: "ecb.day-before.xml", ...
const char *dayBeforeFileName(Feed feed);

struct StartDocuments {
    RateDocument ecb;
    RateDocument daily;
    RateDocument ecbDayBefore; // what the rest of each one's day is bounded by
    RateDocument dailyDayBefore;
    std::string notes; // which files were used, refused or removed, one line each
};

// For each feed the newest valid document among the snapshot files in dataDir
// (eurofxref*.xml, currency-api*.json) and the cache files in cacheDir; the reason
// when a feed has none. Documents dated after today (UTC when empty) plus one day
// are refused like broken ones, and so is a cached one that moves a rate more than
// tenfold from the newest file of an earlier day (chooseStartDocument). Stale
// temporary cache files are removed first.
std::variant<StartDocuments, std::string> loadStartDocuments(const std::filesystem::path &dataDir,
    const std::filesystem::path &cacheDir, const std::string &today = {});

// $XDG_CACHE_HOME/korvalux-service, or ~/.cache/korvalux-service; on Windows
// %LOCALAPPDATA%\Korvalux\cache.
std::filesystem::path defaultCacheDir();

// Writes through a temporary file in the same folder, fsync and rename, so readers
// see the old file or the new one, never a torn one. Empty string on success.
std::string writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

std::optional<std::string> readWholeFile(const std::filesystem::path &path);

// Removes the temporary files writeFileAtomically leaves when killed mid-write
// ("ecb.xml.XXXXXX", "daily.day-before.json.XXXXXX", ...) that were last written before this
// process started, so a write in progress is never pulled away. Returns the
// removed paths.
std::vector<std::filesystem::path> removeStaleTemporaryFiles(const std::filesystem::path &cacheDir);

} // namespace korvalux::service
