// The Windows-1252 tables in both directions. Bytes below 0x80 and from 0xA0 up
// stand for the characters of the same value; only 0x80-0x9F need a table.
#include "core/code_page.h"

#include <array>

namespace core::ansi
{

namespace
{

constexpr std::array<char16_t, 32> highControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

constexpr char16_t toChar(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? highControls[byte - 0x80] : char16_t(byte);
}

// The byte for a character of the Basic Multilingual Plane, or -1 when it has none.
int toByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < highControls.size(); ++i) {
        if (highControls[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c < 0xDC00;
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c < 0xE000;
}

} // namespace

void decode(const char *bytes, std::size_t size, char16_t *out)
{
    for (std::size_t i = 0; i < size; ++i)
        out[i] = toChar(static_cast<unsigned char>(bytes[i]));
}

void appendToUnicode(std::u16string &text, const char *bytes, std::size_t size)
{
    const std::size_t start = text.size();
    text.resize(start + size);
    decode(bytes, size, text.data() + start);
}

std::string fromUnicode(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;
            bytes += '?';
            continue;
        }
        const int byte = toByte(c);
        bytes += byte < 0 ? '?' : char(byte);
    }
    return bytes;
}

} // namespace core::ansi

namespace core
{

std::string wireAddress(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    static constexpr std::string_view escaped = "\"#<>\\^`{|}";
    std::string wire;
    wire.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || escaped.find(c) != std::string_view::npos) {
            wire += '%';
            wire += hex[byte >> 4];
            wire += hex[byte & 0xF];
        } else {
            wire += c;
        }
    }
    return wire;
}

} // namespace core
