// Starting korvalux-service for a loopback converter host: the host split and
// classified, the program looked up beside this one and then on PATH, started
// detached through QProcess, and polled with plain connects until it listens.
// The poll uses POSIX sockets so that the core needs no Qt Network.
#include "net/local_service.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <arpa/inet.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace localservice
{

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const QString serviceName = QStringLiteral("korvalux-service");
// Long enough to serve a few conversions in a row, short enough that a service
// nobody asks does not linger for the rest of the session.
const QString idleSeconds = QStringLiteral("300");
constexpr milliseconds pollInterval {25};
constexpr milliseconds termGrace {250};

// Gone, or a zombie: the started service is not our child, and whoever inherits
// it may take its time to reap it.
bool processGone(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (comm) S ...": the name may hold blanks and brackets, the state follows the last ')'.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) == "Z";
}

// A service that did not come up in time would otherwise linger, one more on
// every press. It has served nothing, so a refusal to leave politely is met with
// SIGKILL; its cache writes are atomic, and its start removes what a kill left.
void stopProcess(qint64 pid)
{
    const auto endsWithin = [pid](milliseconds grace) {
        const Clock::time_point deadline = Clock::now() + grace;
        while (!processGone(pid)) {
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(pollInterval);
        }
        return true;
    };
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), SIGTERM) != 0 || endsWithin(termGrace))
        return;
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    endsWithin(termGrace);
}

bool acceptsConnection(const HostPort &target)
{
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray host = target.host.toLatin1();
    const QByteArray port = QByteArray::number(target.port);
    if (::getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0)
        return false;
    bool accepted = false;
    for (const addrinfo *at = found; at && !accepted; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0)
            continue;
        accepted = ::connect(fd, at->ai_addr, at->ai_addrlen) == 0;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return accepted;
}

// The service takes a numeric ADDR:PORT, the port always given.
QString listenAddress(const HostPort &target)
{
    QString host = target.host;
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("127.0.0.1");
    else if (host.contains(u':'))
        host = u'[' + host + u']';
    return host + u':' + QString::number(target.port);
}

} // namespace

std::optional<HostPort> splitHost(const QString &hostPort)
{
    HostPort result;
    QString portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        result.host = hostPort.mid(1, close - 1);
        const QString rest = hostPort.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return std::nullopt;
            portText = rest.mid(1);
        }
    } else {
        const qsizetype colon = hostPort.indexOf(u':');
        if (colon >= 0 && hostPort.indexOf(u':', colon + 1) >= 0)
            return std::nullopt; // a bare IPv6 address needs its brackets
        result.host = colon < 0 ? hostPort : hostPort.left(colon);
        if (colon >= 0)
            portText = hostPort.mid(colon + 1);
    }
    if (result.host.isEmpty())
        return std::nullopt;
    if (!portText.isNull()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
            return std::nullopt;
        result.port = static_cast<quint16>(port);
    }
    return result;
}

bool isLoopbackHost(const QString &hostPort)
{
    const std::optional<HostPort> target = splitHost(hostPort);
    if (!target)
        return false;
    if (target->host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray host = target->host.toLatin1();
    in_addr v4 {};
    if (::inet_pton(AF_INET, host.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 {};
    return ::inet_pton(AF_INET6, host.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

QString findServiceProgram(const QString &programDir)
{
    const QFileInfo beside(QDir(programDir).filePath(serviceName));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(serviceName);
}

bool waitForListener(const QString &hostPort, milliseconds within, qint64 pid)
{
    const std::optional<HostPort> target = splitHost(hostPort);
    if (!target || !isLoopbackHost(hostPort))
        return false;
    const Clock::time_point deadline = Clock::now() + within;
    for (;;) {
        if (acceptsConnection(*target))
            return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline || processGone(pid))
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pollInterval, deadline - now));
    }
}

bool startServiceProgram(const QString &program, const QString &hostPort, milliseconds within,
    qint64 *pid, const QStringList &extraArguments)
{
    const std::optional<HostPort> target = splitHost(hostPort);
    if (program.isEmpty() || !target || !isLoopbackHost(hostPort))
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(
        QStringList {QStringLiteral("--listen"), listenAddress(*target),
            QStringLiteral("--exit-idle-time"), idleSeconds, QStringLiteral("--quiet")}
        + extraArguments);
    // The service outlives the window: it must not hold the window's working
    // folder, terminal or output pipes (a reader of the window's output would
    // wait for the service's end to see the pipe close).
    process.setWorkingDirectory(QDir::rootPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 started = 0;
    if (!process.startDetached(&started))
        return false;
    if (pid)
        *pid = started;
    if (waitForListener(hostPort, within, started))
        return true;
    stopProcess(started);
    return false;
}

bool launchInstalledService(const QString &hostPort, milliseconds within)
{
    // Fresh rates, as the systemd unit has them. With stale rates the service holds
    // a first answer for its first refresh until 2 s after its own start at most
    // (--refresh-wait), so the answer comes by max(time to listen, 2 s) after the
    // launch: within startBudget whenever the service listens in time at all.
    return startServiceProgram(findServiceProgram(QCoreApplication::applicationDirPath()), hostPort,
        within, nullptr, {QStringLiteral("--refresh")});
}

QString downloadStartingService(const QString &address, const QString &hostPort,
    const DownloadAttempt &attempt, const ServiceLauncher &launch)
{
    if (!attempt)
        return {};
    // The core's retry over this function and launcher.
    class Attempt : public core::DownloadAttempt
    {
    public:
        explicit Attempt(const localservice::DownloadAttempt &f)
            : m_f(f)
        {
        }
        std::u16string download(const std::u16string &address, const core::DownloadLimits &limits,
            core::DownloadFailure *failure) override
        {
            const QString page = m_f(
                QString::fromUtf16(address.data(), qsizetype(address.size())), limits, failure);
            return std::u16string(
                reinterpret_cast<const char16_t *>(page.utf16()), size_t(page.size()));
        }

    private:
        const localservice::DownloadAttempt &m_f;
    } coreAttempt(attempt);
    class Starter : public core::ServiceStarter
    {
    public:
        Starter(const ServiceLauncher &f, const QString &hostPort)
            : m_f(f)
            , m_hostPort(hostPort)
        {
        }
        bool start(milliseconds within) override { return m_f(m_hostPort, within); }

    private:
        const ServiceLauncher &m_f;
        const QString &m_hostPort;
    } starter(launch, hostPort);
    const std::u16string page = core::downloadStartingService(
        std::u16string(reinterpret_cast<const char16_t *>(address.utf16()), size_t(address.size())),
        isLoopbackHost(hostPort), coreAttempt, launch ? &starter : nullptr);
    return QString::fromUtf16(page.data(), qsizetype(page.size()));
}

} // namespace localservice
