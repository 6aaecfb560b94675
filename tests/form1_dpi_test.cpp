// The Win32 window on scaled screens and to screen readers, in-process under
// Wine: every control's rectangle and both fonts at the prefix's DPI (the
// layout's twips × dpi ÷ 1440, points × dpi ÷ 72), the window resized on
// WM_DPICHANGED, and each control's name and role as MSAA gives them.
// tests/windows_dpi.sh runs the first at 96, 120, 144 and 192 dpi.
#include "core/layout.h"
#include "fake_ports.h"
#include "win32/form1_window.h"
#include "win32/platform.h"
#include "win32/registry_settings.h"

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <oleacc.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

namespace
{

namespace layout = core::layout;

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int fontHeight(HWND control)
{
    LOGFONTW font {};
    GetObjectW(
        reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

RECT clientRect(HWND control, HWND window)
{
    RECT area {};
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&area), 2);
    return area;
}

class Form1Dpi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_window = std::make_unique<win32::Form1Window>(GetModuleHandleW(nullptr),
            win32::Form1Services {m_session, m_settings, m_browser, m_random, u"127.0.0.1:1",
                win32::programFolder() + L"\\win32\\HAND-M.CUR", false});
        ASSERT_TRUE(m_window->hwnd());
        m_window->show(SW_SHOWNORMAL);
        pump();
    }
    void TearDown() override
    {
        m_window.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Korvalux Tests\\dpi");
    }

    // The client area, every control and both fonts where the layout puts them at dpi.
    void expectScaledTo(UINT dpi)
    {
        const HWND hwnd = m_window->hwnd();
        RECT client {};
        GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right, MulDiv(layout::clientWidth, dpi, 1440)) << dpi;
        EXPECT_EQ(client.bottom, MulDiv(layout::clientHeight, dpi, 1440)) << dpi;
        for (const layout::Control &c : layout::controls) {
            const HWND control = m_window->control(c.name);
            const RECT area = clientRect(control, hwnd);
            EXPECT_EQ(area.left, MulDiv(layout::clientLeft(c), dpi, 1440)) << c.name << " " << dpi;
            EXPECT_EQ(area.top, MulDiv(layout::clientTop(c), dpi, 1440)) << c.name << " " << dpi;
            EXPECT_EQ(area.right - area.left, MulDiv(c.width, dpi, 1440)) << c.name << " " << dpi;
            // A list's window holds its drop-down too.
            const int height = c.kind == layout::Kind::Line ? 1
                : c.kind == layout::Kind::DropDownList      ? area.bottom - area.top
                                                            : MulDiv(c.height, dpi, 1440);
            EXPECT_EQ(area.bottom - area.top, height) << c.name << " " << dpi;
            if (c.kind != layout::Kind::Line) {
                EXPECT_EQ(fontHeight(control), -std::lround(c.points * dpi / 72))
                    << c.name << " " << dpi;
            }
        }
        std::cout << "dpi " << dpi << ": client " << client.right << " x " << client.bottom
                  << ", text font " << -fontHeight(m_window->control("Text1"))
                  << " px, button font " << -fontHeight(m_window->control("Check2")) << " px\n";
    }

    fakes::Session m_session;
    win32::RegistrySettings m_settings {HKEY_CURRENT_USER, u"Software\\Korvalux Tests\\dpi"};
    fakes::Browser m_browser;
    fakes::FixedDraw m_random;
    std::unique_ptr<win32::Form1Window> m_window;
};

TEST_F(Form1Dpi, EveryControlScalesWithTheScreen)
{
    // Set by tests/windows_dpi.sh, which gives the prefix that LogPixels.
    if (const char *expected = std::getenv("KORVALUX_EXPECT_DPI")) {
        ASSERT_EQ(m_window->dpi(), static_cast<UINT>(std::atoi(expected)));
    }
    expectScaledTo(m_window->dpi());
}

TEST_F(Form1Dpi, MovingToAnotherScreenRescalesTheWindow)
{
    const HWND hwnd = m_window->hwnd();
    for (const UINT dpi : {144u, 120u, 192u, m_window->dpi()}) {
        // The suggested rectangle: the new client area in the frame the window has
        // (Wine draws its frame at the system's DPI whatever the window's).
        RECT frame {};
        RECT client {};
        GetWindowRect(hwnd, &frame);
        GetClientRect(hwnd, &client);
        RECT outer {10, 10,
            10 + MulDiv(layout::clientWidth, dpi, 1440) + (frame.right - frame.left) - client.right,
            10 + MulDiv(layout::clientHeight, dpi, 1440) + (frame.bottom - frame.top)
                - client.bottom};
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outer));
        pump();
        EXPECT_EQ(m_window->dpi(), dpi);
        expectScaledTo(dpi);
    }
}

// MSAA names each box and list after the label before it, and each button by its
// caption. Wine's oleacc may give no object or no name: the test says so and
// skips, and the z-order check in form1_window_test still holds what Windows
// builds those names from.
TEST_F(Form1Dpi, ScreenReadersGetEachControlsNameAndRole)
{
    CoInitialize(nullptr);
    const struct {
        const char *control;
        const wchar_t *name;
        long role;
    } rows[] = {
        {"Text1", L"Amount to Convert:", ROLE_SYSTEM_TEXT},
        {"cboFromCurrency", L"From:", ROLE_SYSTEM_COMBOBOX},
        {"cboToCurrency", L"To:", ROLE_SYSTEM_COMBOBOX},
        {"Check2", L"Convert", ROLE_SYSTEM_CHECKBUTTON},
        {"Check1", L"Copy To Clipboard", ROLE_SYSTEM_CHECKBUTTON},
    };
    std::string unanswered;
    for (const auto &row : rows) {
        IAccessible *accessible = nullptr;
        if (FAILED(AccessibleObjectFromWindow(m_window->control(row.control), OBJID_CLIENT,
                IID_IAccessible, reinterpret_cast<void **>(&accessible)))
            || !accessible) {
            unanswered += std::string(" ") + row.control + " (no object)";
            continue;
        }
        VARIANT self {};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        VARIANT role {};
        const bool named = SUCCEEDED(accessible->get_accName(self, &name)) && name;
        if (named) {
            EXPECT_STREQ(name, row.name) << row.control;
            std::wcout << L"MSAA " << row.control << L": \"" << name << L"\"";
        } else {
            unanswered += std::string(" ") + row.control + " (no name)";
        }
        if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4) {
            EXPECT_EQ(role.lVal, row.role) << row.control;
            std::wcout << L", role " << role.lVal;
        }
        std::wcout << L"\n";
        SysFreeString(name);
        accessible->Release();
    }
    CoUninitialize();
    if (!unanswered.empty())
        GTEST_SKIP() << "this system's oleacc did not answer for:" << unanswered;
}

} // namespace
