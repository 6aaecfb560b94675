// Option parsing for korvalux-service: one pass over the arguments, each option
// with its value check, the first problem ends the pass.
#include "service/options.h"

#include "core/service_address.h"

#include <charconv>

namespace korvalux::service
{

namespace
{

bool parseCount(const std::string &text, unsigned &value, unsigned low, unsigned high)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc {} && end == text.data() + text.size() && value >= low
        && value <= high;
}

} // namespace

std::string usageText(const UsageDefaults &defaults)
{
    return "usage: korvalux-service [options]\n"
           "  --listen ADDR:PORT     where to listen (default 127.0.0.1:8765)\n"
           "  --quiet                no log line per request\n"
           "  --refresh              fetch both rate feeds now and every 6 hours\n"
           "  --refresh-wait SEC     with --refresh and rates over 4 days old, converter\n"
           "                         requests wait for the first refresh until SEC seconds\n"
           "                         after the start (default 2; 0: never)\n"
           "  --ecb-url URL          ECB euro reference rates (XML)\n"
           "  --daily-url URL        CC0 daily table of rates per EUR (JSON); repeatable,\n"
           "                         the newest is taken (default: both publisher addresses)\n"
           "  --data-dir DIR         the shipped rate snapshot (default "
        + defaults.dataDir + ")\n"
        + "  --cache-dir DIR        last good fetched documents (default " + defaults.cacheDir
        + ")\n"
          "  --threads N            serving threads (default 1)\n"
          "  --read-timeout SEC     time allowed for one request (default 10)\n"
          "  --idle-timeout SEC     time a kept-alive connection may wait (default 30)\n"
          "  --exit-idle-time SEC   leave after SEC seconds with no connection open\n"
        + defaults.notes;
}

ParsedOptions parseOptions(const std::vector<std::string> &args, ServiceOptions defaults)
{
    ParsedOptions result;
    result.options = std::move(defaults);
    ServiceOptions &out = result.options;
    auto bad = [&](std::string why) {
        result.outcome = ParsedOptions::Outcome::Bad;
        result.error = std::move(why);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &option = args[i];
        auto value = [&](std::string &text) {
            if (i + 1 >= args.size())
                return false;
            text = args[++i];
            return true;
        };
        std::string text;
        unsigned number = 0;
        if (option == "--help" || option == "-h") {
            result.outcome = ParsedOptions::Outcome::Help;
            return result;
        } else if (option == "--quiet") {
            out.server.quiet = true;
        } else if (option == "--refresh") {
            out.refresh = true;
        } else if (option == "--refresh-wait") {
            if (!value(text) || !parseCount(text, number, 0, 60))
                return bad("--refresh-wait needs seconds from 0 to 60");
            out.refreshWait = std::chrono::seconds(number);
        } else if (option == "--listen") {
            const auto listen = value(text) ? core::parseListenArgument(text) : std::nullopt;
            if (!listen)
                return bad("--listen needs ADDR:PORT, such as 127.0.0.1:8765");
            out.server.address = listen->host;
            out.server.port = listen->port;
            out.listenGiven = true;
        } else if (option == "--ecb-url") {
            if (!value(text))
                return bad("--ecb-url needs a URL");
            out.ecbUrl = text;
        } else if (option == "--daily-url") {
            if (!value(text))
                return bad("--daily-url needs a URL");
            out.dailyUrls.push_back(text);
        } else if (option == "--data-dir") {
            if (!value(text) || text.empty())
                return bad("--data-dir needs a folder");
            out.dataDir = text;
        } else if (option == "--cache-dir") {
            if (!value(text) || text.empty())
                return bad("--cache-dir needs a folder");
            out.cacheDir = text;
        } else if (option == "--threads") {
            if (!value(text) || !parseCount(text, number, 1, 64))
                return bad("--threads needs a number from 1 to 64");
            out.server.threads = number;
        } else if (option == "--read-timeout" || option == "--idle-timeout") {
            if (!value(text) || !parseCount(text, number, 1, 3600))
                return bad(option + " needs seconds from 1 to 3600");
            (option == "--read-timeout" ? out.server.readTimeout : out.server.idleTimeout)
                = std::chrono::seconds(number);
        } else if (option == "--exit-idle-time") {
            if (!value(text) || !parseCount(text, number, 1, 86400))
                return bad("--exit-idle-time needs seconds from 1 to 86400");
            out.server.exitIdleTime = std::chrono::seconds(number);
        } else {
            return bad("unknown option " + option);
        }
    }
    return result;
}

} // namespace korvalux::service
