// The service's answers as pure functions: a request's method and target, and the
// rate table of the moment, in; status, content type and body out. The transport
// (session.cpp) only moves bytes; everything a client can see is decided here.
#pragma once

#include "service/rate_table.h"

#include <string>
#include <string_view>

namespace korvalux::service
{

struct Response {
    unsigned status = 200;
    std::string_view contentType;
    std::string body;
};

inline constexpr std::size_t maxTargetLength = 8192;

// GET (and HEAD, whose body the transport drops) of "/finance/converter?...",
// "/" and "/healthz"; 404, 405 and 414 otherwise, each still a page whose result
// cell says what went wrong.
Response handleRequest(std::string_view method, std::string_view target, const RateTable &table);

// True when handleRequest would answer with the converter page, whose sentence
// is the one a user reads; the requests worth holding for fresher rates.
bool isConverterRequest(std::string_view method, std::string_view target);

// The converter page's result cell content for a query string ("a=1&from=USD&to=EUR").
std::string converterSentence(std::string_view query, const RateTable &table);

// A page for a request the transport could not read (400, 431, ...).
Response errorPage(unsigned status, std::string_view sentence);

// Input text as it may appear in a page's result cell: cut to 32 characters,
// anything outside printable ASCII and each of &, <, >, ", ' as "?".
std::string echo(std::string_view text);

// Any text made safe for a page, whole: non-ASCII and control bytes as "?".
std::string escapeHtml(std::string_view text);

// "%41" → "A"; a "%" not followed by two hex digits stays as it is; "+" stays "+".
std::string percentDecode(std::string_view text);

} // namespace korvalux::service
