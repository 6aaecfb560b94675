// Reloading on SIGHUP: the newest valid documents of the data folder and the
// cache are read again and installed in the rate store unless dated before the
// ones in use (RateStore::replace), then an optional step follows (a refresh at
// once with --refresh). The work runs on a thread of its own, so the serving
// thread that caught the signal never waits for the disk.
#pragma once

#include "service/rate_store.h"

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace korvalux::service
{

class Reloader
{
public:
    Reloader(RateStore &store, std::filesystem::path dataDir, std::filesystem::path cacheDir,
        std::function<void(const std::string &line)> log, std::function<void()> afterReload = {});
    ~Reloader();
    Reloader(const Reloader &) = delete;
    Reloader &operator=(const Reloader &) = delete;

    // Returns at once; requests made before the reload starts are served by one.
    void request();

    // The reload itself, on the calling thread.
    void reloadNow();

private:
    RateStore &m_store;
    std::filesystem::path m_dataDir;
    std::filesystem::path m_cacheDir;
    std::function<void(const std::string &line)> m_log;
    std::function<void()> m_afterReload;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace korvalux::service
