// Starting the service with fork and execve (the environment and the handed
// descriptors prepared before the fork, nothing allocated after it), reading its
// stderr with poll, and plain blocking sockets for the requests.
#include "service_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace korvalux::service::testProcess
{

ServiceProcess::ServiceProcess(
    std::vector<std::string> extra, bool waitForPort, std::vector<int> handedSockets)
{
    char cacheDir[] = "/tmp/korvalux-e2e-XXXXXX";
    m_cacheDir = ::mkdtemp(cacheDir);
    std::vector<std::string> args = {KORVALUX_SERVICE_BINARY, "--data-dir",
        KORVALUX_SERVICE_TEST_DATA, "--cache-dir", m_cacheDir};
    if (extra.empty() || extra.front() != "--listen")
        args.insert(args.end(), {"--listen", "127.0.0.1:0"});
    args.insert(args.end(), extra.begin(), extra.end());

    std::vector<char *> argv;
    for (auto &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        if (!std::string_view(*entry).starts_with("LISTEN_"))
            environment.emplace_back(*entry);
    }
    // The child writes its own pid into the placeholder: no allocation after fork.
    environment.push_back("LISTEN_FDS=" + std::to_string(handedSockets.size()));
    environment.push_back("LISTEN_PID=0000000000");
    std::vector<char *> envp;
    for (auto &entry : environment)
        envp.push_back(entry.data());
    if (handedSockets.empty())
        envp.resize(envp.size() - 2);
    envp.push_back(nullptr);
    char *pidDigits = environment.back().data() + std::strlen("LISTEN_PID=");

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        // As systemd starts a service: every signal at its default action.
        ::signal(SIGHUP, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // Out of the way of descriptors 2, 3, ... before they are set.
        int copies[8];
        const std::size_t n = std::min<std::size_t>(handedSockets.size(), 8);
        for (std::size_t i = 0; i < n; ++i)
            copies[i] = ::fcntl(handedSockets[i], F_DUPFD, 100);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        for (std::size_t i = 0; i < n; ++i)
            ::dup2(copies[i], 3 + static_cast<int>(i));
        // Nothing else of the test's: a client socket kept here would never close.
        ::close_range(3 + static_cast<unsigned>(n), ~0U, 0);
        if (n > 0) {
            // Without leading zeros, which would read as octal.
            char digits[16];
            int count = 0;
            for (long pid = ::getpid(); pid > 0; pid /= 10)
                digits[count++] = static_cast<char>('0' + pid % 10);
            for (int at = 0; at < count; ++at)
                pidDigits[at] = digits[count - 1 - at];
            pidDigits[count] = '\0';
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_err = pipeFds[0];
    if (waitForPort)
        awaitPort();
}

ServiceProcess::~ServiceProcess()
{
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_err >= 0)
        ::close(m_err);
    std::error_code ec;
    std::filesystem::remove_all(m_cacheDir, ec);
}

std::string ServiceProcess::readErrors(std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (readSome(until)) { }
    return m_errors;
}

bool ServiceProcess::ended(std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        siginfo_t info {};
        if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
            && info.si_pid == m_pid)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return false;
        // Its log read on meanwhile: a full pipe would hold the process up.
        if (!readSome(std::min(until, now + 20ms)))
            std::this_thread::sleep_for(5ms);
    }
}

int ServiceProcess::wait(std::chrono::milliseconds limit)
{
    if (!ended(limit))
        return -1;
    int status = 0;
    if (::waitpid(m_pid, &status, 0) != m_pid)
        return -1;
    m_exited = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ServiceProcess::readSome(std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    pollfd p {m_err, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = ::read(m_err, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_errors.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool ServiceProcess::waitForLog(
    const std::string &what, std::size_t times, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (count(m_errors, what) < times) {
        if (!readSome(until))
            return false;
    }
    return true;
}

int ServiceProcess::awaitPort()
{
    const std::string marker = "listening on ";
    const auto until = std::chrono::steady_clock::now() + 20s;
    for (;;) {
        const std::size_t at = m_errors.find(marker);
        const std::size_t end = at == std::string::npos ? at : m_errors.find('\n', at);
        if (end != std::string::npos) {
            // "ADDR:PORT", maybe followed by a note: the port follows the last colon.
            const std::string where = m_errors.substr(at + marker.size(), end - at);
            const std::string address = where.substr(0, where.find_first_of(" \n"));
            m_port = std::atoi(address.c_str() + address.rfind(':') + 1);
            return m_port;
        }
        if (!readSome(until))
            break;
    }
    ADD_FAILURE() << "the service did not start: " << m_errors;
    return 0;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

std::string receive(int fd, std::chrono::milliseconds quiet)
{
    std::string out;
    char buffer[8192];
    for (;;) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string fetch(int port, const std::string &target)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    sendAll(fd, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    std::string answer = receive(fd);
    ::close(fd);
    return answer;
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace korvalux::service::testProcess
