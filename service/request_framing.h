// Where a request on a connection ends, decided from its raw bytes before any
// parser sees them: the head's lines (CRLF only, no folded lines, one size limit
// over the whole head), then the body by Content-Length or by chunks, trailer
// included. Host, Transfer-Encoding, Content-Length and Connection are judged
// here too. No socket, no Beast: session.cpp feeds it the bytes as they come and
// gives the parser only a request this framer has found whole.
#pragma once

#include <cstddef>
#include <string_view>

namespace korvalux::service
{

inline constexpr std::size_t maxHeadLength = 8192; // request line to blank line, inclusive
inline constexpr std::size_t maxBodyLength = 8192; // the content, without chunk framing
inline constexpr std::size_t maxChunkFraming = 8192; // chunk-size lines, their CRLFs, trailer
inline constexpr std::size_t maxRequestLength = maxHeadLength + maxBodyLength + maxChunkFraming;

enum class Framing { NeedMore, Whole, Refused };

// Why a request cannot be read, as the answer gives it.
struct Refusal {
    unsigned status = 0;
    std::string_view sentence;
};

class RequestFramer
{
public:
    // text holds the connection's bytes from this request's first on, and at
    // least what the call before saw. Only the bytes not seen before are read.
    // The verdict depends on the bytes alone, never on how they were split.
    Framing scan(std::string_view text);

    // Once Whole: the bytes of the request, head and body (any later bytes
    // belong to the next request), and whether the connection stays open.
    std::size_t length() const { return m_end; }
    bool keepAlive() const { return !m_close && (m_version >= 11 || m_keepAlive); }

    // Once Refused. The connection is to be closed after the answer.
    const Refusal &refusal() const { return m_refusal; }

    // For the next request on the connection.
    void reset() { *this = RequestFramer(); }

private:
    enum class Phase { RequestLine, Fields, Body, ChunkSize, ChunkData, Trailer, Whole, Refused };

    // Each returns false when more bytes are needed to go on.
    bool step(std::string_view text);
    bool takeLine(std::string_view line);
    bool takeField(std::string_view name, std::string_view value);
    bool finishHead();
    bool takeChunkSize(std::string_view line);
    bool refuse(unsigned status, std::string_view sentence);
    // A field's value is judged once the whole head is known to be well formed:
    // a folded line after it is the thing to report.
    bool note(unsigned status, std::string_view sentence);
    std::size_t lineBound() const;

    Phase m_phase = Phase::RequestLine;
    std::size_t m_lineStart = 0; // of the line being read
    std::size_t m_at = 0; // searched for the line's end up to here
    std::size_t m_headEnd = 0;
    std::size_t m_end = 0;
    std::size_t m_contentLength = 0;
    std::size_t m_payload = 0; // chunk sizes announced so far
    std::size_t m_chunkLeft = 0;
    unsigned m_version = 0; // 10 for HTTP/1.0
    unsigned m_hosts = 0;
    unsigned m_codings = 0; // transfer codings named, over all Transfer-Encoding lines
    bool m_lengthGiven = false;
    bool m_codingSeen = false;
    bool m_onlyChunked = true;
    bool m_close = false;
    bool m_keepAlive = false;
    Refusal m_refusal;
    Refusal m_problem; // the first field value found wrong
};

// RFC 9110's Host value: uri-host [ ":" port ], or empty.
bool isValidHost(std::string_view value);

} // namespace korvalux::service
