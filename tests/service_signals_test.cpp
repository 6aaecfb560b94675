// The Linux host's signals in a process of the test's own (forked, so that a
// signal's default action or a blocked handler ends or stalls only that child):
// the hang-up pipe flooded past its size while nobody reads it, and SIGTERM
// after leaving, which ends a last answer at once only when leaving idle.
#include "service/hang_up.h"
#include "service/posix_host.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/strand.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

using namespace korvalux::service;
namespace net = boost::asio;
using namespace std::chrono_literals;

namespace
{

class CountingControl final : public ServerControl
{
public:
    explicit CountingControl(net::io_context &io)
        : m_strand(net::make_strand(io))
    {
    }
    Executor executor() const override { return m_strand; }
    void requestStop() override { ++stops; }
    void requestReload() override { ++reloads; }

    int stops = 0;
    int reloads = 0;

private:
    Executor m_strand;
};

// Runs child in a forked process; its exit status, or the signal that ended it
// (as 128 + the number), or -1 when it was still running after 20 s (then killed).
int inChild(const std::function<int()> &child)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(child());
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > giveUp) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace

TEST(ServiceSignals, AHangUpFloodNeverBlocksItsHandler)
{
    struct Row {
        const char *name;
        bool watched; // a host watches the pipe, on a serving thread too busy to read it
    };
    const Row rows[] = {{"nobody reading", false}, {"the serving thread busy", true}};
    for (const auto &row : rows) {
        const int status = inChild([&] {
            const int fd = catchHangUps();
            if (fd < 0)
                return 10;
            net::io_context io;
            CountingControl control(io);
            PosixHost host(-1, fd);
            if (row.watched)
                host.watch(control);
            // One more hang-up than the pipe holds bytes: a blocking write stalls here.
            const int capacity = ::fcntl(fd, F_GETPIPE_SZ);
            for (int i = 0; i <= capacity + 1000; ++i)
                ::raise(SIGHUP);
            if (row.watched) {
                io.poll();
                host.forget();
                return control.reloads == 1 ? 0 : 11;
            }
            return takeHangUps(fd) && !takeHangUps(fd) ? 0 : 12;
        });
        EXPECT_EQ(status, 0) << row.name << (status < 0 ? ": the handler blocked" : "");
    }
}

TEST(ServiceSignals, SigtermAfterLeavingIdleEndsAtOnce)
{
    struct Row {
        const char *name;
        bool idle; // leaving when idle, else after a stop
        int status; // of the process after a SIGTERM
    };
    const Row rows[] = {
        {"leaving when idle: the default action", true, 128 + SIGTERM},
        {"leaving after a stop: still caught", false, 0},
    };
    for (const auto &row : rows) {
        const int status = inChild([&] {
            net::io_context io;
            CountingControl control(io);
            PosixHost host(-1, -1);
            host.watch(control);
            host.leave(row.idle);
            ::raise(SIGTERM);
            io.poll();
            host.forget();
            return control.stops == 0 ? 0 : 13; // a wait cancelled by leaving asks nothing
        });
        EXPECT_EQ(status, row.status) << row.name;
    }
}
