// Windows-1252, the single-byte code page that stands for the ANSI code page in
// every text the program exchanges with the network: page bodies come in through
// it and request addresses go out through it. Used by the Internet session.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstddef>

namespace ansi
{

// Appends each byte as one character; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the characters of the same value.
void appendToUnicode(QString &text, const char *bytes, std::size_t size);

// Each character becomes one byte; a character outside the code page becomes "?".
QByteArray fromUnicode(QStringView text);

} // namespace ansi
