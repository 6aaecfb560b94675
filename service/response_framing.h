// The bytes of an answer around what handleRequest (pages.h) decided: the status
// line, the few header lines and the body, and the access log's line for it.
// No socket: the session (session.cpp) writes these bytes as they are.
#pragma once

#include "service/pages.h"

#include <string>
#include <string_view>

namespace korvalux::service
{

// Replaces out with the whole answer. version is 10 for HTTP/1.0, else 11. The
// Connection line is written only where the version's default differs from
// keepAlive. A HEAD answer keeps the length of the GET answer, without its body.
void writeResponse(
    std::string &out, const Response &response, unsigned version, bool keepAlive, bool head);

// `PEER "METHOD TARGET" STATUS LENGTH`, the target printable and bounded.
std::string accessLogLine(std::string_view peer, std::string_view method, std::string_view target,
    unsigned status, std::size_t length);

} // namespace korvalux::service
