// The home page's one-in-a-hundred rule and the timer-seeded draw behind it.
#include "core/ports.h"

#include <cmath>
#include <random>

namespace core
{

double drawSeededWith(std::uint32_t millisecondsSinceMidnight)
{
    std::mt19937 generator(millisecondsSinceMidnight);
    // 32 random bits over 2^32 stays below 1 however the bits fall.
    return static_cast<double>(generator()) / 4294967296.0;
}

std::u16string homePageAddress(std::u16string_view host)
{
    std::u16string address = u"http://";
    address += host;
    address += u'/';
    return address;
}

bool promoteHomePage(RandomSource &random, Browser &browser, std::u16string_view host)
{
    const double r = random.draw();
    if (!(r >= 0.0 && r < 1.0)) // also false for NaN
        return false;
    const int n = static_cast<int>(std::floor(r * 100.0)) + 1;
    if (n != 7)
        return false;
    browser.open(homePageAddress(host));
    return true;
}

} // namespace core
