// The baseline of the Windows start-up benchmark: a bare Win32 window with
// eleven plain controls and nothing else (no fonts, no lists filled, no
// registry, no WinINet), shown at once.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    };
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"BareWin32";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, L"BareWin32", L"Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
        CW_USEDEFAULT, 400, 280, nullptr, nullptr, instance, nullptr);
    const wchar_t *classes[11] = {L"STATIC", L"EDIT", L"STATIC", L"COMBOBOX", L"STATIC", L"STATIC",
        L"COMBOBOX", L"BUTTON", L"BUTTON", L"EDIT", L"BUTTON"};
    for (int i = 0; i < 11; ++i)
        CreateWindowExW(0, classes[i], L"x", WS_CHILD | WS_VISIBLE, 10, 10 + 20 * i, 100, 18,
            window, nullptr, instance, nullptr);
    ShowWindow(window, showCommand);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
