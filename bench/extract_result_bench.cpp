// The one-pass result extraction against the pass-by-pass reading it replaces,
// on a 1 MiB result cell holding 50,000 tags. Goal: at least 1000 times faster.
#include "bench/ratio_reporter.h"
#include "core/conversion.h"
#include "tests/extract_result_passes.h"

#include <climits>
#include <cstdio>

namespace
{

constexpr qsizetype cellSize = 1 << 20;
constexpr int tagCount = 50'000;

// A converter-like sentence, with blanks, line breaks and "&nbsp;", cut into
// text runs between alternating "<b>" and "</b>" tags.
const QString &bigPage()
{
    static const QString page = [] {
        const QString sentence
            = QStringLiteral("1,234.50 USD =&nbsp;1,071.30 EUR\r\n  rate 0.8678 ");
        const qsizetype tagChars = tagCount / 2 * (3 + 4);
        const qsizetype textChars = cellSize - tagChars;
        QString cell;
        cell.reserve(cellSize);
        qsizetype written = 0;
        for (int i = 0; i < tagCount; ++i) {
            cell += i % 2 == 0 ? QStringLiteral("<b>") : QStringLiteral("</b>");
            const qsizetype until = textChars * (i + 1) / tagCount;
            for (; written < until; ++written)
                cell += sentence[written % sentence.size()];
        }
        return QStringLiteral("<html><td>x</td><td align=left>") + cell
            + QStringLiteral("</td><td>y</td></html>");
    }();
    return page;
}

std::optional<QString> extractResultText(const QString &page)
{
    const auto cell = core::extractResultText(
        std::u16string_view(reinterpret_cast<const char16_t *>(page.utf16()), size_t(page.size())));
    if (!cell)
        return std::nullopt;
    return QString::fromUtf16(cell->data(), qsizetype(cell->size()));
}

void BM_ExtractResultText(benchmark::State &state)
{
    const QString &page = bigPage();
    const std::u16string text(
        reinterpret_cast<const char16_t *>(page.utf16()), size_t(page.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(core::extractResultText(text));
}
BENCHMARK(BM_ExtractResultText)->Unit(benchmark::kMillisecond);

void BM_ExtractByPasses(benchmark::State &state)
{
    const QString &page = bigPage();
    passes::Outcome outcome;
    for (auto _ : state) {
        outcome = passes::extractResultByPasses(page, LONG_MAX);
        benchmark::DoNotOptimize(outcome);
    }
    if (!outcome.ended || outcome.result != extractResultText(page))
        state.SkipWithError("the two extractions differ");
}
BENCHMARK(BM_ExtractByPasses)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::printf("page: %lld characters, cell of %lld\n", static_cast<long long>(bigPage().size()),
        static_cast<long long>(cellSize));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio("BM_ExtractByPasses", "BM_ExtractResultText", "goal: at least 1000x");
    benchmark::Shutdown();
    return 0;
}
