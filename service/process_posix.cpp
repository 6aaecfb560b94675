// korvalux-service as a Linux process: the snapshot installed under the data
// folder (or the source tree's while not installed), the socket systemd hands
// over, SIGINT and SIGTERM to stop, SIGHUP to reload, and sd_notify's states.
#include "service/process_host.h"

#include "service/activation.h"
#include "service/curl_fetcher.h"
#include "service/hang_up.h"
#include "service/posix_host.h"

#include <optional>

#ifndef KORVALUX_SERVICE_DATA_DIR
#define KORVALUX_SERVICE_DATA_DIR "/usr/local/share/korvalux-service"
#endif

namespace korvalux::service
{

namespace
{

class LinuxProcess final : public ProcessHost
{
public:
    std::string takeOver() override
    {
        const HandedSocket handed = takeHandedSocket();
        m_handed = handed.fd >= 0;
        m_host.emplace(handed.fd, m_hangUps);
        return handed.error;
    }
    std::string listeningNote(bool listenGiven) const override
    {
        if (!m_handed)
            return {};
        return listenGiven ? " (socket from systemd; --listen ignored)" : " (socket from systemd)";
    }
    void ready() override { notifyServiceManager("READY=1"); }
    void stopping() override { notifyServiceManager("STOPPING=1"); }

    std::optional<std::string> adoptListener(
        boost::asio::ip::tcp::acceptor &acceptor, boost::system::error_code &ec) override
    {
        return m_host->adoptListener(acceptor, ec);
    }
    bool callsFromOtherThreads() const override
    {
        return !m_host || m_host->callsFromOtherThreads();
    }
    void watch(ServerControl &control) override { m_host->watch(control); }
    void leave(bool idle) override { m_host->leave(idle); }
    void forget() override { m_host->forget(); }

private:
    // SIGHUP's default ends the process: caught before anything else, for good. A
    // reload asked while the rates load is made once serving starts.
    int m_hangUps = catchHangUps();
    bool m_handed = false;
    std::optional<PosixHost> m_host;
};

} // namespace

std::unique_ptr<ProcessHost> makeProcessHost()
{
    return std::make_unique<LinuxProcess>();
}

std::unique_ptr<Fetcher> makeFeedFetcher()
{
    return std::make_unique<CurlFetcher>();
}

std::filesystem::path defaultDataDir()
{
    std::filesystem::path dir = KORVALUX_SERVICE_DATA_DIR;
#ifdef KORVALUX_SERVICE_SOURCE_DATA_DIR
    // Not installed yet: run from the build tree with the snapshot in the sources.
    if (std::error_code ec; !std::filesystem::is_directory(dir, ec))
        dir = KORVALUX_SERVICE_SOURCE_DATA_DIR;
#endif
    return dir;
}

UsageDefaults usageDefaults()
{
    UsageDefaults usage;
    usage.dataDir = std::string(KORVALUX_SERVICE_DATA_DIR)
        + ",\n                         or the source tree's service/data when not installed";
    usage.cacheDir = "$XDG_CACHE_HOME/korvalux-service";
    usage.notes = "A listening socket systemd hands over replaces --listen. SIGINT and SIGTERM\n"
                  "stop the service; SIGHUP reads the rate documents again at once (and, with\n"
                  "--refresh, asks the feeds when the last round failed or is a minute old).\n";
    return usage;
}

} // namespace korvalux::service
