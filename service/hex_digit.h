// One hexadecimal digit's value, shared by the page code (percent-decoding) and
// the request framer (chunk sizes, Host values): ASCII only, whatever the locale.
#pragma once

namespace korvalux::service
{

// 0 to 15, or -1 when c is no hexadecimal digit.
constexpr int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace korvalux::service
