// Where each of Form1's controls stands in the layout table, and so in the
// window's array of controls; shared by the window's two source files.
#pragma once

#include "core/layout.h"

#include <cstddef>
#include <string_view>

namespace win32::form1
{

inline std::size_t indexOf(std::string_view name)
{
    for (std::size_t i = 0; i < core::layout::controls.size(); ++i) {
        if (core::layout::controls[i].name == name)
            return i;
    }
    return 0;
}

inline const std::size_t text1 = indexOf("Text1");
inline const std::size_t text2 = indexOf("Text2");
inline const std::size_t check1 = indexOf("Check1");
inline const std::size_t check2 = indexOf("Check2");
inline const std::size_t frame2 = indexOf("Frame2");
inline const std::size_t line1 = indexOf("Line1");
inline const std::size_t fromList = indexOf("cboFromCurrency");
inline const std::size_t toList = indexOf("cboToCurrency");

} // namespace win32::form1
