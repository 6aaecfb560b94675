// The result extraction written out step by step as the converter program has
// always done it: one tag removed per pass over the whole text, each pass looking
// for the first "<" and the first ">" from the start. Kept only as the yardstick
// the fuzzer and the benchmark hold the one-pass extraction against; on some
// cells its passes never end, so it gives up on those and after a bound.
#pragma once

#include <QString>

#include <optional>

namespace passes
{

struct Outcome {
    bool ended = false; // false: the bound was reached first
    std::optional<QString> result; // nullopt: the page has no result cell
};

// maxPasses bounds the tag-removal passes.
inline Outcome extractResultByPasses(const QString &page, long maxPasses)
{
    // Positions count from 1 and a failed search gives 0, as in the steps.
    const auto inStr = [](qsizetype start, const QString &text, const QString &what) {
        return text.indexOf(what, start - 1) + 1;
    };
    const qsizetype h = inStr(1, page, QStringLiteral("<td align=left>"));
    if (h == 0)
        return {true, std::nullopt};
    const qsizetype s = h + 15;
    const qsizetype e = inStr(s, page, QStringLiteral("</td>"));
    if (e == 0)
        return {true, std::nullopt};
    QString c = page.mid(s - 1, e - s);
    c = c.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    c = c.replace(QStringLiteral("\r\n"), QString());
    c = c.replace(QStringLiteral("\n"), QString());
    long pass = 0;
    while (inStr(1, c, QStringLiteral("<")) > 0) {
        if (++pass > maxPasses)
            return {false, std::nullopt};
        const qsizetype o = inStr(1, c, QStringLiteral("<"));
        const qsizetype t = inStr(1, c, QStringLiteral(">"));
        // When the first ">" does not stand after the first "<" (or there is none),
        // the pass keeps it before the next "<", so every later pass is the same
        // kind: the loop never ends.
        if (t <= o)
            return {false, std::nullopt};
        c.remove(o - 1, t - o + 1); // the same as c = c.left(o - 1) + c.mid(t)
    }
    while (c.startsWith(u' '))
        c.remove(0, 1);
    while (c.endsWith(u' '))
        c.chop(1);
    return {true, c};
}

} // namespace passes
