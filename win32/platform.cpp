// ShellExecuteW, GetLocalTime and GetModuleFileNameW behind the core's ports.
#include "win32/platform.h"

#include "win32/wide.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace win32
{

void ShellBrowser::open(const std::u16string &address)
{
    // Minimised, as the program has always opened its home page.
    ShellExecuteW(nullptr, L"open", wide(address), nullptr, nullptr, SW_SHOWMINIMIZED);
}

double TimeOfDayRandom::draw()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    const auto sinceMidnight = static_cast<std::uint32_t>(
        ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds);
    return core::drawSeededWith(sinceMidnight);
}

std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring handCursorPath()
{
    return programFolder() + L"\\HAND-M.CUR";
}

} // namespace win32
