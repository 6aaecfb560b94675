// The Convert action without a window: the request address built from the amount
// and two currency entries, the converter page downloaded, and the result
// sentence cut out of its first "<td align=left>" cell as plain text.
#pragma once

#include "core/download.h"

#include <QString>

#include <functional>
#include <optional>

namespace conversion
{

using DownloadFunction = std::function<QString(const QString &address)>;

// The converter host the build was configured with (KORVALUX_CONVERTER_HOST).
QString converterHost();

// "http://" + host + "/finance/converter?a=<AMOUNT>&from=<IN_CUR_CODE>&to=<OUT_CUR_CODE>"
// with the amount (unchanged) and the two codes put in, in that order.
QString BuildRequestAddress(const QString &amount, const QString &fromEntry, const QString &toEntry,
    const QString &host = converterHost());

// The plain text of the first "<td align=left>" cell; nullopt when the page has
// no such cell closed by a "</td>".
std::optional<QString> ExtractResultText(const QString &page);

// Shown when the page holds no result.
QString noAnswerText(); // "No answer from the converter service." (empty page)
QString noResultText(); // "The converter service sent no result."

// The whole conversion: the text for the Results box.
QString convertCurrency(const QString &amount, const QString &fromEntry, const QString &toEntry,
    const DownloadFunction &download = {}, const QString &host = converterHost());

} // namespace conversion

// For the Qt window and its tests until the window owns a CurlSession
// (net/internet_session.h): one such session for the process, under the names
// the window calls it by.
namespace modInternetFileFunctions
{

void OpenInternetSession();
void CloseInternetSession();
bool isSessionOpen();
QString DownloadPage(const QString &address, const core::DownloadLimits &limits = {},
    core::DownloadFailure *failure = nullptr);

} // namespace modInternetFileFunctions
