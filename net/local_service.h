// Starting the converter service on this machine when nobody else did. Where no
// systemd user session hands the service its socket (a container, WSL, a run
// from the build tree), a conversion on a loopback converter host finds the
// connection refused; the window then starts korvalux-service itself, detached,
// waits for it to accept connections and asks once more. Qt Core and POSIX
// sockets only: the window layer passes the launcher in as a seam.
#pragma once

#include "core/download.h"
#include "net/internet_session.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace localservice
{

// The longest a press waits for a service it started, retried download included.
inline constexpr std::chrono::milliseconds startBudget = core::serviceStartBudget;

struct HostPort {
    QString host; // without the brackets of an IPv6 address
    quint16 port = 80;
};

// "127.0.0.1:8765", "[::1]:8765", "localhost"; nullopt when malformed.
std::optional<HostPort> splitHost(const QString &hostPort);

// True for 127.0.0.0/8, ::1 and "localhost" only; nothing else is ever started.
bool isLoopbackHost(const QString &hostPort);

// korvalux-service in programDir first, then on PATH; empty when neither has it.
QString findServiceProgram(const QString &programDir);

// Polls until something accepts a connection on the loopback host, or until
// within has passed, or (pid > 0) as soon as that process is gone.
bool waitForListener(const QString &hostPort, std::chrono::milliseconds within, qint64 pid = 0);

// Starts program detached: --listen hostPort, an idle exit, no request log, then
// extraArguments. True once it accepts connections within the time given; pid
// receives its id. A program that is not listening by then is stopped, so a
// press never leaves a process behind.
bool startServiceProgram(const QString &program, const QString &hostPort,
    std::chrono::milliseconds within, qint64 *pid = nullptr,
    const QStringList &extraArguments = {});

// Starts the service for hostPort and says whether it came up in time.
using ServiceLauncher
    = std::function<bool(const QString &hostPort, std::chrono::milliseconds within)>;

// The production launcher: the program beside this one, else on PATH, refreshing
// its rates.
bool launchInstalledService(const QString &hostPort, std::chrono::milliseconds within);

// One download that reports why it failed.
using DownloadAttempt = std::function<QString(const QString &address,
    const modInternetFileFunctions::DownloadLimits &limits,
    modInternetFileFunctions::DownloadFailure *failure)>;

// The page at address. When the connection to a loopback hostPort is refused,
// launch is called once and, if the service came up, the download is tried once
// more within what is left of startBudget. Any other failure is final.
QString downloadStartingService(const QString &address, const QString &hostPort,
    const DownloadAttempt &attempt, const ServiceLauncher &launch);

} // namespace localservice
