// The SIGHUP handler and its pipe (the self-pipe pattern): only write() runs in
// the handler, everything else on the thread that reads the pipe.
#include "service/hang_up.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korvalux::service
{

namespace
{

volatile std::sig_atomic_t writeEnd = -1;

extern "C" void onHangUp(int)
{
    const int savedErrno = errno;
    // A full pipe drops the byte: one waiting hang-up stands for any number.
    [[maybe_unused]] const auto n = ::write(writeEnd, "h", 1);
    errno = savedErrno;
}

} // namespace

int catchHangUps()
{
    static const int readEnd = [] {
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
            std::signal(SIGHUP, SIG_IGN);
            return -1;
        }
        writeEnd = ends[1];
        struct sigaction action {
        };
        action.sa_handler = onHangUp;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART; // a read or wait the signal interrupts goes on
        if (::sigaction(SIGHUP, &action, nullptr) != 0) {
            std::signal(SIGHUP, SIG_IGN);
            return -1;
        }
        return ends[0];
    }();
    return readEnd;
}

bool takeHangUps(int fd)
{
    bool any = false;
    char bytes[64];
    for (;;) {
        const ssize_t n = ::read(fd, bytes, sizeof bytes);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return any;
    }
}

} // namespace korvalux::service
