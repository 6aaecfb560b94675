// Form1Window as the core's view: each call reads or writes its controls
// through their window messages.
#include "win32/form1_window.h"

#include "win32/form1_controls.h"
#include "win32/wide.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace win32
{

namespace
{

using namespace form1;

std::wstring windowText(HWND hwnd)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), int(text.size()))));
    return text;
}

struct GlobalFreer {
    void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
using GlobalMemory = std::unique_ptr<std::remove_pointer_t<HGLOBAL>, GlobalFreer>;

} // namespace

HWND Form1Window::listOf(core::CurrencyList list) const
{
    return m_controls[list == core::CurrencyList::From ? fromList : toList];
}

HWND Form1Window::buttonOf(core::PushButton button) const
{
    return m_controls[button == core::PushButton::Convert ? check2 : check1];
}

void Form1Window::addEntry(core::CurrencyList list, const std::u16string &entry)
{
    SendMessageW(listOf(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry)));
}

bool Form1Window::chooseEntry(core::CurrencyList list, std::u16string_view text)
{
    const HWND hwnd = listOf(list);
    const std::wstring wanted = toWide(text);
    // CB_FINDSTRINGEXACT ignores case; the entry must match exactly.
    const LRESULT count = SendMessageW(hwnd, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, WPARAM(i), 0);
        if (length != LRESULT(wanted.size()))
            continue;
        std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(hwnd, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<std::size_t>(length));
        if (entry == wanted) {
            SendMessageW(hwnd, CB_SETCURSEL, WPARAM(i), 0);
            return true;
        }
    }
    return false;
}

std::u16string Form1Window::chosenEntry(core::CurrencyList list) const
{
    return fromWide(windowText(listOf(list)));
}

std::u16string Form1Window::amount() const
{
    return fromWide(windowText(m_controls[text1]));
}

void Form1Window::focusAmount()
{
    m_lastFocus = m_controls[text1];
    if (!IsWindowVisible(m_hwnd))
        return; // the window's activation gives it the focus when it is shown
    m_programFocus = true;
    SetFocus(m_controls[text1]);
    m_programFocus = false;
}

void Form1Window::selectWholeAmount()
{
    SendMessageW(m_controls[text1], EM_SETSEL, 0, -1);
}

void Form1Window::showResult(const std::u16string &text)
{
    const HWND hwnd = m_controls[text2];
    SetWindowTextW(hwnd, wide(text));
    SendMessageW(hwnd, EM_SETSEL, 0, 0);
    SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
}

std::u16string Form1Window::result() const
{
    return fromWide(windowText(m_controls[text2]));
}

bool Form1Window::isPressed(core::PushButton button) const
{
    return SendMessageW(buttonOf(button), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1Window::setPressed(core::PushButton button, bool pressed)
{
    if (isPressed(button) == pressed)
        return;
    SendMessageW(buttonOf(button), BM_SETCHECK, pressed ? BST_CHECKED : BST_UNCHECKED, 0);
    // The Click event fires for the program's own change too, as for a user's.
    if (button == core::PushButton::Convert)
        m_behaviour.Check2_Click();
    else
        m_behaviour.Check1_Click();
}

void Form1Window::setCaption(std::u16string_view caption)
{
    SetWindowTextW(m_hwnd, toWide(caption).c_str());
}

void Form1Window::centreOnScreen()
{
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    RECT outer {};
    GetWindowRect(m_hwnd, &outer);
    const RECT &work = monitor.rcWork;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(m_hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
        work.top + (work.bottom - work.top - height) / 2, 0, 0,
        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form1Window::loadHandCursor()
{
    const std::wstring &path = m_services.handCursorPath;
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    m_hand = LoadCursorFromFileW(path.c_str());
    return m_hand != nullptr;
}

void Form1Window::showPointer(core::MousePointer pointer)
{
    m_pointer = pointer;
    switch (pointer) {
    case core::MousePointer::Busy:
        m_shownCursor = LoadCursorW(nullptr, IDC_WAIT);
        break;
    case core::MousePointer::Custom:
        m_shownCursor = m_hand ? m_hand : LoadCursorW(nullptr, IDC_ARROW);
        break;
    case core::MousePointer::Default:
        m_shownCursor = LoadCursorW(nullptr, IDC_ARROW);
        break;
    }
    // At once: the download that follows busy blocks this thread.
    SetCursor(m_shownCursor);
}

void Form1Window::putOnClipboard(const std::u16string &text)
{
    const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory)
        return;
    if (void *data = GlobalLock(memory.get())) {
        std::memcpy(data, text.c_str(), bytes);
        GlobalUnlock(memory.get());
    }
    // Another program may hold the clipboard for a moment.
    for (int attempt = 0; attempt < 10 && !OpenClipboard(m_hwnd); ++attempt)
        Sleep(20);
    if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory.get()))
        (void)memory.release(); // the clipboard owns it now
    CloseClipboard();
}

void Form1Window::announce(const std::u16string &)
{
    // The edit control raises its own value-change event for screen readers.
}

void Form1Window::processPendingEvents()
{
    MSG message;
    // Bounded: what is pending now, not whatever keeps arriving.
    for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        dispatch(message);
    }
}

void Form1Window::endProcess()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

} // namespace win32
