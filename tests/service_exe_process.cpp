// The child's stderr is the write end of an anonymous pipe, the only handle it
// inherits (PROC_THREAD_ATTRIBUTE_HANDLE_LIST), so the pipe ends when it does.
#include "service_exe_process.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace exe
{

namespace
{

// Quoted for CommandLineToArgvW's rules: enough for paths and plain options.
std::wstring quoted(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    for (std::size_t i = 0; i < arg.size(); ++i) {
        std::size_t slashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++slashes;
            ++i;
        }
        if (i == arg.size()) {
            out.append(slashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"')
            out.append(slashes * 2 + 1, L'\\');
        else
            out.append(slashes, L'\\');
        out += arg[i];
    }
    return out + L"\"";
}

} // namespace

ServiceProcess::ServiceProcess(
    const std::filesystem::path &program, const std::vector<std::wstring> &args)
{
    SECURITY_ATTRIBUTES inherit {sizeof inherit, nullptr, TRUE};
    HANDLE logWrite = nullptr;
    if (!CreatePipe(&m_logRead, &logWrite, &inherit, 0))
        return;
    SetHandleInformation(m_logRead, HANDLE_FLAG_INHERIT, 0);

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    InitializeProcThreadAttributeList(attributes, 1, 0, &size);
    UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &logWrite,
        sizeof logWrite, nullptr, nullptr);

    STARTUPINFOEXW startup {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = logWrite;
    startup.StartupInfo.hStdError = logWrite;
    startup.lpAttributeList = attributes;
    std::wstring commandLine = quoted(program.wstring());
    for (const std::wstring &arg : args)
        commandLine += L" " + quoted(arg);
    PROCESS_INFORMATION info {};
    const BOOL ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
        EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &info);
    DeleteProcThreadAttributeList(attributes);
    CloseHandle(logWrite);
    if (!ok)
        return;
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_id = info.dwProcessId;
    m_reader = std::thread([this] { readLog(); });
}

ServiceProcess::~ServiceProcess()
{
    if (m_process) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process, 99);
            WaitForSingleObject(m_process, 10'000);
        }
        CloseHandle(m_process);
    }
    if (m_reader.joinable())
        m_reader.join(); // the pipe ends with the process
    if (m_logRead)
        CloseHandle(m_logRead);
}

void ServiceProcess::readLog()
{
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(m_logRead, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        const std::lock_guard lock(m_mutex);
        m_log.append(buffer, n);
        m_changed.notify_all();
    }
}

unsigned short ServiceProcess::waitForPort(std::chrono::milliseconds within)
{
    static const std::string marker = "listening on 127.0.0.1:";
    std::unique_lock lock(m_mutex);
    unsigned short port = 0;
    m_changed.wait_for(lock, within, [&] {
        const std::size_t at = m_log.find(marker);
        if (at == std::string::npos)
            return false;
        const std::size_t end = m_log.find_first_not_of("0123456789", at + marker.size());
        if (end == std::string::npos)
            return false; // the number may not be whole yet
        port = static_cast<unsigned short>(std::stoul(m_log.substr(at + marker.size())));
        return true;
    });
    return port;
}

std::optional<DWORD> ServiceProcess::waitForExit(std::chrono::milliseconds within)
{
    if (!m_process
        || WaitForSingleObject(m_process, static_cast<DWORD>(within.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    if (m_reader.joinable())
        m_reader.join();
    return code;
}

std::string ServiceProcess::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

Client::Client(unsigned short port)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET)
        return;
    const DWORD timeoutMs = 10'000;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeoutMs),
        sizeof timeoutMs);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

Client::~Client()
{
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
    WSACleanup();
}

std::string Client::exchange(const std::string &request)
{
    if (m_socket == INVALID_SOCKET
        || send(m_socket, request.data(), static_cast<int>(request.size()), 0)
            != static_cast<int>(request.size()))
        return {};
    std::string &bytes = m_pending;
    for (;;) {
        const std::size_t headEnd = bytes.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            std::size_t length = 0;
            std::string head = bytes.substr(0, headEnd);
            std::transform(head.begin(), head.end(), head.begin(),
                [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (const std::size_t at = head.find("\r\ncontent-length:"); at != std::string::npos)
                length = std::stoul(head.substr(at + 17));
            if (bytes.size() >= headEnd + 4 + length) {
                std::string answer = bytes.substr(0, headEnd + 4 + length);
                bytes.erase(0, answer.size());
                return answer;
            }
        }
        char buffer[4096];
        const int n = recv(m_socket, buffer, sizeof buffer, 0);
        if (n <= 0) {
            std::string answer;
            answer.swap(bytes);
            return answer;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace exe
