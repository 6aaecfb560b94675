// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks. It listens on a
// free port, records every request byte for byte and answers each one with a
// script of steps (send bytes, pause, close), so a test can serve ordinary,
// chunked, cut or stalled answers. One thread per connection; keep-alive honoured.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace loopback
{

struct Request {
    std::string raw; // the head, through the blank line, as received
    std::string method;
    std::string target; // as on the request line, e.g. "/a?b=1" or "http://h/a?b=1"
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // in order, names as sent
    std::string body; // as long as its Content-Length says; chunked request bodies are not read
    int connection = 0; // 1 for the first connection accepted, 2 for the next...

    // The first header of that name (compared without case), or "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

// What the server does for one request, step by step.
class Answer
{
public:
    struct Step {
        enum class Kind { Send, Pause, Close } kind;
        std::string bytes;
        std::chrono::milliseconds delay {0};
    };

    Answer &send(std::string bytes);
    Answer &pause(std::chrono::milliseconds delay);
    Answer &close(); // ends the connection after the steps before it

    const std::vector<Step> &steps() const { return m_steps; }

private:
    std::vector<Step> m_steps;
};

using Headers = std::vector<std::pair<std::string, std::string>>;

// "HTTP/1.1 <status> <reason>" and the headers, through the blank line.
std::string responseHead(int status, const Headers &headers = {});
// A whole answer with a Content-Length.
Answer response(int status, std::string body, Headers headers = {});
// One chunk of a chunked body; an empty piece is the last chunk.
std::string chunk(std::string_view piece);
// first at once, then the bytes one at a time, each after gap: a server that
// never stalls for long and never ends soon.
Answer trickle(std::string first, std::string_view bytes,
    std::chrono::milliseconds gap = std::chrono::milliseconds(100));

class Server
{
public:
    using Handler = std::function<Answer(const Request &)>;

    explicit Server(Handler handler, bool recordRequests = true);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Listens on 127.0.0.1 at a free port; false when that failed.
    bool start();
    void stop(); // closes every connection and joins every thread

    std::uint16_t port() const { return m_port; }
    std::string baseUrl() const; // "http://127.0.0.1:<port>"
    std::vector<Request> requests() const;
    int connectionCount() const { return m_connections.load(); }

private:
    void acceptLoop();
    void serve(int socket, int connection);
    bool pauseFor(std::chrono::milliseconds delay) const;

    Handler m_handler;
    bool m_record;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping {false};
    std::atomic<int> m_connections {0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex; // guards the two members below
    std::vector<Request> m_requests;
    std::list<std::thread> m_connectionThreads;
};

} // namespace loopback
