// DownloadPage of a 1 KiB page over one reused session against the leanest
// possible client: a raw socket sending keep-alive GETs to the same loopback
// server. Goal: DownloadPage at most twice as slow.
#include "bench/ratio_reporter.h"
#include "net/internet_session.h"
#include "tests/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace
{

const std::string page(1024, 'x');

loopback::Server &server()
{
    static loopback::Server server(
        [](const loopback::Request &) { return loopback::response(200, page); }, false);
    return server;
}

void BM_DownloadPage(benchmark::State &state)
{
    modInternetFileFunctions::CurlSession session;
    session.open();
    const std::string url = server().baseUrl() + "/finance/converter?a=1";
    const std::u16string address(url.begin(), url.end());
    for (auto _ : state) {
        const std::u16string text = session.downloadPage(address);
        if (text.size() != page.size()) {
            state.SkipWithError("short page");
            break;
        }
    }
    session.close();
}
BENCHMARK(BM_DownloadPage)->Unit(benchmark::kMicrosecond);

void BM_RawSocketGet(benchmark::State &state)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server().port());
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        state.SkipWithError("connect failed");
        ::close(socket);
        return;
    }
    const std::string request = "GET /finance/converter?a=1 HTTP/1.1\r\nHost: 127.0.0.1:"
        + std::to_string(server().port()) + "\r\n\r\n";
    std::string answer;
    char buffer[8192];
    for (auto _ : state) {
        answer.clear();
        ::send(socket, request.data(), request.size(), MSG_NOSIGNAL);
        std::size_t expected = std::string::npos;
        while (answer.size() != expected) {
            const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
            if (n <= 0) {
                state.SkipWithError("connection lost");
                ::close(socket);
                return;
            }
            answer.append(buffer, std::size_t(n));
            const std::size_t headEnd = answer.find("\r\n\r\n");
            if (expected == std::string::npos && headEnd != std::string::npos) {
                const std::size_t length = answer.find("Content-Length: ");
                expected = headEnd + 4 + std::strtoul(answer.c_str() + length + 16, nullptr, 10);
            }
        }
    }
    ::close(socket);
}
BENCHMARK(BM_RawSocketGet)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!server().start())
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio("BM_DownloadPage", "BM_RawSocketGet", "goal: at most 2x");
    server().stop();
    benchmark::Shutdown();
    return 0;
}
