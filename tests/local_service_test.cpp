// Starting the converter service on a refused loopback host, without a window:
// the host's split and classification, the program lookup, the start itself
// against stand-in programs, and when a download is retried. Launchers and
// downloads here are fakes; the window test starts the real service.
#include "net/local_service.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using modInternetFileFunctions::DownloadFailure;
using modInternetFileFunctions::DownloadLimits;

namespace
{

void writeScript(const QString &path, const QByteArray &body)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Sets PATH for one test and puts the old value back.
class PathEnvironment
{
public:
    explicit PathEnvironment(const QString &path)
        : m_saved(qgetenv("PATH"))
    {
        qputenv("PATH", path.toLocal8Bit());
    }
    ~PathEnvironment() { qputenv("PATH", m_saved); }

private:
    QByteArray m_saved;
};

// A loopback port nothing listens on right now.
quint16 freePort()
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

// Running, not a zombie waiting for the reaper of orphans.
bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

TEST(LocalService, SplitsAndClassifiesTheHost)
{
    struct Row {
        const char *hostPort;
        bool valid;
        const char *host;
        quint16 port;
        bool loopback;
    };
    const Row rows[] = {
        {"127.0.0.1:8765", true, "127.0.0.1", 8765, true},
        {"127.9.8.7:1", true, "127.9.8.7", 1, true},
        {"localhost", true, "localhost", 80, true},
        {"LocalHost:8080", true, "LocalHost", 8080, true},
        {"[::1]:8765", true, "::1", 8765, true},
        {"[::1]", true, "::1", 80, true},
        {"128.0.0.1:8765", true, "128.0.0.1", 8765, false},
        {"0.0.0.0:8765", true, "0.0.0.0", 8765, false},
        {"[::]:8765", true, "::", 8765, false},
        {"localhost.example:80", true, "localhost.example", 80, false},
        {"converter.example", true, "converter.example", 80, false},
        {"::1", false, "", 0, false},
        {"127.0.0.1:", false, "", 0, false},
        {"127.0.0.1:0", false, "", 0, false},
        {"127.0.0.1:65536", false, "", 0, false},
        {"127.0.0.1:+80", false, "", 0, false},
        {"[::1", false, "", 0, false},
        {"[::1]x", false, "", 0, false},
        {":8765", false, "", 0, false},
        {"", false, "", 0, false},
    };
    for (const Row &row : rows) {
        const QString hostPort = QString::fromLatin1(row.hostPort);
        const auto split = localservice::splitHost(hostPort);
        ASSERT_EQ(split.has_value(), row.valid) << row.hostPort;
        if (split) {
            EXPECT_EQ(split->host, QString::fromLatin1(row.host)) << row.hostPort;
            EXPECT_EQ(split->port, row.port) << row.hostPort;
        }
        EXPECT_EQ(localservice::isLoopbackHost(hostPort), row.loopback) << row.hostPort;
    }
}

TEST(LocalService, LooksBesideTheProgramFirstThenOnPath)
{
    QTemporaryDir beside, onPath, empty;
    ASSERT_TRUE(beside.isValid() && onPath.isValid() && empty.isValid());
    writeScript(beside.filePath(QStringLiteral("korvalux-service")), "exit 0");
    writeScript(onPath.filePath(QStringLiteral("korvalux-service")), "exit 0");
    // Present but not executable: skipped, as a shell would.
    QFile plain(empty.filePath(QStringLiteral("korvalux-service")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    struct Row {
        QString programDir;
        QString path;
        QString found;
    };
    const Row rows[] = {
        {beside.path(), onPath.path(), beside.filePath(QStringLiteral("korvalux-service"))},
        {empty.path(), onPath.path(), onPath.filePath(QStringLiteral("korvalux-service"))},
        {empty.path(), empty.path(), QString()},
    };
    for (const Row &row : rows) {
        PathEnvironment path(row.path);
        EXPECT_EQ(localservice::findServiceProgram(row.programDir), row.found)
            << row.programDir.toStdString();
    }
}

// A program that cannot come up, or a host that is not loopback, gives false;
// the second is never even started (the stand-in would leave a mark).
TEST(LocalService, StartsOnlyForLoopbackAndOnlyTrueOnceItListens)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString mark = dir.filePath(QStringLiteral("started"));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    // Its arguments, then where its standard streams lead; the mark file is
    // renamed into place so that it is never read half written.
    writeScript(marker,
        "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
        "printf '%s\\n%s\\n' \"$*\" \"$streams\" > '"
            + mark.toLocal8Bit() + ".part' && mv '" + mark.toLocal8Bit() + ".part' '"
            + mark.toLocal8Bit() + "'");
    struct Row {
        QString program;
        const char *host;
        const char *listen; // nullptr: never started
    };
    const Row rows[] = {
        {marker, "0.0.0.0:9", nullptr},
        {marker, "converter.example:80", nullptr},
        {QString(), "127.0.0.1:9", nullptr},
        {marker, "127.0.0.1:9", "127.0.0.1:9"},
        {marker, "localhost", "127.0.0.1:80"},
        {marker, "[::1]:9", "[::1]:9"},
    };
    for (const Row &row : rows) {
        QFile::remove(mark);
        EXPECT_FALSE(
            localservice::startServiceProgram(row.program, QString::fromLatin1(row.host), 1s))
            << row.host;
        if (row.listen) {
            // Detached: the mark may land a moment after the start returned.
            for (int i = 0; i < 200 && !QFile::exists(mark); ++i)
                std::this_thread::sleep_for(10ms);
            QFile file(mark);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << row.host;
            // Nothing of the window's streams: a reader of its output would
            // otherwise wait for the service to end.
            EXPECT_EQ(file.readAll().toStdString(),
                std::string("--listen ") + row.listen
                    + " --exit-idle-time 300 --quiet\n/dev/null\n/dev/null\n/dev/null\n");
        } else {
            EXPECT_FALSE(QFile::exists(mark)) << row.host;
        }
    }
}

TEST(LocalService, RetriesOnceOnlyWhenALoopbackHostRefusedAndTheServiceCameUp)
{
    const QString page = QStringLiteral("<td align=left>1 USD = 0.9 EUR</td>");
    struct Row {
        const char *why;
        const char *host;
        DownloadFailure first;
        bool comesUp;
        int launches;
        int attempts;
        bool answered;
    };
    const Row rows[] = {
        {"answered at once", "127.0.0.1:8765", DownloadFailure::None, true, 0, 1, true},
        {"refused, started", "127.0.0.1:8765", DownloadFailure::ConnectionRefused, true, 1, 2,
            true},
        {"refused, ipv6", "[::1]:8765", DownloadFailure::ConnectionRefused, true, 1, 2, true},
        {"refused, never up", "localhost:8765", DownloadFailure::ConnectionRefused, false, 1, 1,
            false},
        {"refused elsewhere", "converter.example:80", DownloadFailure::ConnectionRefused, true, 0,
            1, false},
        {"timed out", "127.0.0.1:8765", DownloadFailure::Other, true, 0, 1, false},
    };
    for (const Row &row : rows) {
        int launches = 0;
        std::vector<DownloadLimits> limits;
        const auto attempt
            = [&](const QString &, const DownloadLimits &given, DownloadFailure *failure) {
                  limits.push_back(given);
                  const bool first = limits.size() == 1;
                  if (failure)
                      *failure = first ? row.first : DownloadFailure::None;
                  return first && row.first != DownloadFailure::None ? QString() : page;
              };
        const auto launch = [&](const QString &, std::chrono::milliseconds within) {
            ++launches;
            EXPECT_EQ(within, localservice::startBudget);
            return row.comesUp;
        };
        const QString got = localservice::downloadStartingService(
            QStringLiteral("http://h/a"), QString::fromLatin1(row.host), attempt, launch);
        EXPECT_EQ(got, row.answered ? page : QString()) << row.why;
        EXPECT_EQ(launches, row.launches) << row.why;
        ASSERT_EQ(int(limits.size()), row.attempts) << row.why;
        // The retry fits in what is left of the press's budget.
        if (row.attempts == 2) {
            EXPECT_LE(limits[1].connectTimeout, localservice::startBudget) << row.why;
            EXPECT_LE(limits[1].stallTimeout, localservice::startBudget) << row.why;
        }
    }
}

// Stand-ins note their PIDs; after the presses only a service that came up may
// still run. The others are stopped, also one that ignores SIGTERM.
TEST(LocalService, LeavesNoProcessBehindWhenTheServiceDoesNotComeUp)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        const char *why;
        QByteArray script; // after its PID is noted
        int presses;
        bool comesUp; // waited for up to 10 s, the others 1 s
    };
    const Row rows[] = {
        {"never listens", "exec sleep 30", 3, false},
        {"ignores SIGTERM", "trap '' TERM\nexec sleep 30", 3, false},
        {"exits at once", "exit 3", 3, false},
        {"listens",
            "exec python3 -c 'import socket, sys, time\n"
            "s = socket.socket()\n"
            "s.bind((\"127.0.0.1\", int(sys.argv[1].split(\":\")[1])))\n"
            "s.listen()\n"
            "time.sleep(30)' \"$2\"",
            1, true},
    };
    for (const Row &row : rows) {
        const QString pids = dir.filePath(QStringLiteral("pids"));
        const QString program = dir.filePath(QStringLiteral("stand-in"));
        QFile::remove(pids);
        writeScript(program, "echo $$ >> '" + pids.toLocal8Bit() + "'\n" + row.script);
        const QString host = QStringLiteral("127.0.0.1:%1").arg(freePort());
        for (int press = 0; press < row.presses; ++press)
            EXPECT_EQ(localservice::startServiceProgram(program, host, row.comesUp ? 10s : 1s),
                row.comesUp)
                << row.why << " press " << press;
        QFile file(pids);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << row.why;
        int left = 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const qint64 pid = line.toLongLong();
            if (pid <= 0 || !alive(pid))
                continue;
            ++left;
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
        EXPECT_EQ(left, row.comesUp ? 1 : 0) << row.why;
    }
}
