// Only a loopback host is ever started; anything else fails as it always has.
#include "win32/service_session.h"

#include "win32/service_process.h"

namespace win32
{

ServiceStartingSession::ServiceStartingSession(
    WinInetSession &session, core::ServiceStarter &starter, std::u16string converterHost)
    : m_session(session)
    , m_starter(starter)
    , m_host(std::move(converterHost))
    , m_hostIsLoopback(loopbackTarget(m_host).has_value())
{
}

std::u16string ServiceStartingSession::downloadPage(const std::u16string &address)
{
    return core::downloadStartingService(address, m_hostIsLoopback, m_session, &m_starter);
}

} // namespace win32
