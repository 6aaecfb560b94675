// The two rate documents the service reads, in the form they are published: the
// ECB's euro reference rates (XML) and the CC0 daily table (JSON, rates per EUR).
// Parsing checks the whole document; a document with any fault is refused with
// the reason, so no half-read file ever reaches the rate table. Also which feed
// is which, and the date check every document passes before it is used.
#pragma once

#include "service/decimal.h"

#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace korvalux::service
{

enum class Feed { Ecb, Daily };

const char *feedName(Feed feed); // "ECB rates", "daily table"

// Per-EUR rates of one published day, keyed by upper-case ISO code.
struct RateDocument {
    std::string date; // "YYYY-MM-DD"
    std::map<std::string, Fraction> perEur;
};

using ParseResult = std::variant<RateDocument, std::string>; // the document or why not

// The newest day of an ECB eurofxref file (daily, 90-day or historical).
ParseResult parseEcbDocument(std::string_view xml);

// {"date": "YYYY-MM-DD", "eur": {"usd": 1.14, ...}}; numbers or numeric strings.
ParseResult parseDailyTableDocument(std::string_view json);

// A currency code as the rate table keys it: ASCII letters in upper case.
std::string upperCaseCode(std::string_view code);

// True for a real calendar date written "YYYY-MM-DD".
bool isIsoDate(std::string_view text);

ParseResult parseFeed(Feed feed, std::string_view text);

// The feed's document if the text parses and is dated at most one day after today
// (a publisher's day may begin before ours); otherwise why not. Applied alike to
// fetched documents and to those read at start.
ParseResult checkDocument(Feed feed, std::string_view text, const std::string &today);

// Today in UTC, "YYYY-MM-DD".
std::string utcToday();

// Whole days from one real "YYYY-MM-DD" date to another; negative when `to` is earlier.
long daysBetween(std::string_view from, std::string_view to);

} // namespace korvalux::service
