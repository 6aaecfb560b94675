// posix_spawn with a new process group, and non-blocking connects for the poll.
// The launched process is our child: it is reaped whenever it has ended, so an
// idle exit leaves no zombie behind for long, and stop() waits for the group
// rather than the one process, which may have forked and gone.
#include "net/service_starter.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

namespace localservice
{

namespace
{

using std::chrono::milliseconds;

constexpr char serviceName[] = "korvalux-service";
// A service that has served nothing is asked to leave, then killed after this.
constexpr milliseconds termGrace {250};

bool isExecutable(const std::filesystem::path &path)
{
    struct stat info {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

bool groupAlive(pid_t group)
{
    if (group <= 0)
        return false;
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    // A zombie still counts as a member, and an orphan's reaper may take its time
    // (in a container it may never come): only a process that runs counts.
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // "pid (comm) S ppid pgrp ...": the name may hold blanks and brackets.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 1));
        char state = 0;
        pid_t parent = 0;
        pid_t member = 0;
        if (fields >> state >> parent >> member && member == group && state != 'Z' && state != 'X')
            return true;
    }
    return false;
}

namespace
{

bool connectsWithin(const addrinfo &address, milliseconds wait)
{
    const int fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    bool connected = ::connect(fd, address.ai_addr, address.ai_addrlen) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd watch {fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        connected = ::poll(&watch, 1, static_cast<int>(wait.count())) == 1
            && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

} // namespace

std::filesystem::path programFolder()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

std::string installedServiceProgram(const std::filesystem::path &folder)
{
    if (!folder.empty() && isExecutable(folder / serviceName))
        return (folder / serviceName).string();
    const char *path = std::getenv("PATH");
    std::string_view folders = path ? path : "";
    while (!folders.empty()) {
        const std::size_t colon = std::min(folders.find(':'), folders.size());
        const std::filesystem::path candidate
            = std::filesystem::path(folders.substr(0, colon)) / serviceName;
        if (colon > 0 && isExecutable(candidate))
            return candidate.string();
        folders.remove_prefix(std::min(colon + 1, folders.size()));
    }
    return {};
}

ServiceProgram::ServiceProgram(std::string_view converterHost, std::string program,
    std::optional<std::vector<std::string>> arguments)
    : m_listen(core::loopbackListenAddress(converterHost))
    , m_program(std::move(program))
{
    if (m_listen)
        m_arguments = arguments ? std::move(*arguments) : core::serviceStartArguments(*m_listen);
}

ServiceProgram::~ServiceProgram()
{
    reap();
}

void ServiceProgram::reap()
{
    if (m_group > 0)
        ::waitpid(m_group, nullptr, WNOHANG);
}

bool ServiceProgram::listens(milliseconds wait)
{
    reap();
    if (!m_listen)
        return false;
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(m_listen->port);
    if (::getaddrinfo(m_listen->host.c_str(), port.c_str(), &hints, &found) != 0)
        return false;
    bool accepted = false;
    for (const addrinfo *at = found; at && !accepted; at = at->ai_next)
        accepted = connectsWithin(*at, wait);
    ::freeaddrinfo(found);
    return accepted;
}

bool ServiceProgram::launch()
{
    reap();
    if (!m_listen || m_program.empty())
        return false;
    std::vector<char *> argv {m_program.data()};
    for (std::string &argument : m_arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The service outlives the window: it must not hold the window's terminal,
    // output pipes (a reader of them would wait for the service's end), working
    // folder or any other descriptor, and it must not share its process group,
    // so that a terminal's Ctrl+C for the window does not reach it.
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
    posix_spawn_file_actions_addchdir_np(&files, "/");
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGHUP, SIGINT, SIGTERM, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failed
        = posix_spawn(&pid, m_program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (failed != 0)
        return false;
    m_group = pid;
    return true;
}

bool ServiceProgram::running()
{
    // Any member, a zombie too: a child forked just before its parent's exit may
    // not show in /proc yet, and the poll must not give up on it.
    reap();
    return m_group > 0 && ::kill(-m_group, 0) == 0;
}

void ServiceProgram::stop()
{
    const pid_t group = m_group;
    if (group <= 0)
        return;
    const auto endsWithin = [group, this](milliseconds grace) {
        const auto deadline = std::chrono::steady_clock::now() + grace;
        for (;;) {
            reap();
            if (!groupAlive(group))
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(core::servicePollInterval);
        }
    };
    if (::kill(-group, SIGTERM) != 0 || endsWithin(termGrace))
        return;
    // It has served nothing; its cache writes are atomic, and its start removes
    // what a kill left.
    ::kill(-group, SIGKILL);
    endsWithin(termGrace);
}

} // namespace localservice
