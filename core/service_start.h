// How a window starts the converter service, written once for both systems:
// launch it, poll its port until it listens, the time is up or nothing it
// launched runs any more, and stop what was launched when it never came up, so a
// press never leaves a process behind. The poll goes on after the launched
// process has exited while its children run, so a service that forks to listen
// is still used. What only the system can do (the process, the socket)
// sits behind ServiceProcess: POSIX on Linux, Win32 on Windows, a fake in tests.
//
// A window on a loopback host also starts the service once it is first shown,
// in the background, when nothing listens yet (warmUp); a press that comes while that
// start is under way waits for it rather than launching a second one.
#pragma once

#include "core/download.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace core
{

class ServiceProcess
{
public:
    virtual ~ServiceProcess() = default;
    // True once something accepts a connection on the service's port; waits at
    // most `wait` for this one attempt.
    virtual bool listens(std::chrono::milliseconds wait) = 0;
    // Starts the service detached; false when it could not be started at all.
    virtual bool launch() = 0;
    // True while anything the last launch started still runs: a service that
    // forked and left its child to listen is still coming up.
    virtual bool running() = 0;
    // Ends whatever the last launch started (its children too) and waits for it.
    virtual void stop() = 0;
};

class ServiceStartRule : public ServiceStarter
{
public:
    explicit ServiceStartRule(ServiceProcess &process);
    // Leaves a service started in the background to its idle exit, without
    // waiting for it to come up.
    ~ServiceStartRule() override;
    ServiceStartRule(const ServiceStartRule &) = delete;
    ServiceStartRule &operator=(const ServiceStartRule &) = delete;

    bool start(std::chrono::milliseconds within) override;
    void warmUp() override;

    // How many launches were made, for tests and logs.
    int launches() const;

private:
    enum class State { Idle, Starting, Up };
    // Launches and polls until the deadline; the lock is held except while polling.
    bool launchAndWait(
        std::unique_lock<std::mutex> &lock, std::chrono::steady_clock::time_point deadline);

    ServiceProcess &m_process;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Idle;
    bool m_leaving = false;
    int m_launches = 0;
    std::thread m_background;
};

} // namespace core
