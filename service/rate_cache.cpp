// Reading the snapshot and the cache at start. Writing the cache and where it
// lives are the system's business: files_posix.cpp, files_windows.cpp.
#include "service/rate_cache.h"

#include "service/rate_acceptance.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

namespace korvalux::service
{

namespace fs = std::filesystem;

namespace
{

// Taken while static objects are built, before any cache write of this process.
// Whole seconds, since some systems keep a file's time to the second (MinGW's
// std::filesystem on Windows does): a file written in the start's second counts
// as written after it, and is left for a later start.
const fs::file_time_type processStart
    = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());

// writeFileAtomically's temporary names: the file's name, a dot, six letters or
// digits (mkstemp's pattern on POSIX).
constexpr std::string_view temporarySuffix = ".XXXXXX";

bool isTemporaryName(std::string_view name)
{
    for (const char *file : {cacheFileName(Feed::Ecb), cacheFileName(Feed::Daily),
             dayBeforeFileName(Feed::Ecb), dayBeforeFileName(Feed::Daily)}) {
        const std::string_view base = file;
        if (name.size() != base.size() + temporarySuffix.size() || !name.starts_with(base)
            || name[base.size()] != '.')
            continue;
        const std::string_view random = name.substr(base.size() + 1);
        if (std::all_of(random.begin(), random.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            }))
            return true;
    }
    return false;
}

} // namespace

const char *cacheFileName(Feed feed)
{
    return feed == Feed::Ecb ? "ecb.xml" : "daily.json";
}

const char *dayBeforeFileName(Feed feed)
{
    return feed == Feed::Ecb ? "ecb.day-before.xml" : "daily.day-before.json";
}

std::optional<std::string> readWholeFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(content).str();
}

std::vector<fs::path> removeStaleTemporaryFiles(const fs::path &cacheDir)
{
    std::vector<fs::path> removed;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(cacheDir, ec)) {
        std::error_code fileError;
        if (!isTemporaryName(entry.path().filename().string()) || !entry.is_regular_file(fileError)
            || entry.last_write_time(fileError) >= processStart || fileError)
            continue;
        if (fs::remove(entry.path(), fileError))
            removed.push_back(entry.path());
    }
    return removed;
}

std::variant<StartDocuments, std::string> loadStartDocuments(
    const fs::path &dataDir, const fs::path &cacheDir, const std::string &today)
{
    StartDocuments result;
    for (const fs::path &path : removeStaleTemporaryFiles(cacheDir))
        result.notes += "korvalux-service: removed " + path.string() + ", left by a cut write\n";
    const std::string day = today.empty() ? utcToday() : today;
    for (Feed feed : {Feed::Ecb, Feed::Daily}) {
        std::vector<fs::path> candidates;
        const std::string prefix = feed == Feed::Ecb ? "eurofxref" : "currency-api";
        const std::string suffix = feed == Feed::Ecb ? ".xml" : ".json";
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(dataDir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(prefix) && name.ends_with(suffix))
                candidates.push_back(entry.path());
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.push_back(cacheDir / dayBeforeFileName(feed));
        candidates.push_back(cacheDir / cacheFileName(feed));

        std::vector<fs::path> read;
        std::vector<StartOffer> offers;
        for (const auto &path : candidates) {
            if (const auto text = readWholeFile(path)) {
                read.push_back(path);
                offers.push_back({parseFeed(feed, *text), path == candidates.back()});
            }
        }
        const auto choice
            = chooseStartDocument(offers, day, feed == Feed::Daily ? &result.ecb : nullptr);
        std::string problems;
        for (std::size_t i = 0; i < read.size(); ++i) {
            if (!choice.refusals[i].empty())
                problems += "\n  refused " + read[i].string() + ": " + choice.refusals[i];
        }
        if (!choice.chosen)
            return std::string("no usable ") + feedName(feed) + " in " + dataDir.string() + " or "
                + cacheDir.string() + problems;
        const std::size_t chosen = *choice.chosen;
        auto &best = std::get<RateDocument>(offers[chosen].parsed);
        result.notes += "korvalux-service: " + std::string(feedName(feed)) + " of " + best.date
            + " from " + read[chosen].string() + problems + "\n";
        (feed == Feed::Ecb ? result.ecb : result.daily) = std::move(best);
        (feed == Feed::Ecb ? result.ecbDayBefore : result.dailyDayBefore) = choice.dayBefore;
    }
    return result;
}

} // namespace korvalux::service
