// Form1's behaviour, written once for both windows: the load and unload
// handlers, the two push-style buttons, the amount box's select-on-focus, the
// pointer rules and Enter. The window calls the handler for each event it sees
// and the handlers act on it through Form1View; the session, the settings, the
// browser and the random draw are interfaces handed in.
#pragma once

#include "core/form1_view.h"
#include "core/ports.h"

#include <string>

namespace core
{

struct Form1World {
    InternetSession &session;
    SettingsStore &settings;
    Browser &browser;
    RandomSource &random;
    std::u16string host; // the converter host, "127.0.0.1:8765" unless built otherwise
};

class Form1Behaviour
{
public:
    Form1Behaviour(Form1View &view, Form1World world);
    // A window destroyed without being closed still gives its session back.
    ~Form1Behaviour();
    Form1Behaviour(const Form1Behaviour &) = delete;
    Form1Behaviour &operator=(const Form1Behaviour &) = delete;

    void Form_Load();
    // The window is on screen for the first time.
    void windowShown();
    // Runs once, however many close requests arrive.
    void Form_Unload();
    void Check2_Click();
    void Check1_Click();
    void Text1_GotFocus();

    // The focus entered the amount box; only a real move selects its text.
    void amountFocused(FocusReason reason);
    // A mouse button was released over the amount box.
    void amountMouseReleased();
    // Enter in the amount box presses Convert.
    void amountEnterPressed();

    // Pointer rules: over a button the hand, over the bare window or the frame
    // the default; never while busy. Moves over other controls call nothing.
    void buttonMouseMove();
    void bareAreaMouseMove();

    MousePointer mousePointer() const { return m_pointer; }
    bool hasMouseIcon() const { return m_hasMouseIcon; }
    bool unloaded() const { return m_unloaded; }

private:
    void setMousePointer(MousePointer pointer);
    void restoreChoice(
        CurrencyList list, const std::u16string &key, const std::u16string &fallback);

    Form1View &m_view;
    Form1World m_world;
    MousePointer m_pointer = MousePointer::Default;
    bool m_hasMouseIcon = false;
    bool m_selectAllOnRelease = false;
    bool m_unloaded = false;
};

// The settings' names: application, section, and the keys of the two lists.
inline constexpr std::u16string_view settingsApplication = u"Vantoril";
inline constexpr std::u16string_view settingsSection = u"Korvalux";
inline constexpr std::u16string_view fromCurrencyKey = u"FromCurrency";
inline constexpr std::u16string_view toCurrencyKey = u"ToCurrency";

} // namespace core
