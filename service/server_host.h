// What the process around the server gives it: a listening socket handed over,
// and the requests to stop or to reload. Linux's are systemd's socket and the
// signals (posix_host.h); the plain ServerHost binds as the options say and
// leaves only idle time or a requestStop from any thread to end serving.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>

#include <optional>
#include <string>

namespace korvalux::service
{

// A serving server, as its host sees it.
class ServerControl
{
public:
    // Where accepting, stop and reload requests and leaving run, one at a time.
    using Executor = boost::asio::strand<boost::asio::io_context::executor_type>;
    virtual Executor executor() const = 0;

    // Both run on executor(); once the server is leaving they do nothing. Safe
    // from any thread when the host says it calls from other threads, else only
    // on the serving threads. Stop ends serving at once, open connections cut;
    // reload calls runServer's onReload.
    virtual void requestStop() = 0;
    virtual void requestReload() = 0;

protected:
    ~ServerControl() = default;
};

class ServerHost
{
public:
    virtual ~ServerHost() = default;

    // A listening socket from elsewhere, made into acceptor: where it came from
    // ("the socket from systemd"); ec is set when it cannot be used. nullopt:
    // none was handed over, the server binds as its options say.
    virtual std::optional<std::string> adoptListener(
        boost::asio::ip::tcp::acceptor &, boost::system::error_code &)
    {
        return std::nullopt;
    }

    // Whether control is called from threads that do not serve (a console
    // handler, say): one serving thread then takes the io_context's locks.
    virtual bool callsFromOtherThreads() const { return true; }

    // Once, before serving: arms whatever asks control to stop or reload.
    // control stays valid until forget(); a call from another thread must be
    // over before forget() returns (one lock around both), since the server's
    // io_context goes right after it.
    virtual void watch(ServerControl &) { }

    // On control's executor, once: arm nothing more, so that serving can end
    // once the last connection is done. idle: leaving when idle, the last
    // answers may still go out; else after a stop request.
    virtual void leave(bool /*idle*/) { }

    // After serving, before the io_context goes: drop all that waits on it.
    virtual void forget() { }
};

} // namespace korvalux::service
