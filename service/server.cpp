// runServer: one io_context, a Listener on it, an IdleWatch when the service is
// to leave once idle, and the host's stop and reload requests. Accepting, those
// requests and leaving run on one strand (the control strand), so leaving
// happens once and nothing waits for a request after it.
#include "service/server.h"

#include "service/held_answers.h"
#include "service/idle_watch.h"
#include "service/listener.h"
#include "service/log_line.h"
#include "service/server_host.h"

#include <boost/asio/dispatch.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace korvalux::service
{

namespace
{

namespace net = boost::asio;
using tcp = net::ip::tcp;

class Control final : public ServerControl
{
public:
    Control(net::io_context &io, ServerHost &host, const std::function<void()> &onReload)
        : m_io(io)
        , m_strand(net::make_strand(io))
        , m_host(host)
        , m_onReload(onReload)
    {
    }

    Executor executor() const override { return m_strand; }

    void requestStop() override
    {
        net::dispatch(m_strand, [this] {
            if (m_leaving)
                return;
            leave(false);
            m_io.stop();
        });
    }

    void requestReload() override
    {
        net::dispatch(m_strand, [this] {
            if (!m_leaving && m_onReload)
                m_onReload();
        });
    }

    // On the strand. Ends every wait of the server's own: once leaving, nothing
    // is armed again, so run() returns as soon as the last connection is done.
    void leave(bool idle)
    {
        m_leaving = true;
        m_listener->close();
        m_host.leave(idle);
    }

    bool leaving() const { return m_leaving; }
    void setListener(std::shared_ptr<Listener> listener) { m_listener = std::move(listener); }

private:
    net::io_context &m_io;
    Executor m_strand;
    ServerHost &m_host;
    const std::function<void()> &m_onReload;
    std::shared_ptr<Listener> m_listener;
    bool m_leaving = false; // on the strand
};

int concurrencyHint(const ServerOptions &options, const ServerHost &host)
{
    if (options.threads > 1)
        return static_cast<int>(options.threads);
    // One serving thread owns the io_context alone: no locking inside it, unless
    // the host or the keeper (the end of a hold) posts into it from elsewhere.
    return host.callsFromOtherThreads() || options.freshRates ? 1
                                                              : BOOST_ASIO_CONCURRENCY_HINT_UNSAFE;
}

} // namespace

int runServer(RateStore &store, const ServerOptions &options, ServerHost &host,
    const std::function<void(const std::string &where)> &onListening,
    const std::function<void()> &onReload)
{
    net::io_context io(concurrencyHint(options, host));
    boost::system::error_code ec;
    tcp::acceptor acceptor(io);
    std::string where = options.address + ":" + std::to_string(options.port);
    auto failed = [&](const char *what) {
        std::cerr << "korvalux-service: cannot listen on " << where << ": " << what << ": "
                  << ec.message() << "\n";
        return 1;
    };
    if (auto handed = host.adoptListener(acceptor, ec)) {
        where = std::move(*handed);
        if (ec)
            return failed("socket");
    } else if (const char *step = bindListener(acceptor, options.address, options.port, ec)) {
        return failed(step);
    }
    const auto local = acceptor.local_endpoint(ec);
    if (ec)
        return failed("address");

    Control control(io, host, onReload);
    // Stop requests are caught from here on; what they start runs only in run(),
    // once the listener is there.
    host.watch(control);
    std::shared_ptr<IdleWatch> watch;
    if (options.exitIdleTime.count() > 0) {
        watch = std::make_shared<IdleWatch>(io, options.exitIdleTime, [&] {
            net::dispatch(control.executor(), [&] {
                if (control.leaving())
                    return;
                writeLogLine("korvalux-service: no connection for "
                    + std::to_string(options.exitIdleTime.count()) + " s, leaving");
                // No io.stop(): a connection accepted at this moment is still answered,
                // and run() returns once the last one is done.
                control.leave(true);
            });
        });
    }
    std::optional<HeldAnswers> held;
    if (options.freshRates)
        held.emplace(io, *options.freshRates);
    auto listener = std::make_shared<Listener>(io, control.executor(), std::move(acceptor),
        SessionShared {store, options, watch, held ? &*held : nullptr});
    control.setListener(listener);
    listener->accept(); // nothing runs yet: no need to be on the strand
    if (watch)
        watch->arm();

    if (onListening)
        onListening(describe(local));

    std::vector<std::thread> threads;
    for (unsigned i = 1; i < options.threads; ++i)
        threads.emplace_back([&io] { io.run(); });
    io.run();
    for (auto &thread : threads)
        thread.join();
    if (watch)
        watch->halt();
    host.forget();
    return 0;
}

} // namespace korvalux::service
