// Form1 on Win32: one top-level window with native controls (STATIC, EDIT,
// COMBOBOX, BUTTON), built from the shared layout table and driven by the shared
// behaviour (core/form1_behaviour.h), which this class serves as its view. One
// window procedure turns the window's and the controls' messages into the
// behaviour's handlers; the message loop passes every message through
// IsDialogMessageW first (dispatch()), for Tab and Enter.
#pragma once

#include "core/form1_behaviour.h"
#include "core/form1_view.h"

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

namespace win32
{

struct Form1Services {
    core::InternetSession &session;
    core::SettingsStore &settings;
    core::Browser &browser;
    core::RandomSource &random;
    std::u16string host;
    std::wstring handCursorPath;
    // Production ends the message loop when the window is gone; tests go on.
    bool quitWhenClosed = true;
};

class Form1Window : public core::Form1View
{
public:
    // Creates the window hidden and runs Form_Load.
    Form1Window(HINSTANCE instance, Form1Services services);
    ~Form1Window() override;
    Form1Window(const Form1Window &) = delete;
    Form1Window &operator=(const Form1Window &) = delete;

    void show(int showCommand);
    // The message loop's step: Tab and Enter first, then the usual dispatch.
    void dispatch(MSG &message);

    HWND hwnd() const { return m_hwnd; }
    // The control of that name in the layout table, or nullptr.
    HWND control(std::string_view name) const;
    core::Form1Behaviour &behaviour() { return m_behaviour; }
    HCURSOR shownCursor() const { return m_shownCursor; }
    HCURSOR handCursor() const { return m_hand; }
    UINT dpi() const { return m_dpi; }
    // Twips to pixels at the window's current DPI.
    int pixels(int twips) const;

    // core::Form1View
    void addEntry(core::CurrencyList list, const std::u16string &entry) override;
    bool chooseEntry(core::CurrencyList list, std::u16string_view text) override;
    std::u16string chosenEntry(core::CurrencyList list) const override;
    std::u16string amount() const override;
    void focusAmount() override;
    void selectWholeAmount() override;
    void showResult(const std::u16string &text) override;
    std::u16string result() const override;
    bool isPressed(core::PushButton button) const override;
    void setPressed(core::PushButton button, bool pressed) override;
    void setCaption(std::u16string_view caption) override;
    void centreOnScreen() override;
    bool loadHandCursor() override;
    void showPointer(core::MousePointer pointer) override;
    void putOnClipboard(const std::u16string &text) override;
    void announce(const std::u16string &text) override;
    void processPendingEvents() override;
    void endProcess() override;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK controlProc(
        HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void onCreate();
    void onCommand(int id, int code);
    void onMouseMove(POINT at);
    void applyDpi(UINT dpi);
    HWND byIndex(std::size_t index) const { return m_controls[index]; }
    HWND listOf(core::CurrencyList list) const;
    HWND buttonOf(core::PushButton button) const;

    HINSTANCE m_instance;
    Form1Services m_services;
    HWND m_hwnd = nullptr;
    std::array<HWND, 11> m_controls {};
    UINT m_dpi = 96;
    HFONT m_textFont = nullptr;
    HFONT m_buttonFont = nullptr;
    HBRUSH m_white = nullptr;
    HICON m_icon = nullptr;
    HCURSOR m_hand = nullptr;
    HCURSOR m_shownCursor = nullptr;
    core::MousePointer m_pointer = core::MousePointer::Default;
    HWND m_lastFocus = nullptr;
    bool m_activating = false;
    bool m_programFocus = false;
    bool m_mouseFocusing = false;
    core::Form1Behaviour m_behaviour;
};

} // namespace win32
