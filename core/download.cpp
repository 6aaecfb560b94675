// The retry after starting the service: the start and the second download share
// one budget, so a press never waits longer than serviceStartBudget for it.
#include "core/download.h"

namespace core
{

std::u16string downloadStartingService(const std::u16string &address, bool hostIsLoopback,
    DownloadAttempt &attempt, ServiceStarter *starter, const Clock &clock)
{
    using std::chrono::milliseconds;
    DownloadFailure failure = DownloadFailure::None;
    std::u16string page = attempt.download(address, {}, &failure);
    if (failure != DownloadFailure::ConnectionRefused || !starter || !hostIsLoopback)
        return page;
    const auto begun = clock.now();
    if (!starter->start(serviceStartBudget))
        return page;
    const auto left
        = std::chrono::duration_cast<milliseconds>(serviceStartBudget - (clock.now() - begun));
    if (left <= milliseconds::zero())
        return page;
    DownloadLimits limits;
    limits.connectTimeout = left;
    limits.stallTimeout = left;
    limits.totalTimeout = left;
    return attempt.download(address, limits, nullptr);
}

ServiceStartingSession::ServiceStartingSession(InternetSession &session, DownloadAttempt &attempt,
    ServiceStarter &starter, std::string_view converterHost)
    : m_session(session)
    , m_attempt(attempt)
    , m_starter(starter)
    , m_hostIsLoopback(loopbackListenAddress(converterHost).has_value())
{
}

void ServiceStartingSession::warmUp()
{
    if (m_hostIsLoopback)
        m_starter.warmUp();
}

std::u16string ServiceStartingSession::downloadPage(const std::u16string &address)
{
    return downloadStartingService(address, m_hostIsLoopback, m_attempt, &m_starter);
}

} // namespace core
