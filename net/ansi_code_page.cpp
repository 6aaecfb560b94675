// The Qt face of the core's Windows-1252 rule (core/code_page.h).
#include "net/ansi_code_page.h"

#include "core/code_page.h"

#include <string>

namespace ansi
{

void appendToUnicode(QString &text, const char *bytes, std::size_t size)
{
    const qsizetype start = text.size();
    text.resize(start + qsizetype(size));
    core::ansi::decode(bytes, size, reinterpret_cast<char16_t *>(text.data()) + start);
}

QByteArray fromUnicode(QStringView text)
{
    const std::string bytes = core::ansi::fromUnicode(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size())));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace ansi
