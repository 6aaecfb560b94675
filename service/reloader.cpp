// The reload thread: sleeps until asked, reads the documents, swaps them in.
#include "service/reloader.h"

#include "service/rate_cache.h"

namespace korvalux::service
{

Reloader::Reloader(RateStore &store, std::filesystem::path dataDir, std::filesystem::path cacheDir,
    std::function<void(const std::string &line)> log, std::function<void()> afterReload)
    : m_store(store)
    , m_dataDir(std::move(dataDir))
    , m_cacheDir(std::move(cacheDir))
    , m_log(std::move(log))
    , m_afterReload(std::move(afterReload))
{
    m_thread = std::thread([this] {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_pending || m_stopping; });
            if (m_stopping)
                return;
            m_pending = false;
            lock.unlock();
            reloadNow();
            lock.lock();
        }
    });
}

Reloader::~Reloader()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Reloader::request()
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = true;
    }
    m_wake.notify_all();
}

void Reloader::reloadNow()
{
    auto loaded = loadStartDocuments(m_dataDir, m_cacheDir);
    if (auto *documents = std::get_if<StartDocuments>(&loaded)) {
        const std::string read[2] = {documents->ecb.date, documents->daily.date};
        const auto installed
            = m_store.replace(std::move(documents->ecb), std::move(documents->daily));
        std::string line = "korvalux-service: reloaded:";
        for (Feed feed : {Feed::Ecb, Feed::Daily}) {
            line += std::string(feed == Feed::Ecb ? " " : ", ") + feedName(feed) + " of "
                + m_store.date(feed);
            // The same rule as a refresh: what is read may not take the rates back.
            if (!(feed == Feed::Ecb ? installed.ecb : installed.daily))
                line += " kept, the " + read[static_cast<int>(feed)] + " read is older";
        }
        m_log(line);
    } else {
        // One line: the reasons per file follow on lines of their own otherwise.
        std::string why = std::get<std::string>(loaded);
        for (char &c : why)
            if (c == '\n')
                c = ';';
        m_log("korvalux-service: reload failed, keeping the rates in use: " + why);
    }
    if (m_afterReload)
        m_afterReload();
}

} // namespace korvalux::service
