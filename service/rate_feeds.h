// The two rate documents the service reads, in the form they are published: the
// ECB's euro reference rates (XML) and the CC0 daily table (JSON, rates per EUR).
// Parsing checks the whole document; a document with any fault is refused with
// the reason, so no half-read file ever reaches the rate table. Also which feed
// is which. Whether a parsed document is used is rate_acceptance's to decide.
#pragma once

#include "service/decimal.h"
#include "service/iso_date.h"

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

ParseResult parseFeed(Feed feed, std::string_view text);

} // namespace korvalux::service
