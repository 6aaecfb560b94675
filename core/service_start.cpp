// One mutex guards the state; the port is polled with it released, so a press
// can wait on a start under way while the background thread polls.
#include "core/service_start.h"

#include "core/service_address.h"

#include <algorithm>

namespace core
{

namespace
{

using SteadyTime = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One poll's connection attempt: on Windows a refused loopback connect is
// retried by TCP for about a second, so a poll never waits that long for it.
constexpr milliseconds connectWait {50};

milliseconds until(SteadyTime::time_point deadline)
{
    return std::chrono::duration_cast<milliseconds>(deadline - SteadyTime::now());
}

} // namespace

ServiceStartRule::ServiceStartRule(ServiceProcess &process)
    : m_process(process)
{
}

ServiceStartRule::~ServiceStartRule()
{
    {
        const std::lock_guard lock(m_mutex);
        m_leaving = true;
    }
    m_changed.notify_all();
    if (m_background.joinable())
        m_background.join();
}

int ServiceStartRule::launches() const
{
    const std::lock_guard lock(m_mutex);
    return m_launches;
}

void ServiceStartRule::warmUp()
{
    const std::lock_guard lock(m_mutex);
    if (m_background.joinable() || m_state != State::Idle)
        return;
    m_background = std::thread([this] {
        // Something listens already: systemd's socket, or another window's service.
        if (m_process.listens(connectWait))
            return;
        std::unique_lock lock(m_mutex);
        if (!m_leaving && m_state == State::Idle)
            launchAndWait(lock, SteadyTime::now() + serviceStartBudget);
    });
}

bool ServiceStartRule::start(milliseconds within)
{
    const SteadyTime::time_point deadline = SteadyTime::now() + within;
    std::unique_lock lock(m_mutex);
    if (m_state == State::Starting) {
        // The warm-up's start is under way: its service, not a second one.
        m_changed.wait_until(lock, deadline, [this] { return m_state != State::Starting; });
        return m_state == State::Up;
    }
    // Idle, or up once and gone since (its idle exit): the press was refused.
    return launchAndWait(lock, deadline);
}

bool ServiceStartRule::launchAndWait(
    std::unique_lock<std::mutex> &lock, SteadyTime::time_point deadline)
{
    if (!m_process.launch())
        return false;
    ++m_launches;
    m_state = State::Starting;
    bool up = false;
    while (!m_leaving) {
        lock.unlock();
        up = m_process.listens(std::clamp(until(deadline), milliseconds(1), connectWait));
        // Asked once more when nothing launched runs: a service that found the
        // port taken by another window's service ends at once, and that one serves.
        const bool ended = !up && !m_process.running();
        if (ended)
            up = m_process.listens(connectWait);
        lock.lock();
        if (up || ended || SteadyTime::now() >= deadline)
            break;
        m_changed.wait_for(
            lock, std::min(servicePollInterval, until(deadline)), [this] { return m_leaving; });
    }
    // Not up in time: it has served nothing, and would otherwise linger, one more
    // on every press. A window that closes meanwhile leaves it to its idle exit.
    if (!up && !m_leaving && m_process.running())
        m_process.stop();
    m_state = up ? State::Up : State::Idle;
    m_changed.notify_all();
    return up;
}

} // namespace core
