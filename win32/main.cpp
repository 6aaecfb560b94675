// Korvalux for Windows: the Win32 window over the shared core, with WinINet, the
// registry and the shell behind it, and the converter service beside it started
// on demand. The command line is not read.
#include "core/converter_host.h"
#include "core/download.h"
#include "core/service_start.h"
#include "win32/form1_window.h"
#include "win32/platform.h"
#include "win32/registry_settings.h"
#include "win32/service_process.h"
#include "win32/wininet_session.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const std::u16string host(core::converterHost().begin(), core::converterHost().end());
    win32::WinInetSession wininet;
    win32::ServiceProcess service(core::converterHost());
    core::ServiceStartRule starter(service);
    core::ServiceStartingSession session(wininet, wininet, starter, core::converterHost());
    win32::RegistrySettings settings;
    win32::ShellBrowser browser;
    win32::TimeOfDayRandom random;
    win32::Form1Window window(
        instance, {session, settings, browser, random, host, win32::handCursorPath()});
    if (!window.hwnd())
        return 1;
    window.show(showCommand);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        window.dispatch(message);
    return static_cast<int>(message.wParam);
}
