// Which rate document is taken, as one table: dates against today (a day of
// slack) and against the document in use, the tenfold bound on the rates the
// table shows, and the newest of several. Then dated sequences of documents,
// refreshed through a keeper on fake feeds and started again from its cache: the
// bound holds from the rates of the day before, however many documents a day
// brings. Then the one "YYYY-MM-DD" parser and its day arithmetic.
#include "service/iso_date.h"
#include "service/rate_acceptance.h"
#include "service/rate_cache.h"
#include "service/rate_keeper.h"
#include "service/rate_store.h"

#include "service_fake_feeds.h"
#include "service_test_data.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <vector>

using namespace korvalux::service;
using namespace korvalux::service::testData;
namespace fs = std::filesystem;

TEST(ServiceAcceptance, TheNewestAcceptableDocumentIsTaken)
{
    struct Offer {
        const char *date; // nullptr: a document that did not parse
        const char *code = "JPY"; // a rate the offer sets
        const char *rate = "185.31"; // the snapshot's
    };
    struct Row {
        const char *name;
        const char *today;
        const char *inUse; // the feed's date in use; nullptr: none, as at start
        std::vector<Offer> offers;
        int winner; // the offer taken; -1: none
        const char *refused; // a part of the first offer's refusal; "": it is acceptable
    };
    const char *july31 = "2026-07-31";
    const char *inUse = "2026-07-06";
    const char *tenfold = "rate of JPY moved more than tenfold";
    const Row rows[] = {
        {"the day in use", july31, inUse, {{"2026-07-06"}}, 0, ""},
        {"newer", july31, inUse, {{"2026-07-20"}}, 0, ""},
        {"older than in use", july31, inUse, {{"2026-07-05"}}, -1,
            "dated 2026-07-05, older than the 2026-07-06 in use"},
        {"today", july31, inUse, {{"2026-07-31"}}, 0, ""},
        {"a day ahead: the publisher's day began first", july31, inUse, {{"2026-08-01"}}, 0, ""},
        {"two days ahead", july31, inUse, {{"2026-08-02"}}, -1,
            "dated 2026-08-02, in the future (today is 2026-07-31)"},
        {"a day ahead across a year", "2026-12-31", inUse, {{"2027-01-01"}}, 0, ""},
        {"two days ahead across a year", "2026-12-31", inUse, {{"2027-01-02"}}, -1,
            "in the future"},
        {"a day after a leap day", "2024-02-29", nullptr, {{"2024-03-01"}}, 0, ""},
        {"two days after the day before a leap day", "2024-02-28", nullptr, {{"2024-03-01"}}, -1,
            "in the future"},
        {"exactly ten times", july31, inUse, {{"2026-07-07", "JPY", "1853.1"}}, 0, ""},
        {"just over ten times", july31, inUse, {{"2026-07-07", "JPY", "1853.1000001"}}, -1,
            tenfold},
        {"exactly a tenth", july31, inUse, {{"2026-07-07", "JPY", "18.531"}}, 0, ""},
        {"just under a tenth", july31, inUse, {{"2026-07-07", "JPY", "18.5309999"}}, -1, tenfold},
        {"100 JPY worth 10^66 EUR", july31, inUse, {{"2026-07-07", "JPY", "1e-64"}}, -1, tenfold},
        {"a code the table does not show", july31, inUse, {{"2026-07-07", "XYZ", "1000000"}}, 0,
            ""},
        {"first from this feed", july31, inUse, {{"2026-07-07", "ARS", "4000000"}}, 0, ""},
        {"nothing in use bounds nothing", july31, nullptr, {{"2026-07-07", "JPY", "1853.2"}}, 0,
            ""},
        {"the newest of several", july31, inUse, {{"2026-07-08"}, {"2026-07-12"}, {"2026-07-10"}},
            1, ""},
        {"a tie: the first, the publisher's main address", july31, inUse,
            {{"2026-07-10"}, {"2026-07-10"}}, 0, ""},
        {"an invalid document loses to a valid older one", july31, nullptr,
            {{nullptr}, {"2026-07-07"}}, 1, "not valid XML"},
        {"a refused newer one loses to an older one", july31, inUse,
            {{"2026-07-07"}, {"2026-08-05"}}, 0, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        RateDocument current = ecbDocument();
        current.perEur["XYZ"] = *parseDecimal("1");
        if (row.inUse)
            current.date = row.inUse;
        DocumentChoice choice(
            {row.today, row.inUse ? &current : nullptr, nullptr, &snapshotTable()});
        for (std::size_t i = 0; i < row.offers.size(); ++i) {
            const Offer &offer = row.offers[i];
            ParseResult candidate = std::string("not valid XML: no document element");
            if (offer.date) {
                RateDocument document = ecbDocument();
                document.date = offer.date;
                document.perEur[offer.code] = *parseDecimal(offer.rate);
                // Tells the offers apart; well inside the tenfold bound.
                document.perEur["USD"] = *parseDecimal(std::to_string(i + 2));
                candidate = std::move(document);
            }
            const auto verdict = choice.offer(std::move(candidate));
            if (i == 0 && *row.refused) {
                EXPECT_NE(verdict.refusal.find(row.refused), std::string::npos) << verdict.refusal;
            } else if (i == 0) {
                EXPECT_EQ(verdict.refusal, "");
            }
        }
        const auto &best = choice.best();
        ASSERT_EQ(best.has_value(), row.winner >= 0);
        if (best) {
            EXPECT_EQ(best->date, row.offers[static_cast<std::size_t>(row.winner)].date);
            EXPECT_EQ(formatExact(best->perEur.at("USD")), std::to_string(row.winner + 2));
        }
    }
}

namespace
{

// The snapshot's documents of another day, with USD (ECB) and ARS (daily) at
// `factor` times the snapshot's own.
std::string times(const char *rate, const char *factor)
{
    return formatExact(*parseDecimal(rate) * *parseDecimal(factor));
}

std::string ecbOf(const std::string &date, const char *factor)
{
    return replaced(
        replaced(ecbText(), "2026-07-06", date), "'1.1415'", "'" + times("1.1415", factor) + "'");
}

std::string dailyOf(const std::string &date, const char *factor)
{
    return replaced(
        replaced(dailyText(), "2026-07-06", date), "1706.39780514", times("1706.39780514", factor));
}

// Both feeds' factors, "" when they differ from each other.
std::string factorOf(const RateDocument &ecb, const RateDocument &daily)
{
    for (const char *factor : {"1", "9", "10", "0.2", "0.9", "50", "60", "81"}) {
        if (formatExact(ecb.perEur.at("USD")) == times("1.1415", factor)
            && formatExact(daily.perEur.at("ARS")) == times("1706.39780514", factor))
            return factor;
    }
    return formatExact(ecb.perEur.at("USD")) + " " + formatExact(daily.perEur.at("ARS"));
}

RateStore startStore(StartDocuments documents)
{
    return RateStore(std::move(documents.ecb), std::move(documents.daily),
        std::move(documents.ecbDayBefore), std::move(documents.dailyDayBefore));
}

} // namespace

TEST(ServiceAcceptance, TheBoundHoldsFromTheRatesOfTheDayBefore)
{
    struct Offer {
        const char *date;
        const char *factor; // of both feeds' rate, against the snapshot's
        bool taken;
    };
    struct File {
        const char *date = nullptr; // none
        const char *factor = "1";
    };
    struct Row {
        const char *name;
        const char *snapshot; // the data folder's date
        std::vector<Offer> offers; // one refresh round each
        const char *restarted; // the factor in use after a start from the files left
        File cached = {}; // left by an earlier run
        File dayBefore = {};
        const char *started = "1"; // in use at the first start
    };
    const char *today = "2027-01-31";
    std::vector<Offer> aMonth; // one and a half times more a day: 191,751 times in 30 days
    std::string factor = "1";
    std::vector<std::string> texts; // the offers' strings live here
    texts.reserve(60);
    for (int day = 0; day < 30; ++day) {
        factor = formatExact(*parseDecimal(factor) * *parseDecimal("1.5"));
        texts.push_back(formatIsoDate(std::chrono::year_month_day {
            std::chrono::sys_days {std::chrono::year {2026} / 12 / 7} + std::chrono::days {day}}));
        texts.push_back(factor);
        aMonth.push_back({texts[texts.size() - 2].c_str(), texts.back().c_str(), true});
    }
    const Row rows[] = {
        // The feed keeps its date; each round asks 9 times the rate in use.
        {"a same-day feed walking 9 times a round", "2026-12-07",
            {{"2026-12-07", "9", true}, {"2026-12-07", "81", false}, {"2026-12-07", "81", false},
                {"2026-12-07", "81", false}, {"2026-12-07", "81", false},
                {"2026-12-07", "81", false}, {"2026-12-07", "81", false},
                {"2026-12-07", "81", false}},
            "9"},
        {"back and forth within a day", "2026-12-06",
            {{"2026-12-07", "9", true}, {"2026-12-07", "0.2", true}, {"2026-12-07", "0.09", false},
                {"2026-12-07", "10", true}, {"2026-12-07", "10.5", false}},
            "10"},
        {"the next day is bounded by the last of the day before", "2026-12-06",
            {{"2026-12-07", "9", true}, {"2026-12-08", "81", true}, {"2026-12-08", "700", false},
                {"2026-12-08", "0.9", true}, {"2026-12-08", "0.85", false}},
            "0.9"},
        {"a real move over many days, a day at a time", "2026-12-06", aMonth, texts.back().c_str()},
        {"a walked cache with no day before", "2026-12-06", {}, "1", {"2026-12-07", "43046721"}},
        {"a cache of the snapshot's day past the bound", "2026-12-07", {}, "1",
            {"2026-12-07", "81"}},
        {"a cache of the snapshot's day within the bound", "2026-12-07", {}, "9",
            {"2026-12-07", "9"}, {}, "9"},
        {"a cache far from an old snapshot, near its day before", "2026-07-06", {}, "60",
            {"2026-12-07", "60"}, {"2026-12-06", "50"}, "60"},
        {"a cache past the bound of its day before", "2026-07-06", {}, "50", {"2026-12-07", "600"},
            {"2026-12-06", "50"}, "50"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const testing_support::TempFolder data("korvalux-walk-data");
        const testing_support::TempFolder cache("korvalux-walk-cache");
        const std::string snapshot = row.snapshot;
        std::ofstream(data.path() / ("eurofxref-daily-" + snapshot + ".xml"))
            << ecbOf(snapshot, "1");
        std::ofstream(data.path() / ("currency-api-eur-" + snapshot + ".json"))
            << dailyOf(snapshot, "1");
        for (const auto &[file, prefix] :
            {std::pair {row.cached, ""}, {row.dayBefore, "day-before."}}) {
            if (!file.date)
                continue;
            std::ofstream(cache.path() / (std::string("ecb.") + prefix + "xml"))
                << ecbOf(file.date, file.factor);
            std::ofstream(cache.path() / (std::string("daily.") + prefix + "json"))
                << dailyOf(file.date, file.factor);
        }
        auto started = loadStartDocuments(data.path(), cache.path(), today);
        ASSERT_TRUE(std::holds_alternative<StartDocuments>(started));
        RateStore store = startStore(std::move(std::get<StartDocuments>(started)));
        EXPECT_EQ(factorOf(store.document(Feed::Ecb), store.document(Feed::Daily)), row.started);

        const Offer *offer = nullptr;
        FakeFeeds feeds([&](const std::string &url) {
            return body(url == "ecb" ? ecbOf(offer->date, offer->factor)
                                     : dailyOf(offer->date, offer->factor));
        });
        KeeperOptions options;
        options.ecbUrl = "ecb";
        options.dailyUrls = {"daily"};
        options.cacheDir = cache.path();
        options.today = [&] { return std::string(today); };
        RateKeeper keeper(
            store, options, [](const std::string &) {}, feeds);
        std::string inUse = row.started;
        for (const Offer &each : row.offers) {
            offer = &each;
            keeper.refreshOnce();
            if (each.taken)
                inUse = each.factor;
            // Whichever way, the table holds one of the rows' factors for both feeds.
            const auto table = store.table();
            const std::string usd = formatExact(table->find("USD")->perEur);
            const std::string ars = formatExact(table->find("ARS")->perEur);
            EXPECT_EQ(usd, times("1.1415", inUse.c_str())) << each.date << " x" << each.factor;
            EXPECT_EQ(ars, times("1706.39780514", inUse.c_str()))
                << each.date << " x" << each.factor;
            if (usd != times("1.1415", inUse.c_str()))
                break; // the rest of the row follows from a wrong rate
        }

        auto restarted = loadStartDocuments(data.path(), cache.path(), today);
        ASSERT_TRUE(std::holds_alternative<StartDocuments>(restarted));
        const auto &documents = std::get<StartDocuments>(restarted);
        EXPECT_EQ(formatExact(documents.ecb.perEur.at("USD")), times("1.1415", row.restarted))
            << documents.notes;
        EXPECT_EQ(
            formatExact(documents.daily.perEur.at("ARS")), times("1706.39780514", row.restarted))
            << documents.notes;
    }
}

TEST(ServiceAcceptance, DatesAreStrictlyYearMonthDay)
{
    struct Row {
        const char *text;
        bool calendar; // parseIsoDate takes it
        bool document; // isIsoDate too: not before 1999
    };
    const Row rows[] = {
        {"2026-07-06", true, true},
        {"2024-02-29", true, true}, // a leap day
        {"2000-02-29", true, true}, // a leap century
        {"2026-12-31", true, true},
        {"1999-01-04", true, true}, // the euro's first rates
        {"1998-12-31", true, false},
        {"1900-02-29", false, false}, // no leap day in 1900
        {"2026-02-29", false, false},
        {"2026-02-30", false, false},
        {"2026-04-31", false, false},
        {"2026-13-01", false, false},
        {"2026-00-10", false, false},
        {"2026-01-00", false, false},
        {"2026-7-06", false, false},
        {"2026-07-6", false, false},
        {"26-07-06", false, false},
        {"02026-07-06", false, false},
        {"2026-07-060", false, false},
        {"+026-07-06", false, false},
        {"2026-+7-06", false, false},
        {"2026-07--6", false, false},
        {" 2026-07-06", false, false},
        {"2026-07-06 ", false, false},
        {"2026- 7-06", false, false},
        {"2026/07/06", false, false},
        {"2026x12-07", false, false}, // each dash is checked, not only the first
        {"2026-12x07", false, false},
        {"2026-12-07x", false, false},
        {"2026-07-06T00:00", false, false},
        {"abcd-ef-gh", false, false},
        {"", false, false},
    };
    for (const auto &row : rows) {
        const auto parsed = parseIsoDate(row.text);
        EXPECT_EQ(parsed.has_value(), row.calendar) << '"' << row.text << '"';
        EXPECT_EQ(isIsoDate(row.text), row.document) << '"' << row.text << '"';
        if (parsed) {
            EXPECT_EQ(formatIsoDate(*parsed), row.text);
        }
    }

    struct Span {
        const char *from;
        const char *to;
        std::optional<long> days;
    };
    const Span spans[] = {
        {"2026-09-29", "2026-12-07", 69},
        {"2026-12-07", "2026-12-06", -1},
        {"2024-02-28", "2024-03-01", 2},
        {"2026-02-28", "2026-03-01", 1},
        {"2026-12-31", "2027-01-01", 1},
        {"2026-02-30", "2026-03-01", std::nullopt},
        {"2026-07-06", "", std::nullopt},
    };
    for (const auto &span : spans) {
        EXPECT_EQ(daysBetween(span.from, span.to), span.days) << span.from << " to " << span.to;
    }
    EXPECT_TRUE(isIsoDate(utcToday()));
}
