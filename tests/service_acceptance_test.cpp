// Which rate document is taken, as one table: dates against today (a day of
// slack) and against the document in use, the tenfold bound on the rates the
// table shows, and the newest of several with each caller's tie rule. Then the
// one "YYYY-MM-DD" parser and its day arithmetic.
#include "service/iso_date.h"
#include "service/rate_acceptance.h"

#include "service_test_data.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace korvalux::service;
using namespace korvalux::service::testData;

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
        OnTie onTie;
        std::vector<Offer> offers;
        int winner; // the offer taken; -1: none
        const char *refused; // a part of the first offer's refusal; "": it is acceptable
    };
    constexpr auto refresh = OnTie::KeepEarlier;
    constexpr auto start = OnTie::TakeLater;
    const char *july31 = "2026-07-31";
    const char *inUse = "2026-07-06";
    const char *tenfold = "rate of JPY moved more than tenfold";
    const Row rows[] = {
        {"the day in use", july31, inUse, refresh, {{"2026-07-06"}}, 0, ""},
        {"newer", july31, inUse, refresh, {{"2026-07-20"}}, 0, ""},
        {"older than in use", july31, inUse, refresh, {{"2026-07-05"}}, -1,
            "dated 2026-07-05, older than the 2026-07-06 in use"},
        {"today", july31, inUse, refresh, {{"2026-07-31"}}, 0, ""},
        {"a day ahead: the publisher's day began first", july31, inUse, refresh, {{"2026-08-01"}},
            0, ""},
        {"two days ahead", july31, inUse, refresh, {{"2026-08-02"}}, -1,
            "dated 2026-08-02, in the future (today is 2026-07-31)"},
        {"a day ahead across a year", "2026-12-31", inUse, refresh, {{"2027-01-01"}}, 0, ""},
        {"two days ahead across a year", "2026-12-31", inUse, refresh, {{"2027-01-02"}}, -1,
            "in the future"},
        {"a day after a leap day", "2024-02-29", nullptr, start, {{"2024-03-01"}}, 0, ""},
        {"two days after the day before a leap day", "2024-02-28", nullptr, start, {{"2024-03-01"}},
            -1, "in the future"},
        {"exactly ten times", july31, inUse, refresh, {{"2026-07-07", "JPY", "1853.1"}}, 0, ""},
        {"just over ten times", july31, inUse, refresh, {{"2026-07-07", "JPY", "1853.1000001"}}, -1,
            tenfold},
        {"exactly a tenth", july31, inUse, refresh, {{"2026-07-07", "JPY", "18.531"}}, 0, ""},
        {"just under a tenth", july31, inUse, refresh, {{"2026-07-07", "JPY", "18.5309999"}}, -1,
            tenfold},
        {"100 JPY worth 10^66 EUR", july31, inUse, refresh, {{"2026-07-07", "JPY", "1e-64"}}, -1,
            tenfold},
        {"a code the table does not show", july31, inUse, refresh,
            {{"2026-07-07", "XYZ", "1000000"}}, 0, ""},
        {"first from this feed", july31, inUse, refresh, {{"2026-07-07", "ARS", "4000000"}}, 0, ""},
        {"nothing in use bounds nothing", july31, nullptr, start, {{"2026-07-07", "JPY", "1853.2"}},
            0, ""},
        {"the newest of several", july31, inUse, refresh,
            {{"2026-07-08"}, {"2026-07-12"}, {"2026-07-10"}}, 1, ""},
        {"a tie in a refresh: the first address", july31, inUse, refresh,
            {{"2026-07-10"}, {"2026-07-10"}}, 0, ""},
        {"a tie at start: the later file, the cache", july31, nullptr, start,
            {{"2026-07-10"}, {"2026-07-10"}}, 1, ""},
        {"an invalid document loses to a valid older one", july31, nullptr, start,
            {{nullptr}, {"2026-07-07"}}, 1, "not valid XML"},
        {"a refused newer one loses to an older one", july31, inUse, refresh,
            {{"2026-07-07"}, {"2026-08-05"}}, 0, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        RateDocument current = ecbDocument();
        current.perEur["XYZ"] = *parseDecimal("1");
        if (row.inUse)
            current.date = row.inUse;
        DocumentChoice choice(
            {row.today, row.inUse ? &current : nullptr, &snapshotTable()}, row.onTie);
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
