// What a console control event (Ctrl+C, Ctrl+Break, the console closing, the
// system shutting down) does to korvalux-service on Windows, apart from the
// SetConsoleCtrlHandler call that brings it (process_windows.cpp), so a test can
// hand it events. The handler runs on a thread the system starts: it only asks
// the server to stop, which is safe from any thread. A closing console ends
// the process once the handler returns, so then it waits, briefly, for main.
#pragma once

#include "service/server_host.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace korvalux::service
{

class ConsoleStop
{
public:
    // closeWait: how long a closing console waits for main; Windows ends the
    // process some five seconds after the event.
    explicit ConsoleStop(std::chrono::milliseconds closeWait = std::chrono::milliseconds(4000));

    void watch(ServerControl &control); // serving from now on
    void forget(); // control goes; serving is ending
    void finished(); // main returns next

    // The handler's work for a CTRL_*_EVENT: false leaves the event to the
    // system's default (ending the process), as before serving starts.
    bool handle(unsigned long event);

private:
    const std::chrono::milliseconds m_closeWait;
    std::mutex m_mutex; // guards the members below
    std::condition_variable m_finishedChanged;
    ServerControl *m_control = nullptr;
    bool m_serving = false; // from watch on, for good: a late event waits for the end
    bool m_finished = false;
};

} // namespace korvalux::service
