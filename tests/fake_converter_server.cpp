// A stand-in converter page for the end-to-end test where korvalux-service is
// not built: answers every GET on 127.0.0.1:PORT with a page whose first
// "<td align=left>" cell names the amount and both codes of the request. No
// rates, no arithmetic; it only proves the window's request reached a server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

std::string queryValue(const std::string &target, const std::string &key)
{
    const std::string marker = key + "=";
    std::size_t at = target.find("?" + marker);
    if (at == std::string::npos)
        at = target.find("&" + marker);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + 1 + marker.size();
    const std::size_t end = target.find_first_of("& ", begin);
    std::string value = target.substr(begin, end == std::string::npos ? end : end - begin);
    for (char &c : value) // the page is HTML: keep the echo inert
        if (c == '<' || c == '>' || c == '&')
            c = '_';
    return value;
}

void answer(int client)
{
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string target = request.substr(0, request.find("\r\n"));
    const std::string body = "<html><body><table><tr><td align=left>" + queryValue(target, "a")
        + " " + queryValue(target, "from") + " = " + queryValue(target, "a") + " "
        + queryValue(target, "to") + " (test page)</td></tr></table></body></html>";
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < response.size()) {
        const ssize_t put = ::write(client, response.data() + sent, response.size() - sent);
        if (put <= 0)
            return;
        sent += static_cast<std::size_t>(put);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0
        || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 16) != 0) {
        std::perror("fake-converter-server: cannot listen");
        return 1;
    }
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
    }
}
