// One pass over a request's bytes as they arrive: each line is found once, the
// fields that decide framing are read as their line completes, and a request is
// refused at the first byte that makes it unreadable. A head split anywhere
// gets the same verdict as the head in one piece. Everything the service does
// not need to judge framing (the method, the target, the other field values) is
// left to Beast's parser, which then sees only whole, checked requests.
#include "service/request_framing.h"

#include "service/hex_digit.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvalux::service
{

namespace
{

constexpr std::string_view badRequest = "Bad request";
constexpr std::string_view bodyTooLarge = "Request body too large";
constexpr std::string_view framingTooLarge
    = "Chunk framing too large (at most 8 KiB of chunk-size lines, CRLFs and trailer)";

// RFC 9110's tchar: what a field name is made of.
constexpr std::array<bool, 256> tokenChars = [] {
    std::array<bool, 256> table {};
    for (unsigned char c = '0'; c <= '9'; ++c)
        table[c] = true;
    for (unsigned char c = 'a'; c <= 'z'; ++c) {
        table[c] = true;
        table[c - 'a' + 'A'] = true;
    }
    for (char c : std::string_view("!#$%&'*+-.^_`|~"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Case-insensitive; lowerName is in lower case.
bool sameName(std::string_view text, std::string_view lowerName)
{
    if (text.size() != lowerName.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != lowerName[i])
            return false;
    }
    return true;
}

// Each element of a comma-separated list, trimmed; empty ones included.
template<class Take> void forEachElement(std::string_view list, Take take)
{
    for (;;) {
        const std::size_t comma = list.find(',');
        take(trim(list.substr(0, comma)));
        if (comma == std::string_view::npos)
            return;
        list.remove_prefix(comma + 1);
    }
}

// RFC 3986's unreserved and sub-delims: a reg-name but for its pct-encoded bytes.
bool isRegNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c)
        || (c != '\0' && std::strchr("-._~!$&'()*+,;=", c) != nullptr);
}

} // namespace

bool isValidHost(std::string_view value)
{
    std::size_t at = 0;
    if (value.starts_with('[')) { // an IPv6 literal
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos || close == 1)
            return false;
        for (char c : value.substr(1, close - 1)) {
            if (hexValue(c) < 0 && c != ':' && c != '.')
                return false;
        }
        at = close + 1;
    } else {
        while (at < value.size()) {
            if (value[at] == '%' && at + 2 < value.size() && hexValue(value[at + 1]) >= 0
                && hexValue(value[at + 2]) >= 0)
                at += 3;
            else if (isRegNameChar(value[at]))
                ++at;
            else
                break;
        }
        if (at == 0)
            return value.empty(); // empty is allowed, a port alone is not
    }
    if (at == value.size())
        return true;
    if (value[at] != ':')
        return false;
    return std::all_of(value.begin() + static_cast<std::ptrdiff_t>(at) + 1, value.end(), isDigit);
}

Framing RequestFramer::scan(std::string_view text)
{
    while (m_phase != Phase::Whole && m_phase != Phase::Refused) {
        if (!step(text))
            return Framing::NeedMore;
    }
    return m_phase == Phase::Whole ? Framing::Whole : Framing::Refused;
}

bool RequestFramer::refuse(unsigned status, std::string_view sentence)
{
    m_phase = Phase::Refused;
    m_refusal = Refusal {status, sentence};
    return true;
}

// Where the line being read must end by: one limit for the whole head, another
// for all the chunk framing around the content.
std::size_t RequestFramer::lineBound() const
{
    if (m_phase == Phase::RequestLine || m_phase == Phase::Fields)
        return maxHeadLength;
    return m_headEnd + m_payload + maxChunkFraming;
}

bool RequestFramer::step(std::string_view text)
{
    if (m_phase == Phase::Body) {
        if (text.size() < m_end)
            return false;
        m_phase = Phase::Whole;
        return true;
    }
    if (m_phase == Phase::ChunkData) {
        const std::size_t crlf = m_lineStart + m_chunkLeft;
        if (crlf + 2 > lineBound())
            return refuse(413, framingTooLarge);
        if (text.size() < crlf + 2)
            return false;
        if (text[crlf] != '\r' || text[crlf + 1] != '\n')
            return refuse(400, badRequest);
        m_lineStart = m_at = crlf + 2;
        m_phase = Phase::ChunkSize;
        return true;
    }

    const bool fieldLine = m_phase == Phase::Fields || m_phase == Phase::Trailer;
    const std::size_t bound = lineBound();
    const std::size_t end = std::min(text.size(), bound);
    // Known at the line's first byte: a parser would join this line to the one before.
    if (fieldLine && m_lineStart < end && isBlank(text[m_lineStart]))
        return refuse(400, "Bad request: folded header line");
    const void *found = m_at < end ? std::memchr(text.data() + m_at, '\n', end - m_at) : nullptr;
    const std::size_t lineFeed = found
        ? static_cast<std::size_t>(static_cast<const char *>(found) - text.data())
        : std::string_view::npos;
    // A CR is only ever the line's end: one followed by anything but its LF is
    // refused as soon as that byte is here, not after the read time-out.
    const std::size_t searched = found ? lineFeed : end;
    const void *cr
        = m_at < searched ? std::memchr(text.data() + m_at, '\r', searched - m_at) : nullptr;
    const std::size_t carriageReturn = cr
        ? static_cast<std::size_t>(static_cast<const char *>(cr) - text.data())
        : std::string_view::npos;
    if (cr && carriageReturn + 1 < searched)
        return refuse(400, "Bad request: bare carriage return");
    if (!found) {
        if (text.size() < bound) {
            m_at = cr ? carriageReturn : end; // what follows a last CR is yet to be seen
            return false;
        }
        if (m_phase == Phase::RequestLine)
            return refuse(414, "Request too long (at most 8 KiB)");
        if (m_phase == Phase::Fields)
            return refuse(431, "Request head too large (at most 8 KiB)");
        return refuse(413, framingTooLarge);
    }
    if (lineFeed == m_lineStart || text[lineFeed - 1] != '\r')
        return refuse(400, "Bad request: bare line feed");
    const std::string_view line = text.substr(m_lineStart, lineFeed - 1 - m_lineStart);
    m_lineStart = m_at = lineFeed + 1;
    return takeLine(line);
}

