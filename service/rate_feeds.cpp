// Readers of the two rate documents: pugixml for the ECB's XML, nlohmann-json's
// SAX interface for the daily table so that every rate keeps its exact decimal
// text instead of passing through a double.
#include "service/rate_feeds.h"

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>

namespace korvalux::service
{

namespace
{

bool isCode(std::string_view code)
{
    return code.size() == 3
        && std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Checks one rate; empty when it is good.
std::string checkRate(std::string_view code, std::string_view text, Fraction &out)
{
    auto value = parseDecimal(text);
    if (!value)
        return "rate of " + std::string(code) + " is not a number";
    if (!value->isPositive())
        return "rate of " + std::string(code) + " is not positive";
    out = std::move(*value);
    return {};
}

// Collects the "eur" object of the daily table with each number's own text.
class DailyTableReader : public nlohmann::json_sax<nlohmann::json>
{
public:
    RateDocument document;
    std::string error; // stops the parse
    std::string rateError; // the first bad rate; the parse goes on to see the whole text
    bool sawDate = false;
    bool sawRates = false;

    bool null() override { return scalar("null"); }
    bool boolean(bool) override { return scalar("a boolean"); }
    bool number_integer(number_integer_t value) override { return number(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) override { return number(std::to_string(value)); }
    bool number_float(number_float_t, const string_t &text) override { return number(text); }
    bool string(string_t &value) override
    {
        if (m_depth == 1 && m_key == "date") {
            if (!isIsoDate(value))
                return fail("date is not YYYY-MM-DD");
            document.date = value;
            sawDate = true;
            return true;
        }
        if (m_depth == 2 && m_inRates)
            return number(value);
        return true; // other top-level strings are of no interest
    }
    bool binary(binary_t &) override { return scalar("binary data"); }
    bool start_object(std::size_t) override
    {
        ++m_depth;
        if (m_depth == 1)
            return true;
        if (m_depth == 2 && m_key == "eur") {
            m_inRates = true;
            sawRates = true;
            return true;
        }
        if (m_inRates)
            return fail("rate of " + upperCaseCode(m_key) + " is not a number");
        return true;
    }
    bool end_object() override
    {
        if (m_depth == 2)
            m_inRates = false;
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override
    {
        if (m_depth == 0)
            return fail("not a JSON object");
        if (m_inRates && m_depth == 2)
            return fail("rate of " + upperCaseCode(m_key) + " is not a number");
        ++m_depth;
        return true;
    }
    bool end_array() override
    {
        --m_depth;
        return true;
    }
    bool key(string_t &value) override
    {
        if (m_depth <= 2)
            m_key = value;
        return true;
    }
    bool parse_error(std::size_t position, const std::string &lastToken,
        const nlohmann::detail::exception &) override
    {
        // The lexer reads one byte past the end before it gives up on a cut text.
        const bool cut = position >= m_size || (position + 1 >= m_size && lastToken.empty());
        error = cut ? "not valid JSON: the text stops at byte " + std::to_string(m_size)
                + " in the middle of the document"
                    : "not valid JSON: unexpected \"" + lastToken.substr(0, 16) + "\" at byte "
                + std::to_string(position);
        return false;
    }
    void setSize(std::size_t size) { m_size = size; }

private:
    bool scalar(const char *what)
    {
        if (m_depth == 0)
            return fail("not a JSON object");
        if (m_inRates && m_depth == 2)
            return fail("rate of " + upperCaseCode(m_key) + " is " + what);
        return true;
    }
    bool number(const std::string &text)
    {
        if (m_depth == 0)
            return fail("not a JSON object");
        if (!(m_inRates && m_depth == 2))
            return true;
        const std::string code = upperCaseCode(m_key);
        Fraction rate;
        // A text cut inside a number ends in a shorter, possibly zero, number, so the
        // rate's fault is only told once the rest of the text has parsed.
        if (auto why = checkRate(code, text, rate); !why.empty()) {
            if (rateError.empty())
                rateError = std::move(why);
            return true;
        }
        // Crypto tokens and such have longer names; only ISO-like codes are kept.
        if (isCode(code))
            document.perEur[code] = std::move(rate);
        return true;
    }
    bool fail(std::string why)
    {
        if (error.empty())
            error = std::move(why);
        return false;
    }

    std::size_t m_size = 0;
    int m_depth = 0;
    bool m_inRates = false;
    std::string m_key;
};

} // namespace

std::string upperCaseCode(std::string_view code)
{
    std::string result(code);
    for (char &c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

ParseResult parseEcbDocument(std::string_view xml)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed)
        return std::string("not valid XML: ") + parsed.description() + " at byte "
            + std::to_string(parsed.offset);

    RateDocument newest;
    bool sawDay = false;
    std::string error;
    // Every day in the file is checked; the newest one is kept.
    for (const pugi::xpath_node &node : doc.select_nodes("//*[local-name()='Cube'][@time]")) {
        const pugi::xml_node day = node.node();
        const std::string date = day.attribute("time").value();
        if (!isIsoDate(date))
            return "day " + date + " is not YYYY-MM-DD";
        RateDocument current;
        current.date = date;
        for (const pugi::xml_node cube : day.children()) {
            if (cube.type() != pugi::node_element)
                continue;
            const std::string code = cube.attribute("currency").value();
            if (!isCode(code))
                return "currency code \"" + code.substr(0, 8) + "\" on " + date + " is not valid";
            Fraction rate;
            if (auto why = checkRate(code, cube.attribute("rate").value(), rate); !why.empty())
                return why + " on " + date;
            current.perEur[code] = std::move(rate);
        }
        if (current.perEur.empty())
            return "no rates on " + date;
        if (!sawDay || current.date > newest.date)
            newest = std::move(current);
        sawDay = true;
    }
    if (!sawDay)
        return std::string("no dated rates in the document");
    return newest;
}

ParseResult parseDailyTableDocument(std::string_view json)
{
    DailyTableReader reader;
    reader.setSize(json.size());
    const bool ok = nlohmann::json::sax_parse(json.begin(), json.end(), &reader);
    if (!ok)
        return reader.error.empty() ? std::string("not valid JSON") : reader.error;
    if (!reader.rateError.empty())
        return reader.rateError;
    if (!reader.sawDate)
        return std::string("no \"date\"");
    if (!reader.sawRates)
        return std::string("no \"eur\" rates");
    if (reader.document.perEur.empty())
        return std::string("no rates");
    return std::move(reader.document);
}

const char *feedName(Feed feed)
{
    return feed == Feed::Ecb ? "ECB rates" : "daily table";
}

ParseResult parseFeed(Feed feed, std::string_view text)
{
    return feed == Feed::Ecb ? parseEcbDocument(text) : parseDailyTableDocument(text);
}

} // namespace korvalux::service
