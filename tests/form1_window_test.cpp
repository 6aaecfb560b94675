// The Win32 window in-process under Wine, driven through window messages as a
// user's keys and clicks arrive: its eleven controls against the layout table,
// the tab ring, the names screen readers take, a conversion over WinINet against
// the loopback server with the busy pointer, Enter, the push-style reset, the
// clipboard, the registry read at load and written at unload, and the overall
// bound on a trickling answer.
#include "core/layout.h"
#include "loopback_http_server.h"
#include "win32/form1_window.h"
#include "win32/platform.h"
#include "win32/registry_settings.h"
#include "win32/wininet_session.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

namespace
{

using namespace std::chrono_literals;
namespace layout = core::layout;

std::wstring text(HWND hwnd)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

std::wstring className(HWND hwnd)
{
    wchar_t buffer[64] = {};
    GetClassNameW(hwnd, buffer, 64);
    return buffer;
}

std::wstring wide(std::u16string_view s)
{
    return std::wstring(s.begin(), s.end());
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

class NoBrowser : public core::Browser
{
public:
    void open(const std::u16string &) override { ++opened; }
    int opened = 0;
};

class NeverSeven : public core::RandomSource
{
public:
    double draw() override { return 0.5; }
};

class Form1WindowTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_server.start()); }
    void TearDown() override
    {
        m_window.reset();
        m_server.stop();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Korvalux Tests\\window");
    }

    win32::Form1Window &start(core::DownloadLimits limits = {})
    {
        m_session = std::make_unique<win32::WinInetSession>(limits);
        const std::string host = m_server.baseUrl().substr(7);
        m_window = std::make_unique<win32::Form1Window>(GetModuleHandleW(nullptr),
            win32::Form1Services {*m_session, m_settings, m_browser, m_random,
                std::u16string(host.begin(), host.end()),
                win32::programFolder() + L"\\win32\\HAND-M.CUR", false});
        m_window->show(SW_SHOWNORMAL);
        SetForegroundWindow(m_window->hwnd());
        pump();
        return *m_window;
    }

    // A key as the message loop gets it, to the control with the focus.
    void key(UINT virtualKey)
    {
        MSG message {GetFocus(), WM_KEYDOWN, virtualKey, 1, 0, {}};
        m_window->dispatch(message);
        pump();
    }

    std::atomic<int> m_busyDuringRequest {0};
    std::atomic<bool> m_slow {false};
    loopback::Server m_server {[this](const loopback::Request &) {
        if (m_window && m_window->shownCursor() == LoadCursorW(nullptr, IDC_WAIT))
            ++m_busyDuringRequest;
        if (m_slow) {
            loopback::Answer trickle;
            trickle.send(loopback::responseHead(200, {{"Content-Length", "1000"}}));
            for (int i = 0; i < 100; ++i)
                trickle.send("x").pause(100ms);
            return trickle;
        }
        return loopback::response(200, "<p><td align=left>1.00 USD =&nbsp;<b>0.86 EUR</b></td>");
    }};
    win32::RegistrySettings m_settings {HKEY_CURRENT_USER, u"Software\\Korvalux Tests\\window"};
    NoBrowser m_browser;
    NeverSeven m_random;
    std::unique_ptr<win32::WinInetSession> m_session;
    std::unique_ptr<win32::Form1Window> m_window;
};

