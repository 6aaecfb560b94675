// The rate documents and the rate table: the real shipped files, variants of
// them (double quotes, several days, a currency missing, faults), and the table
// built from them — every catalogue code converting, pegs and legacy rates exact.
#include "service/pages.h"
#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include "service_test_data.h"

#include <gtest/gtest.h>

using namespace korvalux::service;
using namespace korvalux::service::testData;

namespace
{

Fraction decimal(const char *text)
{
    return *parseDecimal(text);
}

} // namespace

TEST(ServiceRates, RealEcbFile)
{
    const RateDocument ecb = ecbDocument();
    EXPECT_EQ(ecb.date, "2026-07-06");
    EXPECT_EQ(ecb.perEur.size(), 29u);
    EXPECT_TRUE(ecb.perEur.at("USD") == decimal("1.1415"));
    EXPECT_TRUE(ecb.perEur.at("IDR") == decimal("20565.38"));
    EXPECT_TRUE(ecb.perEur.at("CNY") == decimal("7.7573"));
}

TEST(ServiceRates, RealDailyTableKeepsExactDigits)
{
    const RateDocument daily = dailyDocument();
    EXPECT_EQ(daily.date, "2026-07-06");
    EXPECT_TRUE(daily.perEur.at("ARS") == decimal("1706.39780514"));
    EXPECT_TRUE(daily.perEur.at("VES") == decimal("736.6990462"));
    EXPECT_TRUE(daily.perEur.at("KWD") == decimal("0.3547547"));
    EXPECT_FALSE(daily.perEur.count("1INCH")); // tokens are not currencies
}

TEST(ServiceRates, DocumentVariants)
{
    struct Row {
        const char *name;
        bool ecb;
        std::string text;
        const char *date; // nullptr: refused
        const char *code;
        const char *rate;
    };
    const std::string ecb = ecbText();
    const std::string daily = dailyText();
    const std::string multiDay
        = "<?xml version=\"1.0\"?><gesmes:Envelope xmlns:gesmes=\"g\" xmlns=\"e\"><Cube>"
          "<Cube time=\"2026-07-03\"><Cube currency=\"USD\" rate=\"1.2000\"/></Cube>"
          "<Cube time=\"2026-07-06\"><Cube currency=\"USD\" rate=\"1.1415\"/>"
          "<Cube currency=\"JPY\" rate=\"185.31\"/></Cube>"
          "<Cube time=\"2026-07-02\"><Cube currency=\"USD\" rate=\"1.3000\"/></Cube>"
          "</Cube></gesmes:Envelope>";
    const Row rows[] = {
        {"real ECB", true, ecb, "2026-07-06", "USD", "1.1415"},
        {"ECB in double quotes", true, replaced(ecb, "'", "\""), "2026-07-06", "GBP", "0.85538"},
        {"ECB of several days: the newest", true, multiDay, "2026-07-06", "USD", "1.1415"},
        {"ECB missing a currency", true, replaced(ecb, "<Cube currency='ZAR' rate='18.5318'/>", ""),
            "2026-07-06", "USD", "1.1415"},
        {"ECB truncated", true, ecb.substr(0, ecb.size() / 2), nullptr, "", ""},
        {"ECB empty", true, "", nullptr, "", ""},
        {"ECB not XML", true, "<html>503</html>", nullptr, "", ""},
        {"ECB zero rate", true, replaced(ecb, "'1.1415'", "'0'"), nullptr, "", ""},
        {"ECB negative rate", true, replaced(ecb, "'1.1415'", "'-1.1415'"), nullptr, "", ""},
        {"ECB text rate", true, replaced(ecb, "'1.1415'", "'n/a'"), nullptr, "", ""},
        {"ECB bad date", true, replaced(ecb, "2026-07-06", "2026-02-30"), nullptr, "", ""},
        {"ECB bad code", true, replaced(ecb, "'USD'", "'usd'"), nullptr, "", ""},
        {"real daily", false, daily, "2026-07-06", "ARS", "1706.39780514"},
        {"daily with rates in double quotes", false,
            R"({"date": "2026-07-06", "eur": {"ars": "1706.39780514", "usd": "1.14"}})",
            "2026-07-06", "ARS", "1706.39780514"},
        {"daily with an exponent", false,
            R"({"date":"2026-07-06","eur":{"btc":1.8e-05,"ars":2e3}})", "2026-07-06", "ARS",
            "2000"},
        {"daily missing a currency", false, replaced(daily, "\"ars\": 1706.39780514,", ""),
            "2026-07-06", "BOB", "7.91958507"},
        {"daily truncated", false, daily.substr(0, daily.size() / 2), nullptr, "", ""},
        {"daily not JSON", false, "<html>", nullptr, "", ""},
        {"daily an array", false, "[1,2]", nullptr, "", ""},
        {"daily without date", false, R"({"eur":{"ars":1}})", nullptr, "", ""},
        {"daily without rates", false, R"({"date":"2026-07-06"})", nullptr, "", ""},
        {"daily zero rate", false, replaced(daily, "1706.39780514", "0"), nullptr, "", ""},
        {"daily null rate", false, replaced(daily, "1706.39780514", "null"), nullptr, "", ""},
        {"daily text rate", false, replaced(daily, "1706.39780514", "\"lots\""), nullptr, "", ""},
        {"daily nested rate", false, replaced(daily, "1706.39780514", "{\"x\":1}"), nullptr, "",
            ""},
        {"daily bad date", false, replaced(daily, "2026-07-06", "06.07.2026"), nullptr, "", ""},
    };
    for (const auto &row : rows) {
        const ParseResult result
            = row.ecb ? parseEcbDocument(row.text) : parseDailyTableDocument(row.text);
        if (!row.date) {
            EXPECT_TRUE(std::holds_alternative<std::string>(result)) << row.name;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<RateDocument>(result))
            << row.name << ": " << std::get<std::string>(result);
        const auto &doc = std::get<RateDocument>(result);
        EXPECT_EQ(doc.date, row.date) << row.name;
        ASSERT_TRUE(doc.perEur.count(row.code)) << row.name;
        EXPECT_TRUE(doc.perEur.at(row.code) == decimal(row.rate)) << row.name;
    }
}

