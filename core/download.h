// What every page download shares whatever carries it (libcurl on Linux, WinINet
// on Windows): its limits, why it ended, and the one retry after starting the
// local converter service when a loopback host refused the connection. The
// clock is a parameter so that the retry's time budget is tested without waiting.
#pragma once

#include "core/ports.h"
#include "core/service_address.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace core
{

// Bounds that keep one download from freezing the window or exhausting memory.
struct DownloadLimits {
    std::chrono::milliseconds connectTimeout {60'000};
    std::chrono::milliseconds stallTimeout {60'000}; // nothing received for this long
    std::size_t maxBodyBytes = 16 * 1024 * 1024;
    // From the start to the end, connecting included: a server that trickles a
    // byte now and then never trips the stall limit, and the window waits on this.
    std::chrono::milliseconds totalTimeout {60'000};
};

// Why a download ended. A refused connection alone starts the service; the
// other kinds tell the service's log, and the window keeps what arrived before
// any of them but TooLarge.
enum class DownloadFailure {
    None,
    ConnectionRefused, // nothing listens there
    TimedOut, // the connect, stall or overall limit
    TooLarge, // the body is over the size cap
    Cut, // the connection ended before the announced end of the body
    Cancelled,
    Other, // no session, a bad address, name not found, too many redirects...
};

// The user agent of every page request the windows make.
inline constexpr char agentString[]
    = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; {625B82F8-3C54-4C68-B502-9EDAD5E5A2B0}; "
      "(R1 1.5))";

class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
};

class SteadyClock : public Clock
{
public:
    std::chrono::steady_clock::time_point now() const override
    {
        return std::chrono::steady_clock::now();
    }
};

// One download that reports why it failed.
class DownloadAttempt
{
public:
    virtual ~DownloadAttempt() = default;
    virtual std::u16string download(
        const std::u16string &address, const DownloadLimits &limits, DownloadFailure *failure)
        = 0;
};

// Starts the converter service and says whether it came up within the time given.
class ServiceStarter
{
public:
    virtual ~ServiceStarter() = default;
    virtual bool start(std::chrono::milliseconds within) = 0;
    // At load: starts the service in the background when nothing listens yet,
    // and returns at once.
    virtual void warmUp() { }
};

// The page at address. When the connection to a loopback host (hostIsLoopback)
// is refused, the service is started once and, if it came up, the download is
// tried once more within what is left of serviceStartBudget; any other failure
// is final.
std::u16string downloadStartingService(const std::u16string &address, bool hostIsLoopback,
    DownloadAttempt &attempt, ServiceStarter *starter, const Clock &clock = SteadyClock());

// The window's session on either system: the system's own session, and when a
// loopback converter host refuses the connection, the service started and the
// page asked for once more. Only a loopback host is ever started.
class ServiceStartingSession : public InternetSession
{
public:
    // session and attempt are normally one object: the system's session.
    ServiceStartingSession(InternetSession &session, DownloadAttempt &attempt,
        ServiceStarter &starter, std::string_view converterHost);

    void open() override { m_session.open(); }
    // On a loopback host, starts the service in the background if nothing listens.
    void warmUp() override;
    void close() override { m_session.close(); }
    std::u16string downloadPage(const std::u16string &address) override;

private:
    InternetSession &m_session;
    DownloadAttempt &m_attempt;
    ServiceStarter &m_starter;
    bool m_hostIsLoopback;
};

} // namespace core
