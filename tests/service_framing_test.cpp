// The request framer on raw bytes, without a socket: each request of the table
// is fed whole, split in two at every byte, and one byte at a time, and must get
// the same verdict each way. A request hidden after the first ("GET /smuggled")
// must never be counted into it. Then the answer's bytes around a page.
#include "service/request_framing.h"
#include "service/response_framing.h"

#include <gtest/gtest.h>

#include <string>

using namespace korvalux::service;

namespace
{

const std::string smuggled = "GET /smuggled HTTP/1.1\r\nHost: x\r\n\r\n";

// A head whose folded Content-Length line starts (with its blank) at byte `at`,
// the smuggled request hidden in the body that the fold would announce.
std::string foldAt(std::size_t at)
{
    const std::string start = "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Fill: ";
    const std::string fill(at - start.size() - std::string("\r\nContent-Length:\r\n").size(), 'f');
    std::string head = start + fill + "\r\nContent-Length:\r\n";
    EXPECT_EQ(head.size(), at);
    return head + " " + std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled;
}

// A head of exactly `size` bytes, followed by the next request.
std::string headOf(std::size_t size)
{
    const std::string start = "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Fill: ";
    return start + std::string(size - start.size() - 4, 'f') + "\r\n\r\n" + smuggled;
}

struct Expected {
    Framing verdict;
    unsigned status = 0; // when Refused
    std::string sentence = {}; // when Refused: the whole sentence
    bool keepAlive = true; // when Whole
};

// The request is all the bytes but a smuggled one after it.
Expected whole(bool keepAlive = true)
{
    return {Framing::Whole, 0, {}, keepAlive};
}

Expected refused(unsigned status, std::string sentence)
{
    return {Framing::Refused, status, std::move(sentence), false};
}

void expectVerdict(RequestFramer &framer, Framing verdict, const Expected &expected,
    const std::string &bytes, const std::string &where)
{
    ASSERT_EQ(verdict, expected.verdict) << where;
    if (verdict == Framing::Refused) {
        EXPECT_EQ(framer.refusal().status, expected.status) << where;
        EXPECT_EQ(framer.refusal().sentence, expected.sentence) << where;
    } else if (verdict == Framing::Whole) {
        const std::size_t hidden = bytes.ends_with(smuggled) ? smuggled.size() : 0;
        EXPECT_EQ(framer.length(), bytes.size() - hidden) << where;
        EXPECT_EQ(framer.keepAlive(), expected.keepAlive) << where;
    }
}

} // namespace

