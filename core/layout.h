// Form1's layout as one table shared by both windows: each control's name, kind,
// starting text, place and size in twips (15 to a pixel at 96 dpi), font size
// and tab index, in z-order. The Qt window and the Win32 window both build their
// controls from it, and their tests check what they built against it.
#pragma once

#include <array>
#include <string_view>

namespace core::layout
{

enum class Kind { Label, TextBox, DropDownList, Line, PushCheckBox, Frame };

struct Control {
    std::string_view name;
    Kind kind;
    std::u16string_view text; // at start
    // Relative to the container: the client area, or Frame2's outer corner.
    int left, top, width, height;
    double points; // Arial bold; 0 for the line
    int tabIndex; // -1: the line, which has none
    bool inFrame2;
};

inline constexpr int twipsPerPixel = 15;
inline constexpr int clientWidth = 5670;
inline constexpr int clientHeight = 3525;
inline constexpr double textPoints = 9;
inline constexpr double buttonPoints = 11.25;
inline constexpr std::u16string_view caption = u"Korvalux";

// Line1 runs from (120, 1080) to (5520, 1080), one pixel thick.
inline constexpr std::array<Control, 11> controls = {{
    {"Label2", Kind::Label, u"Amount to Convert:", 120, 180, 1755, 195, textPoints, 6, false},
    {"Text1", Kind::TextBox, u"1.00", 1920, 120, 1395, 315, textPoints, 0, false},
    {"Label3", Kind::Label, u"From:", 120, 660, 615, 195, textPoints, 7, false},
    {"cboFromCurrency", Kind::DropDownList, u"", 840, 600, 4755, 345, textPoints, 1, false},
    {"Line1", Kind::Line, u"", 120, 1080, 5520 - 120, 0, 0, -1, false},
    {"Label4", Kind::Label, u"To:", 120, 1260, 615, 195, textPoints, 8, false},
    {"cboToCurrency", Kind::DropDownList, u"", 840, 1200, 4755, 345, textPoints, 2, false},
    {"Check2", Kind::PushCheckBox, u"Convert", 120, 1680, 5415, 400, buttonPoints, 3, false},
    {"Frame2", Kind::Frame, u"Results", 120, 2160, 5415, 1260, textPoints, 5, false},
    {"Text2", Kind::TextBox, u"", 120, 300, 5175, 375, textPoints, 4, true},
    {"Check1", Kind::PushCheckBox, u"Copy To Clipboard", 120, 720, 5175, 400, buttonPoints, 9,
        true},
}};

constexpr bool takesFocus(Kind kind)
{
    return kind == Kind::TextBox || kind == Kind::DropDownList || kind == Kind::PushCheckBox;
}

constexpr const Control &control(std::string_view name)
{
    for (const Control &c : controls) {
        if (c.name == name)
            return c;
    }
    return controls[0]; // unreachable for the names above; checked below
}

// Left and top measured from the client area, for a control inside Frame2 too.
constexpr int clientLeft(const Control &c)
{
    return c.inFrame2 ? control("Frame2").left + c.left : c.left;
}

constexpr int clientTop(const Control &c)
{
    return c.inFrame2 ? control("Frame2").top + c.top : c.top;
}

// The focusable controls in tab order, wrapping round after the last.
inline constexpr std::array<std::string_view, 6> tabOrder
    = {"Text1", "cboFromCurrency", "cboToCurrency", "Check2", "Text2", "Check1"};

namespace detail
{

// Walking the focusable controls in z-order gives the tab order, so a window
// system that tabs by z-order (Win32 dialogs) keeps it without extra work.
constexpr bool zOrderIsTabOrder()
{
    std::size_t next = 0;
    int lastIndex = -1;
    for (const Control &c : controls) {
        if (!takesFocus(c.kind))
            continue;
        if (next >= tabOrder.size() || c.name != tabOrder[next++] || c.tabIndex <= lastIndex)
            return false;
        lastIndex = c.tabIndex;
    }
    return next == tabOrder.size();
}

} // namespace detail

static_assert(detail::zOrderIsTabOrder(), "z-order of the focusable controls is the tab order");
static_assert(clientLeft(control("Text2")) == 240 && clientTop(control("Text2")) == 2460);
static_assert(clientLeft(control("Check1")) == 240 && clientTop(control("Check1")) == 2880);

} // namespace core::layout