TEST(ServiceRates, RefusalsSayWhatFailed)
{
    struct Row {
        const char *name;
        bool ecb;
        std::string text;
        const char *reason; // the start of the refusal
    };
    const std::string daily = dailyText();
    const std::string cutInNumber = daily.substr(0, daily.find("\"link\": 0") + 9);
    const Row rows[] = {
        {"cut inside a number", false, cutInNumber, "not valid JSON: the text stops at byte"},
        {"cut after a number", false, daily.substr(0, daily.find("\"ars\": 1706") + 8),
            "not valid JSON: the text stops at byte"},
        {"cut inside a string", false, daily.substr(0, 12), "not valid JSON: the text stops"},
        {"a stray character", false, replaced(daily, "\"ars\": 1706.39780514", "\"ars\": 17#6"),
            "not valid JSON: unexpected"},
        {"a zero rate, whole", false, replaced(daily, "0.1431763", "0"),
            "rate of LINK is not positive"},
        {"a zero rate and a cut", false,
            replaced(daily, "0.1431763", "0").substr(0, daily.size() - 20),
            "not valid JSON: the text stops"},
        {"a negative rate", false, replaced(daily, "1706.39780514", "-1"),
            "rate of ARS is not positive"},
        {"ECB cut", true, ecbText().substr(0, 900), "not valid XML: "},
    };
    for (const auto &row : rows) {
        const ParseResult result
            = row.ecb ? parseEcbDocument(row.text) : parseDailyTableDocument(row.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << row.name;
        EXPECT_TRUE(std::get<std::string>(result).starts_with(row.reason))
            << row.name << ": " << std::get<std::string>(result);
    }
}

TEST(ServiceRates, EveryCatalogueCodeConvertsToEur)
{
    const RateTable &table = snapshotTable();
    ASSERT_EQ(catalogueCodes().size(), 65u);
    EXPECT_EQ(missingCatalogueCodes(table), "");
    for (std::string_view code : catalogueCodes()) {
        const auto there = table.convert(decimal("1"), code, "EUR");
        ASSERT_TRUE(there) << code;
        EXPECT_TRUE(there->value.isPositive()) << code;
        const auto back = table.convert(there->value, "EUR", code);
        ASSERT_TRUE(back) << code;
        EXPECT_TRUE(back->value == decimal("1")) << code; // exact both ways
    }
}

TEST(ServiceRates, SourcesInOrderOfTrust)
{
    struct Row {
        const char *code;
        const char *perEur; // exact
        const char *date; // nullptr: fixed
        const char *sourceStart;
    };
    const Row rows[] = {
        {"EUR", "1", nullptr, "the euro"},
        {"SIT", "239.64", nullptr, "euro conversion"},
        {"SKK", "30.126", nullptr, "euro conversion"},
        {"EEK", "15.6466", nullptr, "euro conversion"},
        {"LTL", "3.4528", nullptr, "euro conversion"},
        {"HRK", "7.5345", nullptr, "euro conversion"}, // the daily table's hrk is not used
        {"BGN", "1.95583", nullptr, "euro conversion"},
        {"USD", "1.1415", "2026-07-06", "ECB"}, // the daily table's usd is not used
        {"CNY", "7.7573", "2026-07-06", "ECB"},
        {"AED", "4.19215875", "2026-07-06", "peg 3.6725 per USD (ECB"},
        {"SAR", "4.280625", "2026-07-06", "peg 3.75 per USD"},
        {"QAR", "4.15506", "2026-07-06", "peg 3.64 per USD"},
        {"OMR", "0.43890675", "2026-07-06", "peg 0.3845 per USD"},
        {"BHD", "0.429204", "2026-07-06", "peg 0.376 per USD"},
        {"ANG", "2.043285", "2026-07-06", "peg 1.79 per USD"},
        {"BND", "1.4765", "2026-07-06", "at par with SGD"},
        {"NPR", "174.2456", "2026-07-06", "peg 1.6 per INR"},
        {"CSD", "117.29197377", "2026-07-06", "RSD since 2006"},
        {"VEB", "73669904620000000", "2026-07-06", "VES x 10^14"},
        {"ARS", "1706.39780514", "2026-07-06", "daily table"},
        {"UAH", "50.9503233", "2026-07-06", "daily table"},
    };
    const RateTable &table = snapshotTable();
    for (const auto &row : rows) {
        const Rate *rate = table.find(row.code);
        ASSERT_TRUE(rate) << row.code;
        EXPECT_EQ(formatExact(rate->perEur), row.perEur) << row.code;
        EXPECT_EQ(rate->date.has_value(), row.date != nullptr) << row.code;
        if (row.date && rate->date) {
            EXPECT_EQ(*rate->date, row.date) << row.code;
        }
        EXPECT_TRUE(rate->source.starts_with(row.sourceStart)) << row.code << ": " << rate->source;
    }
}

TEST(ServiceRates, ConversionsAreExact)
{
    struct Row {
        const char *amount;
        const char *from;
        const char *to;
        Fraction exact;
        const char *date; // nullptr: "(fixed rate)"
    };
    const Row rows[] = {
        // Pegs to the same currency cancel the market rate exactly.
        {"100", "AED", "SAR", decimal("100") * decimal("3.75") / decimal("3.6725"), "2026-07-06"},
        {"1000", "EEK", "EUR", decimal("1000") / decimal("15.6466"), nullptr},
        {"1", "SIT", "EEK", decimal("15.6466") / decimal("239.640"), nullptr},
        {"1000000", "VEB", "CSD",
            decimal("1000000") * decimal("117.29197377") / decimal("73669904620000000"),
            "2026-07-06"},
        {"1", "VES", "VEB", decimal("100000000000000"), "2026-07-06"},
        {"1", "CSD", "RSD", decimal("1"), "2026-07-06"},
        {"100", "USD", "EUR", decimal("100") / decimal("1.1415"), "2026-07-06"},
        {"250", "EUR", "USD", decimal("285.375"), "2026-07-06"},
        {"7", "USD", "USD", decimal("7"), nullptr},
    };
    const RateTable &table = snapshotTable();
    for (const auto &row : rows) {
        const auto result = table.convert(decimal(row.amount), row.from, row.to);
        ASSERT_TRUE(result) << row.from << row.to;
        EXPECT_TRUE(result->value == row.exact) << row.from << row.to;
        EXPECT_EQ(result->date.has_value(), row.date != nullptr) << row.from << row.to;
        if (row.date && result->date) {
            EXPECT_EQ(*result->date, row.date);
        }
    }
}

TEST(ServiceRates, OldestMarketDateIsShown)
{
    RateDocument ecb = ecbDocument();
    RateDocument daily = dailyDocument();
    daily.date = "2026-07-03";
    const RateTable table = buildRateTable(ecb, daily);
    struct Row {
        const char *from;
        const char *to;
        const char *date;
    };
    const Row rows[] = {
        {"USD", "ARS", "2026-07-03"},
        {"ARS", "EUR", "2026-07-03"},
        {"USD", "JPY", "2026-07-06"},
        {"EEK", "ARS", "2026-07-03"},
        {"EEK", "USD", "2026-07-06"},
    };
    for (const auto &row : rows) {
        const auto result = table.convert(decimal("1"), row.from, row.to);
        ASSERT_TRUE(result && result->date);
        EXPECT_EQ(*result->date, row.date) << row.from << row.to;
    }
    EXPECT_EQ(table.newestDate(), "2026-07-06");
}

TEST(ServiceRates, MissingCurrencyFallsBackOrIsReported)
{
    // The ECB file without USD: USD, and the pegs on it, come from the daily table.
    RateDocument ecb = ecbDocument();
    ecb.perEur.erase("USD");
    RateDocument daily = dailyDocument();
    daily.perEur.erase("ARS");
    const RateTable table = buildRateTable(ecb, daily);
    ASSERT_TRUE(table.find("USD"));
    EXPECT_EQ(formatExact(table.find("USD")->perEur), "1.14326597");
    EXPECT_TRUE(table.find("AED")->source.find("daily table") != std::string::npos);
    EXPECT_FALSE(table.find("ARS"));
    EXPECT_EQ(missingCatalogueCodes(table), "ARS");
    EXPECT_EQ(converterSentence("a=1&from=ARS&to=EUR", table), "No rate for ARS");
}
