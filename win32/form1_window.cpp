// Form1's window procedure and its view of the controls. Controls are children
// of the window in the layout table's z-order, so the dialog manager's tab order
// (z-order) is the layout's, and a screen reader names each box and list after
// the label just before it. Text2 and Check1 sit beside Frame2, not inside it,
// at their client positions, as a dialog's group box holds its controls.
#include "win32/form1_window.h"

#include "core/layout.h"
#include "win32/form1_controls.h"
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
using namespace form1;

constexpr wchar_t className[] = L"Korvalux.Form1";
constexpr int firstControlId = 100;
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int dropDownRows = 12;

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
    m_behaviour.windowShown();
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

} // namespace win32
