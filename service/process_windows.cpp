// korvalux-service as a Windows console process: the snapshot in data\ beside
// the program, the cache under %LOCALAPPDATA%, and the console's control events
// (Ctrl+C, Ctrl+Break, the console closing, the system shutting down) asking
// the server to stop. Their handler runs on a thread the system starts, so it
// only posts the request to the server, which is safe from any thread; for a
// closing console, which ends the process once the handler returns, it also
// waits briefly for main to finish.
#include "service/process_host.h"

#include "service/wininet_fetcher.h"

#include <windows.h>

#include <mutex>

namespace korvalux::service
{

namespace
{

// Windows ends the process some five seconds after a close event; the rest is
// kept for the stop's own leaving.
constexpr DWORD closeWaitMs = 4000;

// SetConsoleCtrlHandler takes a plain function: what it reaches lives here, for
// the one host a process has.
struct ConsoleStop {
    std::mutex mutex; // guards control and serving
    ServerControl *control = nullptr;
    bool serving = false; // from watch until main finishes
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

ConsoleStop &consoleStop()
{
    static ConsoleStop state;
    return state;
}

BOOL WINAPI onConsoleControl(DWORD event)
{
    ConsoleStop &state = consoleStop();
    {
        const std::lock_guard lock(state.mutex);
        if (!state.serving)
            return FALSE; // not serving yet: the system's default, ending the process
        if (state.control)
            state.control->requestStop();
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(state.finished, closeWaitMs);
    return TRUE;
}

class WindowsProcess final : public ProcessHost
{
public:
    WindowsProcess() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }
    ~WindowsProcess() override
    {
        finished();
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
    }
    WindowsProcess(const WindowsProcess &) = delete;
    WindowsProcess &operator=(const WindowsProcess &) = delete;

    void watch(ServerControl &control) override
    {
        ConsoleStop &state = consoleStop();
        const std::lock_guard lock(state.mutex);
        state.control = &control;
        state.serving = true;
    }
    void forget() override
    {
        ConsoleStop &state = consoleStop();
        const std::lock_guard lock(state.mutex);
        state.control = nullptr; // serving stays true: a late event waits for the end
    }
    void finished() override { SetEvent(consoleStop().finished); }
};

std::filesystem::path programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

std::unique_ptr<ProcessHost> makeProcessHost()
{
    return std::make_unique<WindowsProcess>();
}

std::unique_ptr<Fetcher> makeFeedFetcher()
{
    return std::make_unique<WinInetFetcher>();
}

std::filesystem::path defaultDataDir()
{
    return programFolder() / L"data";
}

UsageDefaults usageDefaults()
{
    UsageDefaults usage;
    usage.dataDir = "data\\ beside korvalux-service.exe";
    usage.cacheDir = "%LOCALAPPDATA%\\Korvalux\\cache";
    usage.notes = "Ctrl+C, Ctrl+Break or closing the console stop the service.\n";
    return usage;
}

} // namespace korvalux::service
