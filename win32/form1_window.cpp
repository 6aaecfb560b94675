// Form1's window procedure and its view of the controls. Controls are children
// of the window in the layout table's z-order, so the dialog manager's tab order
// (z-order) is the layout's, and a screen reader names each box and list after
// the label just before it. Text2 and Check1 sit beside Frame2, not inside it,
// at their client positions, as a dialog's group box holds its controls.
#include "win32/form1_window.h"

#include "core/layout.h"
#include "win32/wide.h"

#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace win32
{

namespace
{

namespace layout = core::layout;

constexpr wchar_t className[] = L"Korvalux.Form1";
constexpr int firstControlId = 100;
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int dropDownRows = 12;

std::size_t indexOf(std::string_view name)
{
    for (std::size_t i = 0; i < layout::controls.size(); ++i) {
        if (layout::controls[i].name == name)
            return i;
    }
    return 0;
}

const std::size_t text1 = indexOf("Text1");
const std::size_t text2 = indexOf("Text2");
const std::size_t check1 = indexOf("Check1");
const std::size_t check2 = indexOf("Check2");
const std::size_t frame2 = indexOf("Frame2");
const std::size_t line1 = indexOf("Line1");
const std::size_t fromList = indexOf("cboFromCurrency");
const std::size_t toList = indexOf("cboToCurrency");

struct ClassAndStyle {
    const wchar_t *className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle classFor(const layout::Control &c)
{
    switch (c.kind) {
    case layout::Kind::Label:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case layout::Kind::TextBox:
        return {L"EDIT",
            WS_TABSTOP | ES_AUTOHSCROLL | (c.name == "Text2" ? DWORD(ES_READONLY) : DWORD(0)),
            WS_EX_CLIENTEDGE};
    case layout::Kind::DropDownList:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case layout::Kind::Line:
        return {L"STATIC", SS_LEFT, 0};
    case layout::Kind::PushCheckBox:
        return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 0};
    case layout::Kind::Frame:
        return {L"BUTTON", BS_GROUPBOX, 0};
    }
    return {L"STATIC", 0, 0};
}

// A 32 x 32 icon whose every pixel is transparent: the title bar and the taskbar
// show no picture.
HICON transparentIcon(HINSTANCE instance)
{
    const BYTE andMask[32 * 32 / 8] = {
#define KORVALUX_FF8 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
#define KORVALUX_FF32 KORVALUX_FF8, KORVALUX_FF8, KORVALUX_FF8, KORVALUX_FF8
        KORVALUX_FF32, KORVALUX_FF32, KORVALUX_FF32, KORVALUX_FF32};
#undef KORVALUX_FF32
#undef KORVALUX_FF8
    const BYTE xorMask[32 * 32 / 8] = {};
    return CreateIcon(instance, 32, 32, 1, 1, andMask, xorMask);
}

HFONT arialBold(double points, UINT dpi)
{
    const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
        L"Arial");
}

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

Form1Window::Form1Window(HINSTANCE instance, Form1Services services)
    : m_instance(instance)
    , m_services(std::move(services))
    , m_behaviour(*this,
          {m_services.session, m_services.settings, m_services.browser, m_services.random,
              m_services.host})
{
    m_white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    m_icon = transparentIcon(instance);
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Form1Window::windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = m_white;
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass); // fails harmlessly when a second window registers again

    m_hwnd = CreateWindowExW(0, className, L"", windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (m_hwnd)
        m_behaviour.Form_Load();
}

Form1Window::~Form1Window()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    for (HFONT font : {m_textFont, m_buttonFont})
        DeleteObject(font);
    if (m_icon)
        DestroyIcon(m_icon);
    if (m_hand)
        DestroyCursor(m_hand);
}

void Form1Window::show(int showCommand)
{
    ShowWindow(m_hwnd, showCommand);
    UpdateWindow(m_hwnd);
}

