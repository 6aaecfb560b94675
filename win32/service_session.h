// The window's Internet session on Windows: WinINet, and when a loopback
// converter host refuses the connection, the service started and the page asked
// for once more (core::downloadStartingService), as the Linux window does.
#pragma once

#include "core/download.h"
#include "core/ports.h"
#include "win32/wininet_session.h"

#include <string>

namespace win32
{

class ServiceStartingSession : public core::InternetSession
{
public:
    ServiceStartingSession(
        WinInetSession &session, core::ServiceStarter &starter, std::u16string converterHost);

    void open() override { m_session.open(); }
    void close() override { m_session.close(); }
    std::u16string downloadPage(const std::u16string &address) override;

private:
    WinInetSession &m_session;
    core::ServiceStarter &m_starter;
    std::u16string m_host;
    bool m_hostIsLoopback;
};

} // namespace win32
