// The answer's header lines are written by hand into one reused buffer, which
// keeps a request free of allocations there; Beast gives only the reason phrase.
#include "service/response_framing.h"

#include <boost/beast/http/status.hpp>

namespace korvalux::service
{

namespace
{

// A target as it goes into the log: printable, bounded.
std::string loggable(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, 200))
        out += (c > 0x20 && c < 0x7f && c != '"') ? c : '?';
    if (text.size() > 200)
        out += "...";
    return out;
}

} // namespace

void writeResponse(
    std::string &out, const Response &response, unsigned version, bool keepAlive, bool head)
{
    namespace http = boost::beast::http;
    const auto reason = http::obsolete_reason(static_cast<http::status>(response.status));
    out.clear();
    out += version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    out += std::to_string(response.status);
    out += ' ';
    out += std::string_view(reason.data(), reason.size());
    out += "\r\nServer: korvalux-service\r\nContent-Type: ";
    out += response.contentType;
    out += "\r\nContent-Length: ";
    out += std::to_string(response.body.size());
    if (response.status == 405)
        out += "\r\nAllow: GET, HEAD";
    if (version == 10 && keepAlive)
        out += "\r\nConnection: keep-alive";
    else if (version != 10 && !keepAlive)
        out += "\r\nConnection: close";
    out += "\r\n\r\n";
    if (!head)
        out += response.body;
}

std::string accessLogLine(std::string_view peer, std::string_view method, std::string_view target,
    unsigned status, std::size_t length)
{
    return std::string(peer) + " \"" + std::string(method) + " " + loggable(target) + "\" "
        + std::to_string(status) + " " + std::to_string(length);
}

} // namespace korvalux::service
