// The service's process on Linux, for the core's start rule
// (core/service_start.h): korvalux-service, beside this program or on PATH,
// spawned in a process group of its own with nothing of the window's (no
// terminal, no output pipes, no working folder, no other descriptors), its port
// polled with plain connects, and the whole group ended when it never came up,
// so a service that forks leaves nothing behind either.
#pragma once

#include "core/service_address.h"
#include "core/service_start.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace localservice
{

// This program's folder.
std::filesystem::path programFolder();

// korvalux-service in programFolder, else on PATH; "" when neither has it.
std::string installedServiceProgram(const std::filesystem::path &folder = programFolder());

// True while a process of the group runs (a zombie does not count).
bool groupAlive(pid_t group);

class ServiceProgram : public core::ServiceProcess
{
public:
    // For a loopback converter host only: any other host is never launched. The
    // arguments follow the program's name; by default core::serviceStartArguments.
    explicit ServiceProgram(std::string_view converterHost,
        std::string program = installedServiceProgram(),
        std::optional<std::vector<std::string>> arguments = std::nullopt);
    ~ServiceProgram() override;
    ServiceProgram(const ServiceProgram &) = delete;
    ServiceProgram &operator=(const ServiceProgram &) = delete;

    bool listens(std::chrono::milliseconds wait) override;
    bool launch() override;
    bool running() override;
    void stop() override;

    // The process group of the last launch, 0 when there was none.
    pid_t processGroup() const { return m_group; }

private:
    void reap();

    std::optional<core::ServiceAddress> m_listen;
    std::string m_program;
    std::vector<std::string> m_arguments;
    pid_t m_group = 0; // also the launched process's id
};

} // namespace localservice
