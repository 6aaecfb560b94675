// The rest of what the window reaches on Windows: the browser through the
// shell, the random draw seeded from the time of day, and the program's folder.
#pragma once

#include "core/ports.h"

#include <string>

namespace win32
{

class ShellBrowser : public core::Browser
{
public:
    // Does not wait; the launch's result is not looked at.
    void open(const std::u16string &address) override;
};

class TimeOfDayRandom : public core::RandomSource
{
public:
    double draw() override;
};

// The folder of this executable, without a trailing backslash.
std::wstring programFolder();

// "<program folder>\HAND-M.CUR".
std::wstring handCursorPath();

} // namespace win32
