// korvalux-service: reads its options, loads the newest rates from the shipped
// snapshot and the cache, optionally keeps them fresh (--refresh) and serves the
// converter page until SIGTERM or SIGINT, or until idle for --exit-idle-time.
// Takes its listening socket from systemd when one is handed over; SIGHUP reads
// the rate documents again.
#include "service/activation.h"
#include "service/curl_fetcher.h"
#include "service/hang_up.h"
#include "service/options.h"
#include "service/posix_host.h"
#include "service/rate_cache.h"
#include "service/rate_keeper.h"
#include "service/rate_store.h"
#include "service/server.h"

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#ifndef KORVALUX_SERVICE_DATA_DIR
#define KORVALUX_SERVICE_DATA_DIR "/usr/local/share/korvalux-service"
#endif

using namespace korvalux::service;

int main(int argc, char **argv)
{
    // A first answer's wait for fresh rates is bounded from here: a window that
    // started the service counts its budget from about the same moment.
    const auto began = std::chrono::steady_clock::now();
    // SIGHUP's default ends the process: caught before anything else, for good. A
    // reload asked while the rates load is made once serving starts.
    const int hangUps = catchHangUps();
    ServiceOptions defaults;
    defaults.dataDir = KORVALUX_SERVICE_DATA_DIR;
#ifdef KORVALUX_SERVICE_SOURCE_DATA_DIR
    // Not installed yet: run from the build tree with the snapshot in the sources.
    if (std::error_code ec; !std::filesystem::is_directory(defaults.dataDir, ec))
        defaults.dataDir = KORVALUX_SERVICE_SOURCE_DATA_DIR;
#endif
    auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc), defaults);
    if (parsed.outcome == ParsedOptions::Outcome::Help) {
        std::cout << usageText(KORVALUX_SERVICE_DATA_DIR);
        return 0;
    }
    if (parsed.outcome == ParsedOptions::Outcome::Bad) {
        std::cerr << "korvalux-service: " << parsed.error << "\n"
                  << usageText(KORVALUX_SERVICE_DATA_DIR);
        return 2;
    }
    ServiceOptions &options = parsed.options;
    if (options.cacheDir.empty())
        options.cacheDir = defaultCacheDir();

    const HandedSocket handed = takeHandedSocket();
    if (!handed.error.empty()) {
        std::cerr << "korvalux-service: " << handed.error << "\n";
        return 1;
    }
    PosixHost host(handed.fd, hangUps);

    auto loaded = loadStartDocuments(options.dataDir, options.cacheDir);
    if (auto *why = std::get_if<std::string>(&loaded)) {
        std::cerr << "korvalux-service: " << *why << "\n";
        return 1;
    }
    auto &documents = std::get<StartDocuments>(loaded);
    std::cerr << documents.notes;
    RateStore store(std::move(documents.ecb), std::move(documents.daily));
    if (const auto missing = missingCatalogueCodes(*store.table()); !missing.empty())
        std::cerr << "korvalux-service: no rate for " << missing << "\n";

    CurlFetcher fetcher;
    KeeperOptions keeping;
    keeping.refresh = options.refresh;
    keeping.dataDir = options.dataDir;
    keeping.cacheDir = options.cacheDir;
    if (options.ecbUrl)
        keeping.ecbUrl = *options.ecbUrl;
    if (!options.dailyUrls.empty()) // given addresses replace the defaults
        keeping.dailyUrls = options.dailyUrls;
    keeping.firstRoundWait = options.refreshWait;
    keeping.waitFrom = began;
    const auto log = [](const std::string &line) { std::cerr << line + "\n" << std::flush; };
    RateKeeper keeper(store, keeping, log, fetcher);
    if (options.refresh)
        options.server.freshRates = &keeper;

    const int code = runServer(
        store, options.server, host,
        [&](const std::string &where) {
            std::string line = "korvalux-service: listening on " + where;
            if (handed.fd >= 0)
                line += options.listenGiven ? " (socket from systemd; --listen ignored)"
                                            : " (socket from systemd)";
            log(line);
            // The keeper runs on its own thread; only stale rates make converter
            // answers wait for its first refresh, and then briefly.
            keeper.start();
            notifyServiceManager("READY=1");
        },
        [&] { keeper.requestReload(); });
    notifyServiceManager("STOPPING=1");

    keeper.stop();
    if (code == 0)
        std::cerr << "korvalux-service: stopped\n";
    return code;
}
