// What Form1's behaviour needs of a window, whatever the toolkit: read and write
// the controls, press and release the two push-style buttons, show a pointer,
// place the window and reach the clipboard. The Qt window (app/main_window) and
// the Win32 window (win32/form1_window) implement it; tests use a fake.
#pragma once

#include <string>
#include <string_view>

namespace core
{

enum class CurrencyList { From, To }; // cboFromCurrency, cboToCurrency
enum class PushButton { Convert, Copy }; // Check2, Check1

// The window's mouse pointer states, with the values they have always had.
enum class MousePointer { Default = 0, Busy = 11, Custom = 99 };

// How the focus reached the amount box.
enum class FocusReason {
    Keyboard, // Tab or Shift+Tab
    Mouse, // a click into the box
    Program, // the load handler, or any other call of the program
    Popup, // back from a menu or a drop-down that had taken it
    Activation, // back with the window, from another one
};

class Form1View
{
public:
    virtual ~Form1View() = default;

    virtual void addEntry(CurrencyList list, const std::u16string &entry) = 0;
    // Chooses the entry whose text is exactly text; false when there is none.
    virtual bool chooseEntry(CurrencyList list, std::u16string_view text) = 0;
    virtual std::u16string chosenEntry(CurrencyList list) const = 0;

    virtual std::u16string amount() const = 0; // Text1
    virtual void focusAmount() = 0;
    virtual void selectWholeAmount() = 0;

    // Text2 takes the whole text and shows its beginning.
    virtual void showResult(const std::u16string &text) = 0;
    virtual std::u16string result() const = 0;

    // A button's value: true while pressed in. Setting it raises the button's
    // Click event, nested, as a user's click does.
    virtual bool isPressed(PushButton button) const = 0;
    virtual void setPressed(PushButton button, bool pressed) = 0;

    virtual void setCaption(std::u16string_view caption) = 0;
    virtual void centreOnScreen() = 0;
    // Loads the hand cursor from its file when it is there; true when it did.
    virtual bool loadHandCursor() = 0;
    // Busy must reach the screen at once, before a download blocks the thread.
    virtual void showPointer(MousePointer pointer) = 0;
    virtual void putOnClipboard(const std::u16string &text) = 0;
    // Tells a screen reader, where the user is, what has just appeared.
    virtual void announce(const std::u16string &text) = 0;

    // Let the window system run what is pending once; then end the process.
    virtual void processPendingEvents() = 0;
    virtual void endProcess() = 0;
};

} // namespace core
