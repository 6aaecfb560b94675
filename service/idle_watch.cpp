// One timer, re-armed each time the last connection closes: a wait armed
// before ends as cancelled, so only the newest can find the server idle.
#include "service/idle_watch.h"

namespace korvalux::service
{

IdleWatch::IdleWatch(
    boost::asio::io_context &io, std::chrono::seconds limit, std::function<void()> onIdle)
    : m_timer(std::in_place, io)
    , m_limit(limit)
    , m_onIdle(std::move(onIdle))
{
}

void IdleWatch::arm()
{
    std::lock_guard lock(m_mutex);
    if (!m_timer || m_left)
        return;
    m_timer->expires_after(m_limit); // cancels the wait armed before
    m_timer->async_wait([this](boost::system::error_code ec) {
        if (!ec && m_open.load() == 0 && !m_left.exchange(true))
            m_onIdle();
    });
}

void IdleWatch::halt()
{
    std::lock_guard lock(m_mutex);
    m_timer.reset();
}

} // namespace korvalux::service
