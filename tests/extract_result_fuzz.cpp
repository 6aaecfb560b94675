// Fuzz target for the result extraction: it must end on every page, and on every
// page whose pass-by-pass extraction ends within a bound it must give the same
// result. Bytes 0x01-0x06 stand for the markers, "&nbsp;", a line break and the
// halves of "&nbsp;", so the fuzzer reaches result cells without guessing them.
#include "core/conversion.h"
#include "extract_result_passes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

QString pageFrom(const std::uint8_t *data, std::size_t size)
{
    QString page;
    for (std::size_t i = 0; i < size; ++i) {
        switch (data[i]) {
        case 0x01:
            page += QStringLiteral("<td align=left>");
            break;
        case 0x02:
            page += QStringLiteral("</td>");
            break;
        case 0x03:
            page += QStringLiteral("&nbsp;");
            break;
        case 0x04:
            page += QStringLiteral("\r\n");
            break;
        case 0x05: // halves of "&nbsp;", to split it with a line break or a tag
            page += QStringLiteral("&nb");
            break;
        case 0x06:
            page += QStringLiteral("sp;");
            break;
        default:
            page += QChar(char16_t(data[i]));
        }
    }
    return page;
}

} // namespace

// A page that never ends is caught by libFuzzer's time-out; keep it short unless given.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<char *> arguments(*argv, *argv + *argc);
    for (char *argument : arguments) {
        if (std::strncmp(argument, "-timeout=", 9) == 0)
            return 0;
    }
    static char timeout[] = "-timeout=10";
    arguments.insert(arguments.begin() + 1, timeout);
    arguments.push_back(nullptr);
    *argc = int(arguments.size() - 1);
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString page = pageFrom(data, size);
    const std::optional<std::u16string> cell = core::extractResultText(
        std::u16string_view(reinterpret_cast<const char16_t *>(page.utf16()), size_t(page.size())));
    const std::optional<QString> result = cell
        ? std::optional(QString::fromUtf16(cell->data(), qsizetype(cell->size())))
        : std::nullopt;
    const passes::Outcome expected = passes::extractResultByPasses(page, long(page.size()));
    if (expected.ended && expected.result != result)
        std::abort();
    return 0;
}