TEST_F(Form1WindowTest, ElevenControlsStandWhereTheLayoutPutsThem)
{
    win32::Form1Window &window = start();
    RECT client {};
    GetClientRect(window.hwnd(), &client);
    ASSERT_EQ(window.dpi(), 96u);
    EXPECT_EQ(client.right, 378);
    EXPECT_EQ(client.bottom, 235);
    const LONG style = GetWindowLongW(window.hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_EQ(text(window.hwnd()), L"Korvalux");

    const struct {
        std::string_view name;
        const wchar_t *windowClass;
    } classes[] = {{"Label2", L"Static"}, {"Text1", L"Edit"}, {"Label3", L"Static"},
        {"cboFromCurrency", L"ComboBox"}, {"Line1", L"Static"}, {"Label4", L"Static"},
        {"cboToCurrency", L"ComboBox"}, {"Check2", L"Button"}, {"Frame2", L"Button"},
        {"Text2", L"Edit"}, {"Check1", L"Button"}};
    HWND previous = nullptr;
    for (const auto &row : classes) {
        const layout::Control &c = layout::control(row.name);
        HWND hwnd = window.control(row.name);
        ASSERT_TRUE(hwnd) << row.name;
        EXPECT_EQ(_wcsicmp(className(hwnd).c_str(), row.windowClass), 0) << row.name;
        // Z-order is the table's order.
        EXPECT_EQ(GetWindow(hwnd, GW_HWNDPREV), previous) << row.name;
        previous = hwnd;
        RECT area {};
        GetWindowRect(hwnd, &area);
        MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT *>(&area), 2);
        EXPECT_EQ(area.left, MulDiv(layout::clientLeft(c), 96, 1440)) << row.name;
        EXPECT_EQ(area.top, MulDiv(layout::clientTop(c), 96, 1440)) << row.name;
        EXPECT_EQ(area.right - area.left, MulDiv(c.width, 96, 1440)) << row.name;
        if (c.kind == layout::Kind::DropDownList) {
            // The window's height includes the drop-down; the closed list's
            // follows its font.
            EXPECT_EQ(SendMessageW(hwnd, CB_GETCOUNT, 0, 0), 65) << row.name;
        } else if (c.kind == layout::Kind::Line) {
            EXPECT_EQ(area.bottom - area.top, 1);
        } else {
            EXPECT_EQ(area.bottom - area.top, MulDiv(c.height, 96, 1440)) << row.name;
        }
        if (c.kind != layout::Kind::DropDownList) {
            EXPECT_EQ(text(hwnd), wide(c.text)) << row.name;
        }
        if (c.kind != layout::Kind::Line) {
            LOGFONTW font {};
            GetObjectW(
                reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
            EXPECT_STREQ(font.lfFaceName, L"Arial") << row.name;
            EXPECT_EQ(font.lfWeight, FW_BOLD) << row.name;
            EXPECT_EQ(font.lfHeight, -std::lround(c.points * 96 / 72)) << row.name;
        }
        const bool tabStop = GetWindowLongW(hwnd, GWL_STYLE) & WS_TABSTOP;
        EXPECT_EQ(tabStop, layout::takesFocus(c.kind)) << row.name;
    }
    EXPECT_EQ(text(window.control("cboFromCurrency")), L"United States Dollar (USD)");
    EXPECT_EQ(text(window.control("cboToCurrency")), L"Euro (EUR)");
    EXPECT_GT(SendMessageW(window.control("Text2"), EM_GETLIMITTEXT, 0, 0), 32767);

    // Screen readers name each box and list after the label just before it.
    const struct {
        std::string_view control;
        std::string_view label;
    } names[] = {{"Text1", "Label2"}, {"cboFromCurrency", "Label3"}, {"cboToCurrency", "Label4"},
        {"Text2", "Frame2"}};
    for (const auto &row : names)
        EXPECT_EQ(GetWindow(window.control(row.control), GW_HWNDPREV), window.control(row.label));

    // Focus in Text1 with its text selected; Tab walks the ring and wraps.
    EXPECT_EQ(GetFocus(), window.control("Text1"));
    DWORD start = 0, end = 0;
    SendMessageW(window.control("Text1"), EM_GETSEL, WPARAM(&start), LPARAM(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    for (std::size_t i = 1; i <= layout::tabOrder.size(); ++i) {
        key(VK_TAB);
        EXPECT_EQ(GetFocus(), window.control(layout::tabOrder[i % layout::tabOrder.size()])) << i;
    }
}

TEST_F(Form1WindowTest, ConvertsOverWinInetWithTheBusyPointerAndSpringsBack)
{
    win32::Form1Window &window = start();
    EXPECT_TRUE(window.behaviour().hasMouseIcon());
    SetWindowTextW(window.control("Text1"), L"250");
    SendMessageW(window.control("Check2"), BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(SendMessageW(window.control("Check2"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(text(window.control("Text2")), L"1.00 USD = 0.86 EUR");
    const std::vector<loopback::Request> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/finance/converter?a=250&from=USD&to=EUR");
    EXPECT_TRUE(
        requests[0].header("User-Agent").rfind("Mozilla/4.0 (compatible; MSIE 6.0;", 0) == 0);
    EXPECT_EQ(m_busyDuringRequest.load(), 1);
    EXPECT_EQ(window.behaviour().mousePointer(), core::MousePointer::Default);

    // Enter in the amount box converts once more.
    SetFocus(window.control("Text1"));
    key(VK_RETURN);
    EXPECT_EQ(m_server.requests().size(), 2u);
    // Enter elsewhere does not.
    SetFocus(window.control("cboFromCurrency"));
    key(VK_RETURN);
    EXPECT_EQ(m_server.requests().size(), 2u);

    // Copy To Clipboard puts exactly the result there, as Unicode text.
    SendMessageW(window.control("Check1"), BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(SendMessageW(window.control("Check1"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t *>(GlobalLock(data))), L"1.00 USD = 0.86 EUR");
    GlobalUnlock(data);
    CloseClipboard();

    // Over a button the hand, over the bare window the default.
    SendMessageW(window.control("Check2"), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(window.behaviour().mousePointer(), core::MousePointer::Custom);
    EXPECT_EQ(window.shownCursor(), window.handCursor());
    SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(370, 5));
    EXPECT_EQ(window.behaviour().mousePointer(), core::MousePointer::Default);
}

TEST_F(Form1WindowTest, ChoicesComeFromTheRegistryAndGoBackAtUnload)
{
    m_settings.saveSetting(u"Vantoril", u"Korvalux", u"FromCurrency", u"Japanese Yen (JPY)");
    m_settings.saveSetting(u"Vantoril", u"Korvalux", u"ToCurrency", u"no such entry");
    win32::Form1Window &window = start();
    EXPECT_EQ(text(window.control("cboFromCurrency")), L"Japanese Yen (JPY)");
    EXPECT_EQ(text(window.control("cboToCurrency")), L"Euro (EUR)");
    SendMessageW(window.control("cboToCurrency"), CB_SELECTSTRING, WPARAM(-1),
        LPARAM(L"British Pound (GBP)"));
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window.hwnd()) << "closed";
    EXPECT_EQ(
        m_settings.getSetting(u"Vantoril", u"Korvalux", u"FromCurrency"), u"Japanese Yen (JPY)");
    EXPECT_EQ(
        m_settings.getSetting(u"Vantoril", u"Korvalux", u"ToCurrency"), u"British Pound (GBP)");
    EXPECT_FALSE(m_session->isOpen());
}

TEST_F(Form1WindowTest, ATricklingServerEndsWithinTheBound)
{
    win32::Form1Window &window = start({60s, 60s, 1 << 20, 1s});
    m_slow = true;
    const auto started = std::chrono::steady_clock::now();
    SendMessageW(window.control("Check2"), BM_CLICK, 0, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(window.behaviour().mousePointer(), core::MousePointer::Default);
    EXPECT_EQ(text(window.control("Text2")), L"The converter service sent no result.");
}

} // namespace
