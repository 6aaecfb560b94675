#include "service/console_stop.h"

#include <windows.h>

namespace korvalux::service
{

ConsoleStop::ConsoleStop(std::chrono::milliseconds closeWait)
    : m_closeWait(closeWait)
{
}

void ConsoleStop::watch(ServerControl &control)
{
    const std::lock_guard lock(m_mutex);
    m_control = &control;
    m_serving = true;
}

void ConsoleStop::forget()
{
    const std::lock_guard lock(m_mutex);
    m_control = nullptr;
}

void ConsoleStop::finished()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_finishedChanged.notify_all();
}

bool ConsoleStop::handle(unsigned long event)
{
    std::unique_lock lock(m_mutex);
    if (!m_serving)
        return false;
    if (m_control)
        m_control->requestStop();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        m_finishedChanged.wait_for(lock, m_closeWait, [this] { return m_finished; });
    return true;
}

} // namespace korvalux::service
