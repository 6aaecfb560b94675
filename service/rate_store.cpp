// The running rate store, the start-up document choice and the cache files.
#include "service/rate_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvalux::service
{

namespace fs = std::filesystem;

const char *feedName(Feed feed)
{
    return feed == Feed::Ecb ? "ECB rates" : "daily table";
}

const char *cacheFileName(Feed feed)
{
    return feed == Feed::Ecb ? "ecb.xml" : "daily.json";
}

ParseResult parseFeed(Feed feed, std::string_view text)
{
    return feed == Feed::Ecb ? parseEcbDocument(text) : parseDailyTableDocument(text);
}

RateStore::RateStore(RateDocument ecb, RateDocument daily)
    : m_ecb(std::move(ecb))
    , m_daily(std::move(daily))
    , m_table(std::make_shared<const RateTable>(buildRateTable(m_ecb, m_daily)))
{
}

std::shared_ptr<const RateTable> RateStore::table() const
{
    std::lock_guard lock(m_mutex);
    return m_table;
}

std::string RateStore::date(Feed feed) const
{
    std::lock_guard lock(m_mutex);
    return feed == Feed::Ecb ? m_ecb.date : m_daily.date;
}

void RateStore::replace(std::optional<RateDocument> ecb, std::optional<RateDocument> daily)
{
    if (!ecb && !daily)
        return;
    std::lock_guard serial(m_replaceMutex);
    std::unique_lock lock(m_mutex);
    RateDocument newEcb = ecb ? std::move(*ecb) : m_ecb;
    RateDocument newDaily = daily ? std::move(*daily) : m_daily;
    lock.unlock();
    // Built outside the lock; requests keep the old table meanwhile.
    auto table = std::make_shared<const RateTable>(buildRateTable(newEcb, newDaily));
    lock.lock();
    m_ecb = std::move(newEcb);
    m_daily = std::move(newDaily);
    m_table = std::move(table);
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

std::string writeFileAtomically(const fs::path &path, std::string_view bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec)
        return "cannot create " + path.parent_path().string() + ": " + ec.message();
    std::string tmp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return "cannot create a file in " + path.parent_path().string() + ": "
            + std::strerror(errno);
    auto fail = [&](const char *what) {
        const std::string why = std::string(what) + " " + tmp + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(tmp.c_str());
        return why;
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail("cannot write");
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)
        return fail("cannot flush");
    if (::close(fd) != 0) {
        const std::string why = "cannot close " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return why;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = "cannot rename " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return why;
    }
    // The rename itself must reach the disk too.
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

fs::path defaultCacheDir()
{
    if (const char *xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        return fs::path(xdg) / "korvalux-service";
    if (const char *home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".cache" / "korvalux-service";
    return fs::temp_directory_path() / "korvalux-service-cache";
}

std::variant<StartDocuments, std::string> loadStartDocuments(
    const fs::path &dataDir, const fs::path &cacheDir)
{
    StartDocuments result;
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
        candidates.push_back(cacheDir / cacheFileName(feed));

        std::optional<RateDocument> best;
        fs::path bestPath;
        std::string problems;
        for (const auto &path : candidates) {
            const auto text = readWholeFile(path);
            if (!text)
                continue;
            auto parsed = parseFeed(feed, *text);
            if (auto *why = std::get_if<std::string>(&parsed)) {
                problems += "\n  " + path.string() + ": " + *why;
                continue;
            }
            auto &doc = std::get<RateDocument>(parsed);
            if (!best || doc.date >= best->date) {
                best = std::move(doc);
                bestPath = path;
            }
        }
        if (!best)
            return std::string("no usable ") + feedName(feed) + " in " + dataDir.string() + " or "
                + cacheDir.string() + problems;
        result.notes += "korvalux-service: " + std::string(feedName(feed)) + " of " + best->date
            + " from " + bestPath.string() + problems + "\n";
        (feed == Feed::Ecb ? result.ecb : result.daily) = std::move(*best);
    }
    return result;
}

} // namespace korvalux::service
