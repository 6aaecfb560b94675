// What main needs from the system around the service beyond the transport:
// where the snapshot lies by default, the usage text's system lines, and a
// ServerHost that knows how this system asks the service to stop (and, on
// Linux, to reload, and hands it a socket) and what a service manager hears.
// process_posix.cpp is Linux's (systemd, signals), process_windows.cpp Windows'
// (console control events).
#pragma once

#include "service/fetcher.h"
#include "service/options.h"
#include "service/server_host.h"

#include <filesystem>
#include <memory>
#include <string>

namespace korvalux::service
{

class ProcessHost : public ServerHost
{
public:
    // Takes what the system handed over (systemd's socket); the reason when that
    // cannot be used.
    virtual std::string takeOver() { return {}; }
    // Said after "listening on ADDR:PORT", e.g. where the socket came from.
    virtual std::string listeningNote(bool /*listenGiven*/) const { return {}; }
    virtual void ready() { } // serving
    virtual void stopping() { } // serving is over, the rest is being put away
    virtual void finished() { } // main returns next
};

// Made first thing in main: Linux's catches SIGHUP at once, for good.
std::unique_ptr<ProcessHost> makeProcessHost();

// libcurl on Linux, WinINet on Windows.
std::unique_ptr<Fetcher> makeFeedFetcher();

// The shipped snapshot's folder when no --data-dir is given.
std::filesystem::path defaultDataDir();

UsageDefaults usageDefaults();

} // namespace korvalux::service
