// Converter answers held for fresh rates (FreshRatesWait), on the server's side:
// each held session leaves a wake-up here, and all are woken together, either
// when the keeper says its first round is over or when the bound passes. One
// timer for the bound, one post from the keeper's thread: the cost of holding an
// answer does not grow with the number held. runServer makes one when the
// service refreshes; sessions hold through it.
#pragma once

#include "service/fresh_rates_wait.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <mutex>
#include <vector>

namespace korvalux::service
{

class HeldAnswers final : public HoldListener
{
public:
    // Listens to wait until destroyed; io must outlive this.
    HeldAnswers(boost::asio::io_context &io, FreshRatesWait &wait);
    ~HeldAnswers();
    HeldAnswers(const HeldAnswers &) = delete;
    HeldAnswers &operator=(const HeldAnswers &) = delete;

    // From any serving thread. False: answer now. True: wake is called once, on
    // the io_context's executor, when the hold ends; it must move to the
    // session's own executor before touching the session.
    bool hold(std::function<void()> wake);

    // From the keeper's thread: posted to the io_context, as no other thread may
    // touch the serving side.
    void holdEnded() override;

private:
    void wakeAll();

    boost::asio::io_context &m_io;
    FreshRatesWait &m_wait;
    std::mutex m_mutex; // serving threads and the timer's handler
    boost::asio::steady_timer m_timer;
    bool m_armed = false;
    std::vector<std::function<void()>> m_held;
};

} // namespace korvalux::service
