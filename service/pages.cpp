// The converter page, the home page, the health answer and the error pages. All
// pages are ASCII and short; the result sentence sits in the page's first
// "<td align=left>" cell, which is what the desktop program cuts out and shows.
#include "service/pages.h"

#include "service/amount.h"
#include "service/hex_digit.h"

#include <optional>

namespace korvalux::service
{

namespace
{

constexpr std::string_view htmlType = "text/html; charset=windows-1252";
constexpr std::string_view textType = "text/plain; charset=windows-1252";
constexpr std::size_t maxEcho = 32;

// prefix is in lower case.
bool startsWithAnyCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i])
            return false;
    }
    return true;
}

// The first value of name in a query, raw; nullopt when absent.
std::optional<std::string_view> queryValue(std::string_view query, std::string_view name)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name)
            return eq == std::string_view::npos ? std::string_view {} : pair.substr(eq + 1);
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

std::string page(std::string_view title, std::string_view cell, std::string_view more = {})
{
    std::string body;
    body.reserve(256 + cell.size() + more.size());
    body += "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1252\"><title>";
    body += title;
    body += "</title></head>\n<body><table><tr><td align=left>";
    body += cell;
    body += "</td></tr></table>\n";
    body += more;
    body += "<p><a href=\"/\">Korvalux converter</a></p></body></html>\n";
    return body;
}

bool isCatalogueCode(std::string_view code)
{
    for (std::string_view known : catalogueCodes()) {
        if (known == code)
            return true;
    }
    return false;
}

std::string amountProblem(AmountError error, std::string_view text)
{
    switch (error) {
    case AmountError::Empty:
        return "No amount given";
    case AmountError::TooLong:
        return "Amount too long: " + echo(text);
    case AmountError::TooLarge:
        return "Amount too large (at most 10^15): " + echo(text);
    case AmountError::NotANumber:
        break;
    }
    return "Not an amount: " + echo(text);
}

// The absolute form a client sends through a proxy: scheme and host dropped,
// both case-insensitive.
std::string_view originForm(std::string_view target)
{
    for (std::string_view scheme : {"http://", "https://"}) {
        if (startsWithAnyCase(target, scheme)) {
            const std::size_t slash = target.find('/', scheme.size());
            return slash == std::string_view::npos ? "/" : target.substr(slash);
        }
    }
    return target;
}

constexpr std::string_view converterPath = "/finance/converter";

Response converterPage(std::string_view query, const RateTable &table)
{
    return Response {200, htmlType, page("Korvalux converter", converterSentence(query, table))};
}

Response homePage(const RateTable &table)
{
    std::string rows;
    for (const auto &[code, rate] : table.rates()) {
        rows += "<tr><td>";
        rows += code;
        rows += "</td><td>";
        rows += formatExact(rate.perEur);
        rows += "</td><td>";
        rows += escapeHtml(rate.source);
        rows += "</td><td>";
        rows += rate.date ? *rate.date : std::string("fixed rate");
        rows += "</td></tr>\n";
    }
    std::string body;
    body += "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1252\"><title>Korvalux"
            "</title></head>\n<body><h1>Korvalux</h1>\n"
            "<p>Korvalux is a small desktop currency converter: type an amount, pick two of "
            "65 currencies and press Convert. This is its converter service, answering "
            "from the ECB's euro reference rates, a CC0 daily table and the fixed euro "
            "rates and pegs, any pair through the euro.</p>\n"
            "<p>Ask <code>/finance/converter?a=100&amp;from=USD&amp;to=EUR</code>.</p>\n"
            "<table border=1><tr><th>Code</th><th>Per EUR</th><th>Source</th><th>Date</th>"
            "</tr>\n";
    body += rows;
    body += "</table></body></html>\n";
    return Response {200, htmlType, std::move(body)};
}

} // namespace

std::string echo(std::string_view text)
{
    // An entity would read differently in a browser and in the desktop window,
    // which decodes none but "&nbsp;"; a stand-in reads the same in both.
    std::string out(text.substr(0, maxEcho));
    for (char &c : out) {
        const auto byte = static_cast<unsigned char>(c);
        const bool markup = c == '<' || c == '>' || c == '&' || c == '"' || c == '\'';
        if (markup || byte < 0x20 || byte >= 0x7f)
            c = '?';
    }
    return out;
}

std::string escapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += (c >= 0x20 && c < 0x7f) ? c : '?';
        }
    }
    return out;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
            && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string converterSentence(std::string_view query, const RateTable &table)
{
    const std::string amountText = percentDecode(queryValue(query, "a").value_or(""));
    const auto parsed = parseAmount(amountText);
    if (const auto *error = std::get_if<AmountError>(&parsed))
        return amountProblem(*error, amountText);
    const Amount &amount = std::get<Amount>(parsed);

    const auto fromRaw = queryValue(query, "from");
    const auto toRaw = queryValue(query, "to");
    const std::string from = upperCaseCode(percentDecode(fromRaw.value_or("")));
    const std::string to = upperCaseCode(percentDecode(toRaw.value_or("")));
    if (from.empty())
        return "No currency to convert from";
    if (to.empty())
        return "No currency to convert to";
    for (const std::string *code : {&from, &to}) {
        if (!table.find(*code))
            return (isCatalogueCode(*code) ? "No rate for " : "Unknown currency: ") + echo(*code);
    }

    const auto conversion = table.convert(amount.value, from, to);
    std::string sentence;
    sentence.reserve(64);
    sentence += amount.text;
    sentence += ' ';
    sentence += from;
    sentence += " = <b>";
    sentence += formatValue(conversion->value);
    sentence += ' ';
    sentence += to;
    sentence += "</b> (";
    sentence += conversion->date ? *conversion->date : std::string("fixed rate");
    sentence += ')';
    return sentence;
}

Response errorPage(unsigned status, std::string_view sentence)
{
    return Response {status, htmlType, page("Korvalux converter", sentence)};
}

bool isConverterRequest(std::string_view method, std::string_view target)
{
    if (target.size() > maxTargetLength || (method != "GET" && method != "HEAD"))
        return false;
    target = originForm(target);
    return target.substr(0, target.find('?')) == converterPath;
}

Response handleRequest(std::string_view method, std::string_view target, const RateTable &table)
{
    if (target.size() > maxTargetLength)
        return errorPage(414, "Request too long (at most 8 KiB)");
    if (method != "GET" && method != "HEAD")
        return errorPage(405, "Method not allowed: " + echo(method));

    target = originForm(target);
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query
        = question == std::string_view::npos ? std::string_view {} : target.substr(question + 1);
    if (path == converterPath)
        return converterPage(query, table);
    if (path == "/")
        return homePage(table);
    if (path == "/healthz")
        return Response {200, textType, "ok " + table.newestDate() + "\n"};
    return errorPage(404, "Not found: " + echo(percentDecode(path)));
}

} // namespace korvalux::service