void Form1Window::dispatch(MSG &message)
{
    if (m_hwnd && IsDialogMessageW(m_hwnd, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

HWND Form1Window::control(std::string_view name) const
{
    for (std::size_t i = 0; i < layout::controls.size(); ++i) {
        if (layout::controls[i].name == name)
            return m_controls[i];
    }
    return nullptr;
}

int Form1Window::pixels(int twips) const
{
    return MulDiv(twips, static_cast<int>(m_dpi), 1440);
}

LRESULT CALLBACK Form1Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self
            = static_cast<Form1Window *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<Form1Window *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CALLBACK Form1Window::controlProc(
    HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
{
    return reinterpret_cast<Form1Window *>(self)->handleControl(hwnd, message, wParam, lParam);
}

void Form1Window::onCreate()
{
    m_dpi = GetDpiForWindow(m_hwnd);
    if (m_dpi == 0)
        m_dpi = 96;
    for (std::size_t i = 0; i < layout::controls.size(); ++i) {
        const layout::Control &c = layout::controls[i];
        const ClassAndStyle kind = classFor(c);
        const std::wstring text = toWide(c.text);
        m_controls[i] = CreateWindowExW(kind.exStyle, kind.className, text.c_str(),
            WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0, m_hwnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(firstControlId + i)), m_instance, nullptr);
    }
    // A result of any length: the edit control stops at 32,767 characters unless told.
    SendMessageW(m_controls[text2], EM_SETLIMITTEXT, 0, 0);
    for (std::size_t i : {text1, check1, check2})
        SetWindowSubclass(
            m_controls[i], &Form1Window::controlProc, 1, reinterpret_cast<DWORD_PTR>(this));
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    m_lastFocus = m_controls[text1];
    applyDpi(m_dpi);
}

void Form1Window::applyDpi(UINT dpi)
{
    m_dpi = dpi;
    for (HFONT font : {m_textFont, m_buttonFont})
        DeleteObject(font);
    m_textFont = arialBold(layout::textPoints, dpi);
    m_buttonFont = arialBold(layout::buttonPoints, dpi);

    RECT outer {0, 0, pixels(layout::clientWidth), pixels(layout::clientHeight)};
    AdjustWindowRectExForDpi(&outer, windowStyle, FALSE, 0, dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (std::size_t i = 0; i < layout::controls.size(); ++i) {
        const layout::Control &c = layout::controls[i];
        HWND hwnd = m_controls[i];
        const int left = pixels(layout::clientLeft(c));
        const int top = pixels(layout::clientTop(c));
        int height = c.kind == layout::Kind::Line ? 1 : pixels(c.height);
        if (c.kind == layout::Kind::DropDownList) {
            // The closed list is the layout's height; the window's own height
            // includes the drop-down part.
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_textFont), FALSE);
            SendMessageW(hwnd, CB_SETITEMHEIGHT, WPARAM(-1), height - 6);
            height += dropDownRows * pixels(240);
        }
        SetWindowPos(
            hwnd, nullptr, left, top, pixels(c.width), height, SWP_NOZORDER | SWP_NOACTIVATE);
        const HFONT font = c.points == layout::buttonPoints ? m_buttonFont : m_textFont;
        if (c.kind != layout::Kind::Line)
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

LRESULT Form1Window::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        onCreate();
        return 0;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == m_controls[line1])
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOWTEXT));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(m_white);
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(m_white);
    case WM_SETCURSOR:
        if (m_pointer != core::MousePointer::Default && LOWORD(lParam) == HTCLIENT) {
            SetCursor(m_shownCursor);
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        onMouseMove({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
    case WM_ACTIVATE:
        // The window gives the focus back where it was, as a dialog does.
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (HWND focus = GetFocus(); focus && IsChild(m_hwnd, focus))
                m_lastFocus = focus;
        } else if (m_lastFocus) {
            m_activating = true;
            SetFocus(m_lastFocus);
            m_activating = false;
        }
        return 0;
    case WM_DPICHANGED: {
        applyDpi(HIWORD(wParam));
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top,
            suggested->right - suggested->left, suggested->bottom - suggested->top,
            SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        m_behaviour.Form_Unload();
        return 0;
    case WM_DESTROY:
        if (m_services.quitWhenClosed)
            PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT Form1Window::handleControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEMOVE:
        if (hwnd == m_controls[check1] || hwnd == m_controls[check2])
            m_behaviour.buttonMouseMove();
        break;
    case WM_LBUTTONDOWN:
        if (hwnd == m_controls[text1]) {
            m_mouseFocusing = GetFocus() != hwnd;
            const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
            m_mouseFocusing = false;
            return result;
        }
        break;
    case WM_LBUTTONUP:
        if (hwnd == m_controls[text1]) {
            const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
            m_behaviour.amountMouseReleased();
            return result;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &Form1Window::controlProc, 1);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void Form1Window::onCommand(int id, int code)
{
    if (id == IDOK) {
        // Enter, from the dialog manager; it converts only from the amount box.
        if (GetFocus() == m_controls[text1])
            m_behaviour.amountEnterPressed();
        return;
    }
    const int index = id - firstControlId;
    if (index == int(check2) && code == BN_CLICKED)
        m_behaviour.Check2_Click();
    else if (index == int(check1) && code == BN_CLICKED)
        m_behaviour.Check1_Click();
    else if (index == int(text1) && code == EN_SETFOCUS) {
        const core::FocusReason reason = m_activating ? core::FocusReason::Activation
            : m_programFocus                          ? core::FocusReason::Program
            : m_mouseFocusing                         ? core::FocusReason::Mouse
                                                      : core::FocusReason::Keyboard;
        m_behaviour.amountFocused(reason);
    }
}

void Form1Window::onMouseMove(POINT at)
{
    // Labels and the frame let the mouse through to the window; over a label
    // nothing changes, over the frame or the bare window the pointer is default.
    for (std::size_t i = 0; i < layout::controls.size(); ++i) {
        if (i == frame2 || i == line1)
            continue;
        RECT area {};
        GetWindowRect(m_controls[i], &area);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT *>(&area), 2);
        if (PtInRect(&area, at))
            return;
    }
    m_behaviour.bareAreaMouseMove();
}

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
