// Rate feeds on loopback for a service started with --refresh: one answers with
// the shipped documents moved to a given day (/ecb the ECB's, any other path the
// daily table), the other starts a body and then stalls.
#pragma once

#include "loopback_http_server.h"
#include "service_test_data.h"

#include <chrono>
#include <string>

namespace feeds
{

inline loopback::Server::Handler ofDay(std::string day)
{
    return [day = std::move(day)](const loopback::Request &request) {
        namespace testData = korvalux::service::testData;
        return loopback::response(200,
            testData::replaced(
                request.target == "/ecb" ? testData::ecbText() : testData::dailyText(),
                "2026-07-06", day));
    };
}

inline loopback::Server::Handler stalling()
{
    return [](const loopback::Request &) {
        using namespace std::chrono_literals;
        return loopback::Answer()
            .send(loopback::responseHead(200, {{"Content-Length", "5000"}}) + "<?xml")
            .pause(30s);
    };
}

} // namespace feeds
