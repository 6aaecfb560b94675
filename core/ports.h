// The small interfaces through which the window's behaviour reaches outside the
// process: the Internet session, the settings store, the browser and the random
// draw. Each platform supplies its own (libcurl, an INI file and Qt on Linux;
// WinINet, the registry and the shell on Windows); tests supply fakes.
#pragma once

#include "core/conversion.h"

#include <cstdint>
#include <string>

namespace core
{

// The one session of the process, open from load to unload.
class InternetSession : public PageSource
{
public:
    virtual void open() = 0;
    virtual void close() = 0;
    // Once the window is on screen: what a first press will need, begun in the
    // background, so that it costs the window's start nothing.
    virtual void warmUp() { }
};

// Per-user string values addressed by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    // "" when the value is missing or cannot be read.
    virtual std::u16string getSetting(
        const std::u16string &application, const std::u16string &section, const std::u16string &key)
        = 0;
    virtual void saveSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value)
        = 0;
};

// Opens an address in the user's browser without waiting for it.
class Browser
{
public:
    virtual ~Browser() = default;
    virtual void open(const std::u16string &address) = 0;
};

class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual double draw() = 0; // 0 <= r < 1
};

// A draw from a generator seeded with the given milliseconds since midnight.
double drawSeededWith(std::uint32_t millisecondsSinceMidnight);

// The converter service's own home page: "http://" + host + "/".
std::u16string homePageAddress(std::u16string_view host);

// Opens the home page when Int(r * 100) + 1 is 7; returns whether it did.
bool promoteHomePage(RandomSource &random, Browser &browser, std::u16string_view host);

} // namespace core