bool RequestFramer::takeLine(std::string_view line)
{
    switch (m_phase) {
    case Phase::RequestLine: {
        // "METHOD SP target SP HTTP/d.d": the version is needed here, the rest
        // is the parser's to check.
        const std::size_t n = line.size();
        if (n < 9 || line[n - 9] != ' ' || line.substr(n - 8, 5) != "HTTP/" || !isDigit(line[n - 3])
            || line[n - 2] != '.' || !isDigit(line[n - 1]))
            return refuse(400, badRequest);
        m_version = static_cast<unsigned>((line[n - 3] - '0') * 10 + (line[n - 1] - '0'));
        m_phase = Phase::Fields;
        return true;
    }
    case Phase::ChunkSize:
        return takeChunkSize(line);
    case Phase::Fields:
    case Phase::Trailer:
        break;
    default:
        return refuse(400, badRequest);
    }

    if (line.empty()) {
        if (m_phase == Phase::Trailer) {
            m_end = m_lineStart;
            m_phase = Phase::Whole;
            return true;
        }
        m_headEnd = m_lineStart;
        return finishHead();
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return refuse(400, badRequest);
    const std::string_view name = line.substr(0, colon);
    for (char c : name) {
        if (!tokenChars[static_cast<unsigned char>(c)])
            return refuse(400, badRequest);
    }
    if (m_phase == Phase::Trailer)
        return true; // nothing in a trailer changes how the request is framed
    return takeField(name, trim(line.substr(colon + 1)));
}

bool RequestFramer::takeField(std::string_view name, std::string_view value)
{
    if (sameName(name, "host")) {
        ++m_hosts;
        if (!isValidHost(value))
            return note(400, "Bad request: invalid Host header");
    } else if (sameName(name, "content-length")) {
        // One plain number: a list or a second line is one more way to disagree.
        if (m_lengthGiven || value.empty() || !std::all_of(value.begin(), value.end(), isDigit))
            return note(400, "Bad request: invalid Content-Length");
        m_lengthGiven = true;
        for (char c : value) // saturates just past the limit
            m_contentLength = std::min(m_contentLength * 10 + (c - '0'), maxBodyLength + 1);
    } else if (sameName(name, "transfer-encoding")) {
        m_codingSeen = true;
        forEachElement(value, [this](std::string_view coding) {
            ++m_codings;
            m_onlyChunked = m_onlyChunked && sameName(coding, "chunked");
        });
    } else if (sameName(name, "connection")) {
        forEachElement(value, [this](std::string_view option) {
            m_close = m_close || sameName(option, "close");
            m_keepAlive = m_keepAlive || sameName(option, "keep-alive");
        });
    }
    return true;
}

bool RequestFramer::note(unsigned status, std::string_view sentence)
{
    if (m_problem.status == 0)
        m_problem = Refusal {status, sentence};
    return true;
}

bool RequestFramer::finishHead()
{
    if (m_problem.status != 0)
        return refuse(m_problem.status, m_problem.sentence);
    if (m_codingSeen) {
        // Any other coding, or chunked in HTTP/1.0, leaves a length to guess at,
        // and a second request could hide in the body.
        if (m_version < 11 || m_codings != 1 || !m_onlyChunked)
            return refuse(400, "Bad request: Transfer-Encoding other than chunked");
        if (m_lengthGiven)
            return refuse(400, "Bad request: Content-Length with Transfer-Encoding");
    }
    if (m_version >= 11 ? m_hosts != 1 : m_hosts > 1)
        return refuse(400, "Bad request: one Host header needed");
    if (m_contentLength > maxBodyLength)
        return refuse(413, bodyTooLarge);
    if (m_codingSeen) {
        m_phase = Phase::ChunkSize;
        return true;
    }
    m_end = m_headEnd + m_contentLength;
    m_phase = Phase::Body;
    return true;
}

bool RequestFramer::takeChunkSize(std::string_view line)
{
    std::size_t size = 0;
    std::size_t digits = 0;
    for (; digits < line.size() && hexValue(line[digits]) >= 0; ++digits) {
        size = size * 16 + static_cast<std::size_t>(hexValue(line[digits]));
        if (m_payload + size > maxBodyLength)
            return refuse(413, bodyTooLarge);
    }
    // Extensions are the parser's to check; only where they begin matters here.
    const std::string_view rest = trim(line.substr(digits));
    if (digits == 0 || !(rest.empty() || rest.front() == ';'))
        return refuse(400, badRequest);
    m_payload += size;
    m_chunkLeft = size;
    m_phase = size == 0 ? Phase::Trailer : Phase::ChunkData;
    return true;
}

} // namespace korvalux::service
