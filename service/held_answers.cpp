// The held answers' one timer and one list, under a lock: with several serving
// threads a session holds from its strand while the timer's handler or the
// keeper's post runs elsewhere. A hold checks the wait and joins the list under
// that lock, so it either sees the hold over or is in the list the wake-up takes.
#include "service/held_answers.h"

#include <boost/asio/post.hpp>

#include <utility>

namespace korvalux::service
{

HeldAnswers::HeldAnswers(boost::asio::io_context &io, FreshRatesWait &wait)
    : m_io(io)
    , m_wait(wait)
    , m_timer(io)
{
    m_wait.setHoldListener(this);
}

HeldAnswers::~HeldAnswers()
{
    m_wait.setHoldListener(nullptr);
}

bool HeldAnswers::hold(std::function<void()> wake)
{
    std::lock_guard lock(m_mutex);
    const auto until = m_wait.holdUntil();
    if (!until)
        return false;
    m_held.push_back(std::move(wake));
    if (!m_armed) {
        m_armed = true;
        m_timer.expires_at(*until);
        m_timer.async_wait([this](boost::system::error_code ec) {
            if (!ec)
                wakeAll();
        });
    }
    return true;
}

void HeldAnswers::holdEnded()
{
    boost::asio::post(m_io.get_executor(), [this] { wakeAll(); });
}

void HeldAnswers::wakeAll()
{
    std::vector<std::function<void()>> held;
    {
        std::lock_guard lock(m_mutex);
        held.swap(m_held);
        if (held.empty())
            return;
        m_armed = false;
        m_timer.cancel();
    }
    for (auto &wake : held)
        wake();
}

} // namespace korvalux::service
