// What the window reaches on a Linux desktop besides the network and its
// settings: the user's browser through the desktop's URL handler, and the
// random draw seeded from the time of day, as on Windows.
#pragma once

#include "core/ports.h"

class DesktopBrowser : public core::Browser
{
public:
    // Does not wait; the handler's result is not looked at.
    void open(const std::u16string &address) override;
};

class TimeOfDayRandom : public core::RandomSource
{
public:
    double draw() override;
};
