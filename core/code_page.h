// Windows-1252, the single-byte code page that stands for the ANSI code page
// where the platform has none of its own (the Linux build): page bodies come in
// through it and request addresses go out through it. The Win32 build asks the
// system's own code page (CP_ACP) instead. Whichever code page made the bytes,
// both send them through the same escape (wireAddress).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core::ansi
{

// Appends each byte as one character; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the characters of the same value.
void appendToUnicode(std::u16string &text, const char *bytes, std::size_t size);

// Writes size characters to out, one per byte, by the same rule.
void decode(const char *bytes, std::size_t size, char16_t *out);

// Each character becomes one byte; a character outside the code page becomes "?",
// and so does a surrogate pair (one character outside the plane).
std::string fromUnicode(std::u16string_view text);

} // namespace core::ansi

namespace core
{

// An address in code-page bytes as it goes on the wire: control bytes, space,
// bytes from 0x80 up and " # < > \ ^ ` { | } percent-encoded, everything else
// ("&", "+", ",", "%" among them) as typed. "#" would otherwise end the address
// there, dropping the currencies after an amount that holds one.
std::string wireAddress(std::string_view bytes);

} // namespace core