TEST(RequestFraming, SameVerdictAtEverySplit)
{
    const std::string get = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string folded = "Bad request: folded header line";
    const std::string coding = "Bad request: Transfer-Encoding other than chunked";
    const std::string hosts = "Bad request: one Host header needed";
    const std::string badHost = "Bad request: invalid Host header";
    const std::string headTooLarge = "Request head too large (at most 8 KiB)";
    const std::string tooLarge = "Request body too large";
    const std::string framingTooLarge
        = "Chunk framing too large (at most 8 KiB of chunk-size lines, CRLFs and trailer)";
    const std::string bareCr = "Bad request: bare carriage return";
    const std::string chunkedHead
        = "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
    const auto oneByteChunks = [&](int count) {
        std::string bytes = chunkedHead;
        for (int i = 0; i < count; ++i)
            bytes += "1\r\na\r\n";
        return bytes + "0\r\n\r\n" + smuggled;
    };
    struct Row {
        const char *name;
        std::string bytes;
        Expected expected;
    };
    const Row rows[] = {
        {"plain GET, then the next", get + smuggled, whole()},
        {"HTTP/1.0 without Host", "GET / HTTP/1.0\r\n\r\n", whole(false)},
        {"HTTP/1.0 keep-alive", "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", whole()},
        {"HTTP/1.0 keep-alive, close", "GET / HTTP/1.0\r\nConnection: keep-alive, close\r\n\r\n",
            whole(false)},
        {"HTTP/1.1 close", "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", whole(false)},
        // A later option never undoes a close, in one line or over two.
        {"HTTP/1.1 close, keep-alive",
            "GET / HTTP/1.1\r\nHost: x\r\nConnection: close, keep-alive\r\n\r\n", whole(false)},
        {"HTTP/1.0 close, keep-alive", "GET / HTTP/1.0\r\nConnection: close, keep-alive\r\n\r\n",
            whole(false)},
        {"close, then keep-alive on a line of its own",
            "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\nConnection: keep-alive\r\n\r\n",
            whole(false)},
        {"close, then another option", "GET / HTTP/1.1\r\nHost: x\r\nConnection: close, te\r\n\r\n",
            whole(false)},
        {"length of the body",
            "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc" + smuggled, whole()},
        {"chunks and a trailer", chunkedHead + "3;x=y\r\nabc\r\n0\r\nX-T: 1\r\n\r\n" + smuggled,
            whole()},
        {"Chunked in capitals",
            "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: Chunked\r\n\r\n0\r\n\r\n", whole()},
        {"head of 8 KiB", headOf(maxHeadLength), whole()},

        // A fold anywhere, and past the old hand-over point the head is too large.
        {"folded line", "GET / HTTP/1.1\r\nHost: x\r\nX-A: a\r\n b\r\n\r\n" + smuggled,
            refused(400, folded)},
        {"folded Host", "GET / HTTP/1.1\r\nHost:\r\n\tx\r\n\r\n", refused(400, folded)},
        {"blank before the first field", "GET / HTTP/1.1\r\n Host: x\r\n\r\n",
            refused(400, folded)},
        {"fold well inside 8 KiB", foldAt(maxHeadLength - 40), refused(400, folded)},
        {"fold at the last byte of 8 KiB", foldAt(maxHeadLength - 1), refused(400, folded)},
        {"fold just past 8 KiB", foldAt(maxHeadLength), refused(431, headTooLarge)},
        {"fold one more byte on", foldAt(maxHeadLength + 1), refused(431, headTooLarge)},
        {"fold at 12 KiB", foldAt(12 * 1024), refused(431, headTooLarge)},
        {"head one byte over 8 KiB", headOf(maxHeadLength + 1), refused(431, headTooLarge)},
        {"request line over 8 KiB", "GET /" + std::string(maxHeadLength, 'a') + " HTTP/1.1\r\n",
            refused(414, "Request too long (at most 8 KiB)")},

        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n",
            refused(400, "Bad request: bare line feed")},
        {"head ending in CR LF LF", "GET / HTTP/1.1\r\nHost: x\r\n\n",
            refused(400, "Bad request: bare line feed")},
        // A bare CR is answered at once, wherever it is: no line feed is awaited.
        {"head ending in CR CR", "GET /healthz HTTP/1.1\r\nHost: x\r\r", refused(400, bareCr)},
        {"bare CR in a field", "GET / HTTP/1.1\r\nHost: x\rX-A: 1\r\n\r\n", refused(400, bareCr)},
        {"bare CR in the request line", "GET /a\rb HTTP/1.1\r\nHost: x\r\n\r\n",
            refused(400, bareCr)},
        {"bare CR in a chunk size", chunkedHead + "3\r;x\r\nabc\r\n0\r\n\r\n",
            refused(400, bareCr)},
        {"bare CR in the trailer", chunkedHead + "0\r\nX-T: 1\r\r\n\r\n", refused(400, bareCr)},
        {"CR in chunk data is data", chunkedHead + "3\r\na\rb\r\n0\r\n\r\n" + smuggled, whole()},
        {"not a request line", "HELLO\r\n\r\n", refused(400, "Bad request")},
        {"empty line first", "\r\n" + get, refused(400, "Bad request")},
        {"blank in a field name", "GET / HTTP/1.1\r\nHost : x\r\n\r\n",
            refused(400, "Bad request")},

        {"no Host", "GET / HTTP/1.1\r\n\r\n", refused(400, hosts)},
        {"two Hosts", "GET / HTTP/1.1\r\nHost: x\r\nhost: x\r\n\r\n", refused(400, hosts)},
        {"two Hosts in HTTP/1.0", "GET / HTTP/1.0\r\nHost: x\r\nHost: y\r\n\r\n",
            refused(400, hosts)},
        {"Host with a blank", "GET / HTTP/1.1\r\nHost: a b\r\n\r\n", refused(400, badHost)},
        {"Host with user", "GET / HTTP/1.0\r\nHost: u@a\r\n\r\n", refused(400, badHost)},

        {"gzip, chunked", "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
            refused(400, coding)},
        {"identity, chunked",
            "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity, chunked\r\n\r\n",
            refused(400, coding)},
        {"chunked twice",
            "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
            "Transfer-Encoding: chunked\r\n\r\n",
            refused(400, coding)},
        {"chunked in HTTP/1.0",
            "GET / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled,
            refused(400, coding)},
        {"chunked and a length",
            "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
            refused(400, "Bad request: Content-Length with Transfer-Encoding")},
        {"folded line in the trailer", chunkedHead + "0\r\nX-T: a\r\n b\r\n\r\n" + smuggled,
            refused(400, folded)},
        {"chunk without its CR LF", chunkedHead + "3\r\nabcd\r\n0\r\n\r\n",
            refused(400, "Bad request")},
        {"chunk ended by a bare LF", chunkedHead + "3\r\nabc\n0\r\n\r\n",
            refused(400, "Bad request")},
        {"chunk ended by LF LF", chunkedHead + "3\r\nabc\n\n0\r\n\r\n",
            refused(400, "Bad request")},
        {"chunk ended by another byte and LF", chunkedHead + "3\r\nabcx\n0\r\n\r\n",
            refused(400, "Bad request")},
        {"chunk ended by CR and another byte", chunkedHead + "3\r\nabc\rx0\r\n\r\n",
            refused(400, "Bad request")},
        // The framing limit counts size lines, CRLFs and trailer, not content.
        {"1,300 one-byte chunks", oneByteChunks(1300), whole()},
        {"1,700 one-byte chunks", oneByteChunks(1700), refused(413, framingTooLarge)},
        {"chunks over 8 KiB", chunkedHead + "2000\r\n" + std::string(0x2000, 'b') + "\r\n1\r\n",
            refused(413, tooLarge)},
        {"trailer over 8 KiB", chunkedHead + "0\r\nX-T: " + std::string(maxChunkFraming, 't'),
            refused(413, framingTooLarge)},

        {"two lengths",
            "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc",
            refused(400, "Bad request: invalid Content-Length")},
        {"length as a list", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 3, 3\r\n\r\nabc",
            refused(400, "Bad request: invalid Content-Length")},
        {"length over 8 KiB",
            "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\n\r\n",
            refused(413, tooLarge)},
    };
    for (const auto &row : rows) {
        const std::string &bytes = row.bytes;
        {
            RequestFramer framer;
            expectVerdict(framer, framer.scan(bytes), row.expected, bytes, row.name);
        }
        // Split in two at every byte: the first part may be enough for the verdict.
        for (std::size_t split = 0; split < bytes.size(); ++split) {
            RequestFramer framer;
            const std::string where = std::string(row.name) + ", split at " + std::to_string(split);
            const Framing first = framer.scan(std::string_view(bytes).substr(0, split));
            if (first != Framing::NeedMore)
                expectVerdict(framer, first, row.expected, bytes, where);
            expectVerdict(framer, framer.scan(bytes), row.expected, bytes, where);
            if (testing::Test::HasFailure())
                return;
        }
        RequestFramer framer;
        Framing verdict = Framing::NeedMore;
        for (std::size_t n = 1; n <= bytes.size() && verdict == Framing::NeedMore; ++n)
            verdict = framer.scan(std::string_view(bytes).substr(0, n));
        expectVerdict(
            framer, verdict, row.expected, bytes, std::string(row.name) + ", byte by byte");
    }
}

