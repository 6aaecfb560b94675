// korvalux-service: reads its options, loads the newest rates from the shipped
// snapshot and the cache, optionally keeps them fresh (--refresh) and serves the
// converter page until SIGTERM or SIGINT.
#include "service/rate_cache.h"
#include "service/rate_store.h"
#include "service/refresher.h"
#include "service/server.h"

#include <curl/curl.h>

#include <charconv>
#include <cstring>
#include <iostream>
#include <string>

#ifndef KORVALUX_SERVICE_DATA_DIR
#define KORVALUX_SERVICE_DATA_DIR "/usr/local/share/korvalux-service"
#endif

using namespace korvalux::service;

namespace
{

constexpr const char *usage
    = "usage: korvalux-service [options]\n"
      "  --listen ADDR:PORT     where to listen (default 127.0.0.1:8765)\n"
      "  --quiet                no log line per request\n"
      "  --refresh              fetch both rate feeds now and every 6 hours\n"
      "  --ecb-url URL          ECB euro reference rates (XML)\n"
      "  --daily-url URL        CC0 daily table of rates per EUR (JSON); repeatable,\n"
      "                         the newest of all is taken (default: both publisher addresses)\n"
      "  --data-dir DIR         the shipped rate snapshot (default " KORVALUX_SERVICE_DATA_DIR ",\n"
      "                         or the source tree's service/data when not installed)\n"
      "  --cache-dir DIR        last good fetched documents (default "
      "$XDG_CACHE_HOME/korvalux-service)\n"
      "  --threads N            serving threads (default 1)\n"
      "  --read-timeout SEC     time allowed for one request (default 10)\n"
      "  --idle-timeout SEC     time a kept-alive connection may wait (default 30)\n";

int badOptions(const std::string &why)
{
    std::cerr << "korvalux-service: " << why << "\n" << usage;
    return 2;
}

bool parseCount(const std::string &text, unsigned &value, unsigned low, unsigned high)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc {} && end == text.data() + text.size() && value >= low
        && value <= high;
}

} // namespace

int main(int argc, char **argv)
{
    ServerOptions server;
    RefreshOptions refresh;
    bool refreshing = false;
    std::filesystem::path dataDir = KORVALUX_SERVICE_DATA_DIR;
#ifdef KORVALUX_SERVICE_SOURCE_DATA_DIR
    // Not installed yet: run from the build tree with the snapshot in the sources.
    if (std::error_code ec; !std::filesystem::is_directory(dataDir, ec))
        dataDir = KORVALUX_SERVICE_SOURCE_DATA_DIR;
#endif
    std::filesystem::path cacheDir;
    bool dailyUrlGiven = false;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        unsigned number = 0;
        if (option == "--help" || option == "-h") {
            std::cout << usage;
            return 0;
        } else if (option == "--quiet") {
            server.quiet = true;
        } else if (option == "--refresh") {
            refreshing = true;
        } else if (option == "--listen") {
            if (!value(text) || !parseListenAddress(text, server.address, server.port))
                return badOptions("--listen needs ADDR:PORT, such as 127.0.0.1:8765");
        } else if (option == "--ecb-url") {
            if (!value(refresh.ecbUrl))
                return badOptions("--ecb-url needs a URL");
        } else if (option == "--daily-url") {
            if (!value(text))
                return badOptions("--daily-url needs a URL");
            if (!dailyUrlGiven)
                refresh.dailyUrls.clear(); // given addresses replace the defaults
            dailyUrlGiven = true;
            refresh.dailyUrls.push_back(text);
        } else if (option == "--data-dir") {
            if (!value(text))
                return badOptions("--data-dir needs a folder");
            dataDir = text;
        } else if (option == "--cache-dir") {
            if (!value(text))
                return badOptions("--cache-dir needs a folder");
            cacheDir = text;
        } else if (option == "--threads") {
            if (!value(text) || !parseCount(text, number, 1, 64))
                return badOptions("--threads needs a number from 1 to 64");
            server.threads = number;
        } else if (option == "--read-timeout" || option == "--idle-timeout") {
            if (!value(text) || !parseCount(text, number, 1, 3600))
                return badOptions(option + " needs seconds from 1 to 3600");
            (option == "--read-timeout" ? server.readTimeout : server.idleTimeout)
                = std::chrono::seconds(number);
        } else if (option == "--exit-idle-time") {
            // Accepted so that a window that starts the service may pass it;
            // the service does not leave on its own yet.
            if (!value(text) || !parseCount(text, number, 1, 86400))
                return badOptions("--exit-idle-time needs seconds from 1 to 86400");
        } else {
            return badOptions("unknown option " + option);
        }
    }
    if (cacheDir.empty())
        cacheDir = defaultCacheDir();

    auto loaded = loadStartDocuments(dataDir, cacheDir);
    if (auto *why = std::get_if<std::string>(&loaded)) {
        std::cerr << "korvalux-service: " << *why << "\n";
        return 1;
    }
    auto &documents = std::get<StartDocuments>(loaded);
    std::cerr << documents.notes;
    RateStore store(std::move(documents.ecb), std::move(documents.daily));
    if (const auto missing = missingCatalogueCodes(*store.table()); !missing.empty())
        std::cerr << "korvalux-service: no rate for " << missing << "\n";

    curl_global_init(CURL_GLOBAL_DEFAULT);
    refresh.cacheDir = cacheDir;
    Refresher refresher(store, refresh, [](const std::string &line) {
        std::cerr << line + "\n" << std::flush;
    });

    const int code = runServer(store, server, [&](unsigned short port) {
        std::cerr << "korvalux-service: listening on " + server.address + ":" + std::to_string(port)
                + "\n"
                  << std::flush;
        if (refreshing)
            refresher.start();
    });
    refresher.stop();
    curl_global_cleanup();
    if (code == 0)
        std::cerr << "korvalux-service: stopped\n";
    return code;
}
