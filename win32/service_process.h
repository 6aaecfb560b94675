// The service's process on Windows, for the core's start rule
// (core/service_start.h): korvalux-service.exe beside korvalux.exe, started
// with no console and no inherited handles, its port polled with non-blocking
// connects, and terminated and waited for when it never came up.
#pragma once

#include "core/service_address.h"
#include "core/service_start.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win32
{

// One argument quoted so that CommandLineToArgvW and the C runtime give it back
// unchanged: blanks, quotes and backslashes before a quote included.
std::wstring quoteArgument(std::wstring_view argument);

// "<folder of korvalux.exe>\korvalux-service.exe".
std::wstring installedServiceProgram();

class ServiceProcess : public core::ServiceProcess
{
public:
    // For a loopback converter host only: any other host is never launched. The
    // arguments follow the program's name; by default core::serviceStartArguments.
    ServiceProcess(std::string_view converterHost, std::wstring program = installedServiceProgram(),
        std::optional<std::vector<std::string>> arguments = std::nullopt);
    ~ServiceProcess() override;
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    bool listens(std::chrono::milliseconds wait) override;
    bool launch() override;
    bool running() override;
    void stop() override;

    // The whole command line launch() passes, program first.
    std::wstring commandLine() const;
    // The id of the last process launched, 0 when none was.
    unsigned long lastProcessId() const { return m_lastProcessId; }

private:
    std::optional<core::ServiceAddress> m_listen;
    std::wstring m_program;
    std::vector<std::string> m_arguments;
    void *m_process = nullptr; // the last launch's handle
    unsigned long m_lastProcessId = 0;
};

} // namespace win32
