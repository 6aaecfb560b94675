// korvalux-service.exe started by a Windows test: CreateProcessW, its stderr
// read through a pipe on a thread, and a plain Winsock client for talking HTTP
// to it. A process the test did not see end is ended by its handle when the
// object goes.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace exe
{

class ServiceProcess
{
public:
    // Starts program with args; started() tells whether it did.
    ServiceProcess(const std::filesystem::path &program, const std::vector<std::wstring> &args);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    bool started() const { return m_process != nullptr; }
    DWORD id() const { return m_id; }
    // The port of its "listening on 127.0.0.1:PORT" line; 0 when none came in time.
    unsigned short waitForPort(std::chrono::milliseconds within);
    // Its exit code, or nullopt while it still runs after `within`.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds within);
    std::string log() const; // its stderr so far

private:
    void readLog();

    HANDLE m_process = nullptr;
    DWORD m_id = 0;
    HANDLE m_logRead = nullptr;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_log; // guarded by m_mutex
};

// One connection to 127.0.0.1:port, with a receive time-out of its own.
class Client
{
public:
    explicit Client(unsigned short port);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool connected() const { return m_socket != INVALID_SOCKET; }
    // Sends request and reads one whole answer (head and Content-Length body);
    // what came before a close or the time-out when not whole.
    std::string exchange(const std::string &request);

private:
    SOCKET m_socket = INVALID_SOCKET;
    std::string m_pending; // bytes read past the last answer
};

} // namespace exe
