// The service's answers, from request target to page: the converter sentence for
// good and bad input, escaping of echoed input, the other paths and methods.
#include "service/pages.h"
#include "service/rate_feeds.h"
#include "service/rate_table.h"

#include "service_test_data.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace korvalux::service;
using testData::snapshotTable;

namespace
{

// The first "<td align=left>" cell, as the desktop program finds it.
std::string cell(const std::string &page)
{
    const std::size_t start = page.find("<td align=left>");
    if (start == std::string::npos)
        return "<no cell>";
    const std::size_t from = start + 15;
    const std::size_t end = page.find("</td>", from);
    return end == std::string::npos ? "<no end>" : page.substr(from, end - from);
}

bool isAscii(const std::string &text)
{
    for (unsigned char c : text) {
        if (c >= 0x80 || (c < 0x20 && c != '\n'))
            return false;
    }
    return true;
}

} // namespace

TEST(ServicePages, ConverterSentences)
{
    struct Row {
        const char *query;
        const char *cell;
    };
    const Row rows[] = {
        {"a=100&from=USD&to=EUR", "100 USD = <b>87.6040 EUR</b> (2026-07-06)"},
        {"a=1&from=JPY&to=EUR", "1 JPY = <b>0.005396 EUR</b> (2026-07-06)"},
        {"a=1000&from=EEK&to=EUR", "1000 EEK = <b>63.9116 EUR</b> (fixed rate)"},
        {"a=100&from=AED&to=SAR", "100 AED = <b>102.1103 SAR</b> (2026-07-06)"},
        {"a=250&from=EUR&to=USD", "250 EUR = <b>285.3750 USD</b> (2026-07-06)"},
        {"a=1,000.50&from=USD&to=EUR", "1000.50 USD = <b>876.4783 EUR</b> (2026-07-06)"},
        {"a=1,5&from=EUR&to=BGN", "1.5 EUR = <b>2.9337 BGN</b> (fixed rate)"},
        {"a=%201%2C5%20&from=EUR&to=BGN", "1.5 EUR = <b>2.9337 BGN</b> (fixed rate)"},
        {"a=-2&from=EUR&to=CHF", "-2 EUR = <b>-1.8402 CHF</b> (2026-07-06)"},
        {"a=0&from=EUR&to=CHF", "0 EUR = <b>0.0000 CHF</b> (2026-07-06)"},
        {"a=1&from=usd&to=eur", "1 USD = <b>0.8760 EUR</b> (2026-07-06)"},
        {"a=1&from=EUR&to=VEB", "1 EUR = <b>73669904620000000.0000 VEB</b> (2026-07-06)"},
        {"a=1&from=VEB&to=EUR", "1 VEB = <b>0.00000000000000001357 EUR</b> (2026-07-06)"},
        {"from=USD&to=EUR&a=3", "3 USD = <b>2.6281 EUR</b> (2026-07-06)"},
        {"a=3&a=4&from=USD&to=EUR", "3 USD = <b>2.6281 EUR</b> (2026-07-06)"},
        {"a=1,5 x&from=USD&to=EUR", "Not an amount: 1,5 x"},
        {"a=1,5%20x&from=USD&to=EUR", "Not an amount: 1,5 x"},
        {"a=&from=USD&to=EUR", "No amount given"},
        {"from=USD&to=EUR", "No amount given"},
        {"", "No amount given"},
        {"a=1e99&from=USD&to=EUR", "Not an amount: 1e99"},
        {"a=2000000000000000&from=USD&to=EUR",
            "Amount too large (at most 10^15): 2000000000000000"},
        {"a=1&from=&to=EUR", "No currency to convert from"},
        {"a=1&from=USD", "No currency to convert to"},
        {"a=1&from=XYZ&to=EUR", "Unknown currency: XYZ"},
        {"a=1&from=USD&to=EURO", "Unknown currency: EURO"},
        {"a=1&from=US&to=EUR", "Unknown currency: US"},
        {"a=1&from=%00&to=EUR", "Unknown currency: ?"},
    };
    for (const auto &row : rows) {
        const Response response
            = handleRequest("GET", std::string("/finance/converter?") + row.query, snapshotTable());
        EXPECT_EQ(response.status, 200u) << row.query;
        EXPECT_EQ(response.contentType, "text/html; charset=windows-1252");
        EXPECT_EQ(cell(response.body), row.cell) << row.query;
        EXPECT_TRUE(isAscii(response.body)) << row.query;
    }
}

