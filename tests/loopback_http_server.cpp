// The loopback test server: blocking sockets, polled with a short time-out so
// that stop() is noticed promptly by every thread, even in the middle of a pause.
// The same source builds for Windows (Winsock) for the Win32 tests under Wine.
#include "loopback_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace loopback
{

namespace
{

constexpr int pollMillis = 20;

#ifdef _WIN32
using socklen_t = int;
constexpr int MSG_NOSIGNAL = 0;

int openSocket()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const SOCKET s = started ? ::socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
    return s == INVALID_SOCKET ? -1 : int(s);
}

int acceptSocket(int listener)
{
    const SOCKET s = ::accept(SOCKET(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : int(s);
}

int pollSocket(int socket, int millis)
{
    WSAPOLLFD entry {SOCKET(socket), POLLIN, 0};
    return ::WSAPoll(&entry, 1, millis);
}

void closeSocket(int socket)
{
    ::closesocket(SOCKET(socket));
}
#else
int openSocket()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int acceptSocket(int listener)
{
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

int pollSocket(int socket, int millis)
{
    pollfd entry {socket, POLLIN, 0};
    return ::poll(&entry, 1, millis);
}

void closeSocket(int socket)
{
    ::close(socket);
}
#endif

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

Request parseHead(std::string raw, int connection)
{
    Request request;
    request.connection = connection;
    std::size_t lineEnd = raw.find("\r\n");
    const std::string requestLine = raw.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace != std::string::npos && lastSpace > firstSpace) {
        request.method = requestLine.substr(0, firstSpace);
        request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
        request.version = requestLine.substr(lastSpace + 1);
    }
    while (lineEnd != std::string::npos && lineEnd + 2 < raw.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = raw.find("\r\n", start);
        const std::string line = raw.substr(start, lineEnd - start);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string::npos)
            continue;
        std::size_t valueStart = colon + 1;
        while (valueStart < line.size() && line[valueStart] == ' ')
            ++valueStart;
        request.headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
    }
    request.raw = std::move(raw);
    return request;
}

bool sendAll(int socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

} // namespace

std::string Request::header(std::string_view name) const
{
    for (const auto &[key, value] : headers) {
        if (sameName(key, name))
            return value;
    }
    return {};
}

bool Request::hasHeader(std::string_view name) const
{
    return std::any_of(headers.begin(), headers.end(),
        [&](const auto &entry) { return sameName(entry.first, name); });
}

Answer &Answer::send(std::string bytes)
{
    m_steps.push_back({Step::Kind::Send, std::move(bytes), {}});
    return *this;
}

Answer &Answer::pause(std::chrono::milliseconds delay)
{
    m_steps.push_back({Step::Kind::Pause, {}, delay});
    return *this;
}

Answer &Answer::close()
{
    m_steps.push_back({Step::Kind::Close, {}, {}});
    return *this;
}

std::string responseHead(int status, const Headers &headers)
{
    std::string head
        = "HTTP/1.1 " + std::to_string(status) + ' ' + std::string(reasonPhrase(status)) + "\r\n";
    for (const auto &[name, value] : headers)
        head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

Answer response(int status, std::string body, Headers headers)
{
    headers.emplace_back("Content-Length", std::to_string(body.size()));
    return Answer().send(responseHead(status, headers) + body);
}

std::string chunk(std::string_view piece)
{
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    return std::string(size) + std::string(piece) + "\r\n";
}

Answer trickle(std::string first, std::string_view bytes, std::chrono::milliseconds gap)
{
    Answer answer;
    answer.send(std::move(first));
    for (const char c : bytes)
        answer.pause(gap).send(std::string(1, c));
    return answer;
}

Server::Server(Handler handler, bool recordRequests)
    : m_handler(std::move(handler))
    , m_record(recordRequests)
{
}

Server::~Server()
{
    stop();
}

bool Server::start()
{
    m_listener = openSocket();
    if (m_listener < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 64) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        closeSocket(m_listener);
        m_listener = -1;
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void Server::stop()
{
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::list<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_connectionThreads);
    }
    for (std::thread &thread : threads)
        thread.join();
    if (m_listener >= 0) {
        closeSocket(m_listener);
        m_listener = -1;
    }
}

std::string Server::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<Request> Server::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void Server::acceptLoop()
{
    while (!m_stopping) {
        if (pollSocket(m_listener, pollMillis) <= 0)
            continue;
        const int socket = acceptSocket(m_listener);
        if (socket < 0)
            continue;
        const int one = 1;
        ::setsockopt(
            socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
        const int connection = ++m_connections;
        std::lock_guard lock(m_mutex);
        m_connectionThreads.emplace_back([this, socket, connection] { serve(socket, connection); });
    }
}

bool Server::pauseFor(std::chrono::milliseconds delay) const
{
    const auto until = std::chrono::steady_clock::now() + delay;
    while (!m_stopping) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0))
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(pollMillis)));
    }
    return false;
}

void Server::serve(int socket, int connection)
{
    std::string buffer; // bytes received but not yet part of a handled request
    // Waits a moment for more bytes: false once the client has closed.
    const auto receive = [&] {
        if (pollSocket(socket, pollMillis) <= 0)
            return true;
        char bytes[16384];
        const ssize_t received = ::recv(socket, bytes, sizeof bytes, 0);
        if (received <= 0)
            return false;
        buffer.append(bytes, std::size_t(received));
        return true;
    };
    bool open = true;
    while (open && !m_stopping) {
        const std::size_t headEnd = buffer.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            open = receive();
            continue;
        }
        Request request = parseHead(buffer.substr(0, headEnd + 4), connection);
        const std::size_t bodySize
            = std::strtoul(request.header("Content-Length").c_str(), nullptr, 10);
        if (buffer.size() < headEnd + 4 + bodySize) {
            open = receive();
            continue;
        }
        request.body = buffer.substr(headEnd + 4, bodySize);
        buffer.erase(0, headEnd + 4 + bodySize);
        const Answer answer = m_handler(request);
        const bool clientCloses = sameName(request.header("Connection"), "close");
        if (m_record) {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(std::move(request));
        }
        for (const Answer::Step &step : answer.steps()) {
            if (step.kind == Answer::Step::Kind::Send)
                open = sendAll(socket, step.bytes);
            else if (step.kind == Answer::Step::Kind::Pause)
                open = pauseFor(step.delay);
            else
                open = false;
            if (!open)
                break;
        }
        if (clientCloses)
            open = false;
    }
    closeSocket(socket);
}

} // namespace loopback
