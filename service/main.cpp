// korvalux-service: reads its options, loads the newest rates from the shipped
// snapshot and the cache, optionally keeps them fresh (--refresh) and serves the
// converter page until the system asks it to stop (SIGTERM or SIGINT; on Windows
// Ctrl+C, Ctrl+Break or the console closing), or until idle for
// --exit-idle-time. What else differs by system is in process_host.h: on Linux
// the socket systemd hands over and SIGHUP, which reads the rate documents again.
#include "service/options.h"
#include "service/process_host.h"
#include "service/rate_cache.h"
#include "service/rate_keeper.h"
#include "service/rate_store.h"
#include "service/server.h"

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

using namespace korvalux::service;

int main(int argc, char **argv)
{
    // A first answer's wait for fresh rates is bounded from here: a window that
    // started the service counts its budget from about the same moment.
    const auto began = std::chrono::steady_clock::now();
    const std::unique_ptr<ProcessHost> host = makeProcessHost();
    ServiceOptions defaults;
    defaults.dataDir = defaultDataDir();
    auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc), defaults);
    if (parsed.outcome == ParsedOptions::Outcome::Help) {
        std::cout << usageText(usageDefaults());
        return 0;
    }
    if (parsed.outcome == ParsedOptions::Outcome::Bad) {
        std::cerr << "korvalux-service: " << parsed.error << "\n" << usageText(usageDefaults());
        return 2;
    }
    ServiceOptions &options = parsed.options;
    if (options.cacheDir.empty())
        options.cacheDir = defaultCacheDir();

    if (const std::string why = host->takeOver(); !why.empty()) {
        std::cerr << "korvalux-service: " << why << "\n";
        return 1;
    }

    auto loaded = loadStartDocuments(options.dataDir, options.cacheDir);
    if (auto *why = std::get_if<std::string>(&loaded)) {
        std::cerr << "korvalux-service: " << *why << "\n";
        return 1;
    }
    auto &documents = std::get<StartDocuments>(loaded);
    std::cerr << documents.notes;
    RateStore store(std::move(documents.ecb), std::move(documents.daily),
        std::move(documents.ecbDayBefore), std::move(documents.dailyDayBefore));
    if (const auto missing = missingCatalogueCodes(*store.table()); !missing.empty())
        std::cerr << "korvalux-service: no rate for " << missing << "\n";

    const std::unique_ptr<Fetcher> fetcher = makeFeedFetcher();
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
    RateKeeper keeper(store, keeping, log, *fetcher);
    if (options.refresh)
        options.server.freshRates = &keeper;

    const int code = runServer(
        store, options.server, *host,
        [&](const std::string &where) {
            log("korvalux-service: listening on " + where
                + host->listeningNote(options.listenGiven));
            // The keeper runs on its own thread; only stale rates make converter
            // answers wait for its first refresh, and then briefly.
            keeper.start();
            host->ready();
        },
        [&] { keeper.requestReload(); });
    host->stopping();

    keeper.stop();
    if (code == 0)
        std::cerr << "korvalux-service: stopped\n";
    host->finished();
    return code;
}
