// Starting korvalux-service.exe for a loopback converter host, as the Linux
// window does: when the host refuses the connection, the core's retry
// (core::downloadStartingService) asks this starter to run the service that
// lies beside korvalux.exe, with no console and no inherited handles, and to
// poll its port until it accepts connections. A service that is not up in time
// is terminated and waited for, so a press never leaves a process behind.
#pragma once

#include "core/download.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win32
{

struct LoopbackTarget {
    std::wstring listen; // for --listen: "127.0.0.1:8765" or "[::1]:8765"
    std::wstring host; // numeric, without brackets, for the poll
    unsigned short port = 80;
};

// The loopback host of "127.0.0.1:8765", "[::1]:8765", "localhost" (port 80 when
// none is given); nullopt for anything else, malformed or not on this machine.
std::optional<LoopbackTarget> loopbackTarget(std::u16string_view hostPort);

// One argument quoted so that CommandLineToArgvW and the C runtime give it back
// unchanged: blanks, quotes and backslashes before a quote included.
std::wstring quoteArgument(std::wstring_view argument);

// True once something accepts a TCP connection on the target.
bool acceptsConnection(const LoopbackTarget &target);

// "<folder of korvalux.exe>\korvalux-service.exe".
std::wstring installedServiceProgram();

class ServiceProcess : public core::ServiceStarter
{
public:
    // Extra arguments follow --listen and the idle exit; by default, as on Linux,
    // no request log and fresh rates.
    ServiceProcess(std::u16string hostPort, std::wstring program = installedServiceProgram(),
        std::vector<std::wstring> extraArguments = {L"--quiet", L"--refresh"});

    // Starts the program and waits, within the time given, for its port. False,
    // with nothing started, for a host that is not loopback.
    bool start(std::chrono::milliseconds within) override;

    // The whole command line start() passes, program first.
    std::wstring commandLine() const;
    // The id of the last process started, 0 when none was.
    unsigned long lastProcessId() const { return m_lastProcessId; }

private:
    std::u16string m_hostPort;
    std::wstring m_program;
    std::vector<std::wstring> m_extraArguments;
    unsigned long m_lastProcessId = 0;
};

} // namespace win32
