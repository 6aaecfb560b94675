// The command line of korvalux-service: every option, its checks and the usage
// text. parseOptions neither prints nor exits, so a table of command lines can
// test it; main.cpp decides what a result means and wires the options into the
// server, the rate store and the refresh.
#pragma once

#include "service/server.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvalux::service
{

struct ServiceOptions {
    ServerOptions server;
    bool listenGiven = false; // --listen was on the command line
    bool refresh = false;
    // With --refresh and rates older than the feeds publish, how long after the
    // start converter answers may wait for the first refresh; 0: never.
    std::chrono::seconds refreshWait {2};
    std::optional<std::string> ecbUrl; // the built-in address when absent
    std::vector<std::string> dailyUrls; // empty: the built-in addresses
    std::filesystem::path dataDir;
    std::filesystem::path cacheDir; // empty: defaultCacheDir()
};

struct ParsedOptions {
    enum class Outcome { Run, Help, Bad };
    Outcome outcome = Outcome::Run;
    ServiceOptions options;
    std::string error; // with Bad: what was wrong, one line
};

// args excludes the program name; defaults carries the data folder and any other
// value the caller wants unless an option says otherwise.
ParsedOptions parseOptions(const std::vector<std::string> &args, ServiceOptions defaults = {});

// What the usage text shows that differs from one system to another.
struct UsageDefaults {
    std::string dataDir; // the snapshot's default folder, as shown
    std::string cacheDir; // the cache's default folder, as shown
    std::string notes; // closing lines: what else starts, stops or reloads the service
};

std::string usageText(const UsageDefaults &defaults);

} // namespace korvalux::service
