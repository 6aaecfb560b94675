// Fuzz target for the service's request handler: any request target (and a
// method picked by the first byte) must give an answer without crashing, and the
// answer must be a well-formed ASCII page with exactly one result cell. The same
// bytes, as a raw request, must get the framer's verdict whole and split in two.
#include "service/pages.h"
#include "service/rate_table.h"
#include "service/request_framing.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace korvalux::service;

namespace
{

const RateTable &table()
{
    static const RateTable table = [] {
        RateDocument ecb;
        ecb.date = "2026-07-06";
        ecb.perEur["USD"] = *parseDecimal("1.1415");
        ecb.perEur["JPY"] = *parseDecimal("185.31");
        ecb.perEur["SGD"] = *parseDecimal("1.4765");
        ecb.perEur["INR"] = *parseDecimal("108.9035");
        RateDocument daily;
        daily.date = "2026-07-05";
        daily.perEur["VES"] = *parseDecimal("736.6990462");
        daily.perEur["RSD"] = *parseDecimal("117.29197377");
        daily.perEur["ARS"] = *parseDecimal("1706.39780514");
        return buildRateTable(ecb, daily);
    }();
    return table;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkFraming(std::string_view bytes, std::size_t split)
{
    RequestFramer whole;
    const Framing verdict = whole.scan(bytes);
    RequestFramer parts;
    const Framing early = parts.scan(bytes.substr(0, split));
    check(early == Framing::NeedMore || early == verdict);
    check(parts.scan(bytes) == verdict);
    if (verdict == Framing::Whole) {
        check(whole.length() <= bytes.size() && whole.length() == parts.length());
        check(whole.keepAlive() == parts.keepAlive());
        check(whole.length() <= maxRequestLength);
    } else if (verdict == Framing::Refused) {
        const unsigned status = whole.refusal().status;
        check(status == 400 || status == 413 || status == 414 || status == 431);
        check(status == parts.refusal().status
            && whole.refusal().sentence == parts.refusal().sentence);
    } else {
        check(bytes.size() < maxRequestLength);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    checkFraming(
        std::string_view(reinterpret_cast<const char *>(data), size), size * data[0] / 256);
    static constexpr std::string_view methods[] = {"GET", "HEAD", "POST", "GET", "OPTIONS"};
    const std::string_view method = methods[data[0] % 5];
    std::string target = "/finance/converter?";
    if (data[0] & 0x80)
        target.clear(); // the whole target from the input
    target.append(reinterpret_cast<const char *>(data + 1), size - 1);

    const Response response = handleRequest(method, target, table());
    check(response.status == 200 || response.status == 404 || response.status == 405
        || response.status == 414);
    const std::string &body = response.body;
    check(!body.empty());
    for (unsigned char c : body)
        check(c < 0x80 && (c >= 0x20 || c == '\n'));
    if (response.contentType.starts_with("text/plain")) {
        check(body.starts_with("ok 2026-07-06"));
        return 0;
    }
    check(body.starts_with("<!DOCTYPE html>\n<html>") && body.ends_with("</html>\n"));
    const std::string_view path = std::string_view(target).substr(0, target.find('?'));
    if (response.status != 200 || path == "/finance/converter") {
        // One result cell, closed, holding no markup but the <b> of a result.
        const std::size_t open = body.find("<td align=left>");
        check(open != std::string::npos);
        check(body.find("<td align=left>", open + 1) == std::string::npos);
        const std::size_t close = body.find("</td>", open);
        check(close != std::string::npos);
        const std::string_view cell(body.data() + open + 15, close - open - 15);
        check(cell.size() <= 240); // a 32-character echo of '"' grows to 192
        std::size_t tags = 0;
        for (char c : cell)
            tags += c == '<';
        check(tags == 0
            || (tags == 2 && cell.find("<b>") != std::string_view::npos
                && cell.find("</b>") != std::string_view::npos));
    }
    return 0;
}
