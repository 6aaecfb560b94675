// The program's one Internet session and the page download over it (libcurl).
// The session is opened at start-up and closed at shut-down; every download
// reuses its connection. A failed download yields the empty text.
#pragma once

#include "core/download.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>

namespace modInternetFileFunctions
{

// The limits and the failure kinds both platforms share (core/download.h).
using DownloadLimits = core::DownloadLimits;
using DownloadFailure = core::DownloadFailure;

void OpenInternetSession();
void CloseInternetSession();
bool isSessionOpen();

// Why a transfer ended, from libcurl's result and the system's error number:
// libcurl says "could not connect" for a time-out or an unreachable network
// too; only the system's own ECONNREFUSED means nothing listens there.
DownloadFailure classifyCurlResult(int curlCode, long osErrno);

// The body of the answer at address, whatever its status, each byte one
// character through Windows-1252; the empty text when nothing could be
// downloaded or the body is over maxBodyBytes. A failure part-way through the
// body (a cut connection, a stall, the overall limit) leaves what was read before
// it. When failure is given, it receives why the download ended.
QString DownloadPage(
    const QString &address, const DownloadLimits &limits = {}, DownloadFailure *failure = nullptr);

// The address as it goes on the wire: Windows-1252 bytes (a character outside the
// code page becomes "?"), with control bytes, space, bytes from 0x80 up and
// " < > \ ^ ` { | } percent-encoded; everything else, "&", "#", "+", "," and "%"
// among them, as typed.
QByteArray encodeAddress(const QString &address);

// The user agent every request carries.
inline constexpr char agentString[]
    = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; {625B82F8-3C54-4C68-B502-9EDAD5E5A2B0}; "
      "(R1 1.5))";

} // namespace modInternetFileFunctions