TEST(ServicePages, EchoedInputCarriesStandInsNotEntities)
{
    struct Row {
        const char *query;
        const char *cell;
    };
    const Row rows[] = {
        {"a=%3C&from=USD&to=EUR", "Not an amount: ?"},
        {"a=%3E&from=USD&to=EUR", "Not an amount: ?"},
        {"a=%26&from=USD&to=EUR", "Not an amount: ?"},
        {"a=%22&from=USD&to=EUR", "Not an amount: ?"},
        {"a=1'5&from=USD&to=EUR", "Not an amount: 1?5"},
        {"a=%3C/td%3E%3Cscript%3Ealert(1)%3C/script%3E&from=USD&to=EUR",
            "Not an amount: ?/td??script?alert(1)?/script?"},
        {"a=<b>&from=USD&to=EUR", "Not an amount: ?b?"},
        {"a=x%26amp;y%22z'&from=USD&to=EUR", "Not an amount: x?amp;y?z?"},
        {"a=%E9t%C3%A9&from=USD&to=EUR", "Not an amount: ?t??"},
        {"a=%0D%0Ax%09&from=USD&to=EUR", "Not an amount: ??x?"},
        {"a=1%7F2&from=USD&to=EUR", "Not an amount: 1?2"}, // DEL
        {"a=%&from=USD&to=EUR", "Not an amount: %"}, {"a=%4&from=USD&to=EUR", "Not an amount: %4"},
        {"a=%zz&from=USD&to=EUR", "Not an amount: %zz"},
        {"a=abcdefghijklmnopqrstuvwxyz0123456789&from=USD&to=EUR",
            "Not an amount: abcdefghijklmnopqrstuvwxyz012345"},
        {"a=12345678901234567890123456789012345678901234&from=USD&to=EUR",
            "Amount too long: 12345678901234567890123456789012"},
        {"a=1&from=%3Ctd%20align=left%3E&to=EUR", "Unknown currency: ?TD ALIGN=LEFT?"},
        {"a=1&from=USD&to=<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<",
            "Unknown currency: ????????????????????????????????"}, // 32 of 40
    };
    for (const auto &row : rows) {
        const Response response
            = handleRequest("GET", std::string("/finance/converter?") + row.query, snapshotTable());
        EXPECT_EQ(response.status, 200u) << row.query;
        EXPECT_EQ(cell(response.body), row.cell) << row.query;
        EXPECT_TRUE(isAscii(response.body)) << row.query;
    }
}

// Whatever is echoed, and wherever the cut falls, the result cell holds no
// entity: the window shows the cell's text as it stands.
TEST(ServicePages, NoSentenceCarriesAnEntity)
{
    std::vector<std::pair<std::string, std::string>> requests = {
        {"POST", "/"},
        {"<&>", "/"},
        {"GET", "/%3C%26%3E%22%27"},
        {"GET", "/" + std::string(8200, '&')},
        {"GET", "/finance/converter?a=" + std::string(50, '&') + "&from=USD&to=EUR"},
        {"GET", "/finance/converter?a=1&from=%26%26%26&to=EUR"},
        {"GET", "/finance/converter?a=1&from=USD&to=%22%27%3C%3E"},
    };
    // Every cut: the echoed text ends at each character of a run of markup.
    for (std::size_t fill = 20; fill <= 32; ++fill)
        requests.emplace_back("GET",
            "/finance/converter?a=" + std::string(fill, 'x') + "%3C%26%3E%22%27&from=USD&to=EUR");
    for (const auto &[method, target] : requests) {
        const std::string shown = cell(handleRequest(method, target, snapshotTable()).body);
        EXPECT_EQ(shown.find('&'), std::string::npos) << method << " " << target.substr(0, 60);
        EXPECT_EQ(shown.find_first_of("\"'"), std::string::npos) << target.substr(0, 60);
    }
}

