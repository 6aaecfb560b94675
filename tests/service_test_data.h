// The shipped rate snapshot as the service's unit tests see it: the two real
// rate files from the data folder (KORVALUX_SERVICE_TEST_DATA, set per test in
// tests/service.cmake), their parsed documents, the rate table built from them,
// and a text replacer for making variants of the files.
#pragma once

#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace korvalux::service::testData
{

inline std::string readData(const char *name)
{
    std::ifstream in(std::string(KORVALUX_SERVICE_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline const std::string &ecbText()
{
    static const std::string text = readData("eurofxref-daily-2026-07-06.xml");
    return text;
}

inline const std::string &dailyText()
{
    static const std::string text = readData("currency-api-eur-2026-07-06.json");
    return text;
}

// A refused snapshot file fails the calling test rather than ending the run.
inline RateDocument document(const ParseResult &result)
{
    if (const auto *why = std::get_if<std::string>(&result))
        ADD_FAILURE() << "refused: " << *why;
    return std::holds_alternative<RateDocument>(result) ? std::get<RateDocument>(result)
                                                        : RateDocument {};
}

inline RateDocument ecbDocument()
{
    return document(parseEcbDocument(ecbText()));
}

inline RateDocument dailyDocument()
{
    return document(parseDailyTableDocument(dailyText()));
}

inline const RateTable &snapshotTable()
{
    static const RateTable table = buildRateTable(ecbDocument(), dailyDocument());
    return table;
}

// Every occurrence of `from` replaced, left to right, without rescanning `to`.
inline std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

} // namespace korvalux::service::testData
