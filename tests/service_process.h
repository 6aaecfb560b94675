// The real korvalux-service as a child process of a test, on a free loopback
// port, its stderr read through a pipe; and the few socket calls the tests drive
// it with. Needs KORVALUX_SERVICE_BINARY and KORVALUX_SERVICE_TEST_DATA (set per
// test in tests/service.cmake).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace korvalux::service::testProcess
{

using namespace std::chrono_literals;

class ServiceProcess
{
public:
    // Handed sockets reach it as systemd passes them: from descriptor 3 on,
    // LISTEN_FDS and LISTEN_PID. SIGHUP is at its default action in the child, as
    // under systemd. Without waitForPort, call awaitPort() once it should listen.
    explicit ServiceProcess(std::vector<std::string> extra = {}, bool waitForPort = true,
        std::vector<int> handedSockets = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    int port() const { return m_port; }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    pid_t pid() const { return m_pid; }

    // Reads stderr until "listening on" comes (20 s at most); the port, or 0.
    int awaitPort();

    // Everything written to stderr until the process ends or the time is up.
    std::string readErrors(std::chrono::milliseconds limit);

    // Reads stderr until `what` has appeared `times` times; false when the time is up.
    bool waitForLog(const std::string &what, std::size_t times, std::chrono::milliseconds limit);

    // True once the process has ended, without reaping it: its pid stays its own.
    // Reads stderr meanwhile.
    bool ended(std::chrono::milliseconds limit);

    // The exit status (128 + the signal for a killed one), or -1 when it has not
    // ended in time. Reaps it.
    int wait(std::chrono::milliseconds limit);

private:
    // Appends what stderr has until `until`; false at its end or when the time is up.
    bool readSome(std::chrono::steady_clock::time_point until);

    pid_t m_pid = -1;
    int m_err = -1;
    int m_port = 0;
    bool m_exited = false;
    std::string m_cacheDir;
    std::string m_errors;
};

int connectTo(int port);
void sendAll(int fd, const std::string &bytes);
// Reads until the peer closes or nothing comes for `quiet`.
std::string receive(int fd, std::chrono::milliseconds quiet = 3000ms);
// One GET on a connection of its own; the whole answer, empty when none.
std::string fetch(int port, const std::string &target);
std::size_t count(const std::string &text, const std::string &what);

} // namespace korvalux::service::testProcess