TEST(ServicePages, PathsAndMethods)
{
    struct Row {
        const char *method;
        std::string target;
        unsigned status;
        const char *contains;
    };
    const Row rows[] = {
        {"GET", "/", 200, "<td>VEB</td><td>73669904620000000</td>"},
        {"GET", "/?x=1", 200, "<h1>Korvalux</h1>"},
        {"GET", "/healthz", 200, "ok 2026-07-06"},
        {"HEAD", "/finance/converter?a=1&from=USD&to=EUR", 200, "<b>0.8760 EUR</b>"},
        {"GET", "/finance/converter", 200, "No amount given"},
        {"GET", "/finance/converter/", 404, "Not found: /finance/converter/"},
        {"GET", "/favicon.ico", 404, "<td align=left>Not found: /favicon.ico</td>"},
        {"GET", "/%3Cx%3E", 404, "Not found: /?x?"},
        {"GET", "http://host:8765/finance/converter?a=1&from=EUR&to=USD", 200, "1.1415 USD"},
        {"GET", "http://host", 200, "<h1>Korvalux</h1>"},
        {"GET", "HTTP://HOST/healthz", 200, "ok 2026-07-06"},
        {"GET", "Https://Host:8765/finance/converter?a=1&from=EUR&to=USD", 200, "1.1415 USD"},
        {"GET", "ftp://host/finance/converter?a=1", 404, "Not found"},
        {"POST", "/finance/converter?a=1&from=USD&to=EUR", 405, "Method not allowed: POST"},
        {"DELETE", "/", 405, "Method not allowed"},
        {"get", "/", 405, "Method not allowed: get"},
        {"GET", "/finance/converter?a=" + std::string(8192, '1'), 414, "Request too long"},
        {"GET", "/" + std::string(8191, 'x'), 404, "Not found"},
    };
    for (const auto &row : rows) {
        const Response response = handleRequest(row.method, row.target, snapshotTable());
        EXPECT_EQ(response.status, row.status) << row.method << " " << row.target.substr(0, 40);
        EXPECT_NE(response.body.find(row.contains), std::string::npos)
            << row.method << " " << row.target.substr(0, 40) << "\n"
            << response.body.substr(0, 300);
        EXPECT_TRUE(isAscii(response.body));
        // Exactly the requests answered with a converter sentence may wait for fresh rates.
        EXPECT_EQ(isConverterRequest(row.method, row.target),
            response.status == 200 && response.body.find("<td align=left>") != std::string::npos)
            << row.method << " " << row.target.substr(0, 40);
    }
}

TEST(ServicePages, HomePageListsEveryCurrency)
{
    const Response home = handleRequest("GET", "/", snapshotTable());
    for (const auto &[code, rate] : snapshotTable().rates())
        EXPECT_NE(home.body.find("<tr><td>" + code + "</td>"), std::string::npos) << code;
    // The result cell marker must not appear: only converter pages carry one.
    EXPECT_EQ(home.body.find("<td align=left>"), std::string::npos);
    EXPECT_NE(home.body.find("<td>EEK</td><td>15.6466</td><td>euro conversion rate</td><td>fixed "
                             "rate</td>"),
        std::string::npos);
}

TEST(ServicePages, PercentDecoding)
{
    struct Row {
        const char *in;
        std::string out;
    };
    const Row rows[] = {
        {"a%20b", "a b"},
        {"%41%62", "Ab"},
        {"%2b+", "++"},
        {"100%", "100%"},
        {"%%41", "%A"},
        {"%g1", "%g1"},
        {"%00", std::string(1, '\0')},
        {"%ff", "\xff"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(percentDecode(row.in), row.out) << row.in;
}
