// A stand-in for korvalux-service.exe in the tests of its start, chosen by the
// environment variable KORVALUX_FAKE_SERVICE: "answer" listens on --listen after
// a short delay and answers one request with a converter page that repeats its
// own arguments, then exits; "silent" never listens; "exit" ends at once.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace
{

std::string narrow(const wchar_t *text)
{
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// Accepts until one connection sends a request (the starter's polls send none),
// answers it and returns.
int answerOnce(const std::string &listen, const std::string &arguments)
{
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos)
        return 2;
    std::string host = listen.substr(0, colon);
    if (host.size() > 1 && host.front() == '[')
        host = host.substr(1, host.size() - 2);
    const std::string port = listen.substr(colon + 1);
    WSADATA data {};
    WSAStartup(MAKEWORD(2, 2), &data);
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return 2;
    const SOCKET listener = socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (bind(listener, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0)
        return 2;
    if (::listen(listener, 8) != 0)
        return 2;
    freeaddrinfo(found);
    const std::string body = "<td align=left>served:" + arguments + "</td>";
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
    for (;;) {
        // A poll that gave up before its connection was accepted resets it.
        const SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        char buffer[4096];
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n > 0) {
            send(client, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(client, SD_SEND);
            while (recv(client, buffer, sizeof buffer, 0) > 0) { }
        }
        closesocket(client);
        if (n > 0)
            return 0;
    }
}

// A test that fails half-way must not leave this behind for long.
DWORD WINAPI endLater(void *)
{
    Sleep(60'000);
    ExitProcess(4);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    CreateThread(nullptr, 0, &endLater, nullptr, 0, nullptr);
    const char *mode = std::getenv("KORVALUX_FAKE_SERVICE");
    const std::string chosen = mode ? mode : "";
    std::string arguments;
    std::string listen;
    for (int i = 1; i < argc; ++i) {
        arguments += '|' + narrow(argv[i]);
        if (std::wstring(argv[i]) == L"--listen" && i + 1 < argc)
            listen = narrow(argv[i + 1]);
    }
    if (chosen == "answer") {
        Sleep(300); // so that the starter has to poll
        return answerOnce(listen, arguments);
    }
    if (chosen == "silent")
        Sleep(INFINITE);
    return 3;
}