TEST(RequestFraming, NextRequestAfterReset)
{
    const std::string first = "GET /a HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    const std::string second = "GET /b HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    const std::string bytes = first + second;
    RequestFramer framer;
    ASSERT_EQ(framer.scan(bytes), Framing::Whole);
    EXPECT_EQ(framer.length(), first.size());
    EXPECT_FALSE(framer.keepAlive());
    framer.reset();
    ASSERT_EQ(framer.scan(std::string_view(bytes).substr(first.size())), Framing::Whole);
    EXPECT_EQ(framer.length(), second.size());
    EXPECT_TRUE(framer.keepAlive());
}

TEST(RequestFraming, HostValues)
{
    struct Row {
        const char *value;
        bool valid;
    };
    const Row rows[] = {
        {"127.0.0.1:8765", true},
        {"localhost", true},
        {"[::1]:8765", true},
        {"[::ffff:127.0.0.1]", true},
        {"ex%41mple.com", true},
        {"", true}, // allowed when the target names no host
        {"a:", true},
        {"a b", false},
        {"a, b", false},
        {"a/b", false},
        {"u@a", false},
        {"a:x", false},
        {":80", false},
        {"[::1", false},
        {"[]", false},
        {"[::1]x", false},
        {"a\tb", false},
        {"%zz", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(isValidHost(row.value), row.valid) << '"' << row.value << '"';
}

TEST(ResponseFraming, HeadLinesByVersionAndMethod)
{
    const std::string start = "Server: korvalux-service\r\nContent-Type: text/plain\r\n";
    struct Row {
        const char *name;
        unsigned status;
        unsigned version;
        bool keepAlive;
        bool head;
        std::string bytes;
    };
    const Row rows[] = {
        {"1.1 kept alive", 200, 11, true, false,
            "HTTP/1.1 200 OK\r\n" + start + "Content-Length: 4\r\n\r\nbody"},
        {"1.1 closing", 200, 11, false, false,
            "HTTP/1.1 200 OK\r\n" + start + "Content-Length: 4\r\nConnection: close\r\n\r\nbody"},
        {"1.0 kept alive", 200, 10, true, false,
            "HTTP/1.0 200 OK\r\n" + start
                + "Content-Length: 4\r\nConnection: keep-alive\r\n\r\nbody"},
        {"1.0 closing", 200, 10, false, false,
            "HTTP/1.0 200 OK\r\n" + start + "Content-Length: 4\r\n\r\nbody"},
        {"HEAD keeps the length", 200, 11, true, true,
            "HTTP/1.1 200 OK\r\n" + start + "Content-Length: 4\r\n\r\n"},
        {"405 names the methods", 405, 11, true, false,
            "HTTP/1.1 405 Method Not Allowed\r\n" + start
                + "Content-Length: 4\r\nAllow: GET, HEAD\r\n\r\nbody"},
        {"431", 431, 11, false, false,
            "HTTP/1.1 431 Request Header Fields Too Large\r\n" + start
                + "Content-Length: 4\r\nConnection: close\r\n\r\nbody"},
    };
    std::string out = "left from the answer before";
    for (const auto &row : rows) {
        writeResponse(
            out, Response {row.status, "text/plain", "body"}, row.version, row.keepAlive, row.head);
        EXPECT_EQ(out, row.bytes) << row.name;
    }
}

TEST(ResponseFraming, LogLineKeepsTheTargetPrintable)
{
    EXPECT_EQ(accessLogLine("127.0.0.1:5", "GET", "/a b\"c\x01", 200, 12),
        "127.0.0.1:5 \"GET /a?b?c?\" 200 12");
    EXPECT_EQ(accessLogLine("p", "GET", std::string(201, 'x'), 414, 3),
        "p \"GET " + std::string(200, 'x') + "...\" 414 3");
}
