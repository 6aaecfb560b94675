// The service's start on Linux against stand-in programs (shell scripts, Python
// for a listener): where the program is found, what it is started with, and
// that after a press only a service that came up is left, whatever the stand-in
// did: never listened, ignored SIGTERM, exited, or forked and exited.
#include "net/service_starter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TempFolder
{
public:
    TempFolder()
    {
        char pattern[] = "/tmp/korvalux-starter-XXXXXX";
        m_path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempFolder() { fs::remove_all(m_path); }
    fs::path operator/(const char *name) const { return m_path / name; }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

void writeScript(const fs::path &path, const std::string &body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
}

std::string readFile(const fs::path &path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Sets PATH for one test and puts the old value back.
class PathEnvironment
{
public:
    explicit PathEnvironment(const std::string &path)
        : m_saved(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", path.c_str(), 1);
    }
    ~PathEnvironment() { ::setenv("PATH", m_saved.c_str(), 1); }

private:
    std::string m_saved;
};

// A loopback port nothing listens on right now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Read from /proc/PID/status, apart from the starter's own reading of /proc/PID/stat:
// a zombie, whose reaper may take its time here, counts as gone.
bool groupGone(pid_t group)
{
    for (const auto &entry : fs::directory_iterator("/proc")) {
        std::ifstream status(entry.path() / "status");
        std::string line, state;
        pid_t member = 0;
        while (std::getline(status, line)) {
            if (line.starts_with("State:"))
                state = line.substr(line.find_first_not_of(" \t", 6), 1);
            if (line.starts_with("NSpgid:"))
                member = std::atoi(line.c_str() + 7);
        }
        if (member == group && state != "Z" && state != "X")
            return false;
    }
    return true;
}

// Listens on the port of "$2" (--listen ADDR:PORT) until killed.
const std::string listener = "python3 -c 'import socket, sys, time\n"
                             "s = socket.socket()\n"
                             "s.bind((\"127.0.0.1\", int(sys.argv[1].split(\":\")[1])))\n"
                             "s.listen()\n"
                             "time.sleep(30)' \"$2\"";

// A group whose only member is a zombie is gone; one that sleeps, or a stopped
// one, is not.
TEST(ServiceStarter, OnlyARunningMemberKeepsAGroupAlive)
{
    const struct {
        const char *what;
        int signal; // sent to the child after it started; 0: none
        bool alive;
    } rows[] = {
        {"sleeping", 0, true},
        {"stopped", SIGSTOP, true},
        {"a zombie nobody reaped yet", SIGKILL, false},
    };
    for (const auto &row : rows) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setpgid(0, 0);
            ::pause();
            ::_exit(0);
        }
        ::setpgid(child, child);
        if (row.signal)
            ::kill(child, row.signal);
        // Until the signal has taken effect.
        for (int i = 0; i < 200 && localservice::groupAlive(child) != row.alive; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(localservice::groupAlive(child), row.alive) << row.what;
        EXPECT_EQ(groupGone(child), !row.alive) << row.what;
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        EXPECT_FALSE(localservice::groupAlive(child)) << row.what;
    }
}

TEST(ServiceStarter, LooksBesideTheProgramFirstThenOnPath)
{
    TempFolder beside, onPath, empty;
    writeScript(beside / "korvalux-service", "exit 0");
    writeScript(onPath / "korvalux-service", "exit 0");
    // Present but not executable: skipped, as a shell would.
    std::ofstream(empty / "korvalux-service") << "";
    const struct {
        const fs::path &programFolder;
        std::string path;
        std::string found;
    } rows[] = {
        {beside.path(), onPath.path().string(), (beside / "korvalux-service").string()},
        {empty.path(), onPath.path().string(), (onPath / "korvalux-service").string()},
        {empty.path(), empty.path().string() + "::" + empty.path().string(), ""},
    };
    for (const auto &row : rows) {
        const PathEnvironment path(row.path);
        EXPECT_EQ(localservice::installedServiceProgram(row.programFolder), row.found) << row.path;
    }
}

// What the service gets: the core's arguments, nothing of the window's streams or
// folder, and a process group of its own. A host that is not loopback never
// starts anything.
TEST(ServiceStarter, StartsDetachedWithTheCoreArgumentsAndOnlyForLoopback)
{
    TempFolder dir;
    const fs::path program = dir / "stand-in";
    const std::string seen = (dir / "seen").string();
    writeScript(program,
        "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
        "leaks=$(ls -l /proc/$$/fd | grep -c leaked)\n"
        "printf '%s\\n' \"$*\" \"$(pwd)\" \"$streams\" \"$leaks\" > '"
            + seen + ".tmp'\nmv '" + seen + ".tmp' '" + seen + "'\n" + listener);
    // A descriptor the window left open across exec must not reach the service.
    const int leaked = ::open((dir / "leaked").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(leaked, 0);
    const std::string host = "localhost:" + std::to_string(freePort());

    localservice::ServiceProgram remote("0.0.0.0:8765", program.string());
    EXPECT_FALSE(remote.launch());

    localservice::ServiceProgram service(host, program.string());
    core::ServiceStartRule rule(service);
    ASSERT_TRUE(rule.start(5s));
    const std::string listen = "127.0.0.1:" + host.substr(host.find(':') + 1);
    ::close(leaked);
    EXPECT_EQ(readFile(dir / "seen"),
        "--listen " + listen
            + " --exit-idle-time 300 --quiet --refresh\n/\n/dev/null\n/dev/null\n/dev/null\n0\n");
    EXPECT_EQ(::getpgid(service.processGroup()), service.processGroup());
    EXPECT_NE(service.processGroup(), ::getpgrp());
    ::kill(-service.processGroup(), SIGKILL);
}

// Stand-ins that do not come up are stopped, with all they started; a press
// goes on polling after the started process has exited.
TEST(ServiceStarter, LeavesOnlyAServiceThatCameUp)
{
    const struct {
        const char *why;
        std::string script;
        bool comesUp;
    } rows[] = {
        {"never listens", "exec sleep 30", false},
        {"ignores SIGTERM", "trap '' TERM\nexec sleep 30", false},
        {"exits at once", "exit 3", false},
        {"forks and exits at once", "sleep 30 &\nexit 0", false},
        {"listens", "exec " + listener, true},
        {"forks and listens after 1 s", "{ sleep 1; exec " + listener + "; } &\nexit 0", true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        TempFolder dir;
        writeScript(dir / "stand-in", row.script);
        localservice::ServiceProgram service(
            "127.0.0.1:" + std::to_string(freePort()), (dir / "stand-in").string());
        core::ServiceStartRule rule(service);
        EXPECT_EQ(rule.start(row.comesUp ? core::serviceStartBudget : 1s), row.comesUp);
        EXPECT_EQ(groupGone(service.processGroup()), !row.comesUp);
        if (row.comesUp) {
            ::kill(-service.processGroup(), SIGKILL);
            for (int i = 0; i < 200 && !groupGone(service.processGroup()); ++i)
                std::this_thread::sleep_for(10ms);
        }
    }
}

} // namespace
