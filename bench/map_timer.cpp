// Measures one start of a windowed program on the current X display: the time
// from starting the process to its first top-level window being mapped, and
// the resident memory once it has been idle for a while. Output: one line,
// "<milliseconds> <rss kilobytes>". Used by startup_bench.sh on a private Xvfb
// display, where no window manager runs and every map reaches the root window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace
{

long residentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IDLE-MS PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    const int idleMs = std::atoi(argv[1]);
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "map-timer: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    if (child < 0) {
        std::perror("map-timer: fork");
        return 1;
    }

    bool mapped = false;
    const auto deadline = start + std::chrono::seconds(60);
    while (!mapped && std::chrono::steady_clock::now() < deadline) {
        if (XPending(display) == 0) {
            pollfd fd {ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 100);
            if (waitpid(child, nullptr, WNOHANG) == child) {
                std::fprintf(stderr, "map-timer: %s ended before showing a window\n", argv[2]);
                return 1;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        mapped = event.type == MapNotify && !event.xmap.override_redirect;
    }
    const auto shown = std::chrono::steady_clock::now();
    if (!mapped) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::fprintf(stderr, "map-timer: no window within 60 s\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(idleMs));
    const long rss = residentKilobytes(child);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    std::printf(
        "%.2f %ld\n", std::chrono::duration<double, std::milli>(shown - start).count(), rss);
    return 0;
}
