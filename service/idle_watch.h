// Counts a server's open connections and calls onIdle when none has been open
// for the limit (--exit-idle-time). Touched once per connection, never per
// request: the listener arms it, each session opens and closes on it.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace korvalux::service
{

class IdleWatch
{
public:
    IdleWatch(
        boost::asio::io_context &io, std::chrono::seconds limit, std::function<void()> onIdle);

    void opened() { m_open.fetch_add(1); }
    void closed()
    {
        if (m_open.fetch_sub(1) == 1)
            arm();
    }

    // Once leaving, an answer is the connection's last: the process ends soon.
    bool leaving() const { return m_left.load(); }

    void arm();

    // Before the io_context goes: sessions it still holds may close after this.
    void halt();

private:
    std::mutex m_mutex; // the timer, with several serving threads
    std::optional<boost::asio::steady_timer> m_timer;
    std::atomic<unsigned> m_open {0};
    std::atomic<bool> m_left {false};
    std::chrono::seconds m_limit;
    std::function<void()> m_onIdle;
};

} // namespace korvalux::service
