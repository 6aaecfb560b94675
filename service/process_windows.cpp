// korvalux-service as a Windows console process: the snapshot in data\ beside
// the program, WinINet for the feeds, and the console's control events
// (Ctrl+C, Ctrl+Break, the console closing, the system shutting down) asking
// the server to stop, as console_stop.h says.
#include "service/process_host.h"

#include "service/console_stop.h"
#include "service/wininet_fetcher.h"

#include <windows.h>

namespace korvalux::service
{

namespace
{

// SetConsoleCtrlHandler takes a plain function: what it reaches lives here, for
// the one host a process has. Never destroyed: a closing console's handler may
// still be leaving it while the process exits.
ConsoleStop &consoleStop()
{
    static ConsoleStop *const state = new ConsoleStop;
    return *state;
}

BOOL WINAPI onConsoleControl(DWORD event)
{
    return consoleStop().handle(event) ? TRUE : FALSE;
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

    void watch(ServerControl &control) override { consoleStop().watch(control); }
    void forget() override { consoleStop().forget(); }
    void finished() override { consoleStop().finished(); }
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
