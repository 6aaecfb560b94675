// Numeric addresses are read as strictly as the systems' inet_pton reads them
// (four decimal parts with no leading zeros; IPv6 with one "::" at most and an
// optional dotted tail), so a host that one platform calls loopback is loopback
// on the other too.
#include "core/service_address.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace core
{

namespace
{

using Bytes16 = std::array<std::uint8_t, 16>;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<std::array<std::uint8_t, 4>> parseIpv4(std::string_view text)
{
    std::array<std::uint8_t, 4> parts {};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t end = std::min(text.find('.'), text.size());
        const std::string_view part = text.substr(0, end);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit)
            || (part.size() > 1 && part.front() == '0'))
            return std::nullopt;
        unsigned value = 0;
        std::from_chars(part.data(), part.data() + part.size(), value);
        if (value > 255)
            return std::nullopt;
        parts[i] = static_cast<std::uint8_t>(value);
        const bool last = i + 1 == parts.size();
        if (last != (end == text.size()))
            return std::nullopt;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return parts;
}

// The groups on one side of "::" (or of a whole address without it), into
// words; false when a group is not 1-4 hex digits. A dotted IPv4 tail is two words.
bool parseGroups(std::string_view text, bool mayEndInIpv4, std::vector<std::uint16_t> &words)
{
    if (text.empty())
        return true;
    for (;;) {
        const std::size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && mayEndInIpv4 && group.find('.') != group.npos) {
            const auto v4 = parseIpv4(group);
            if (!v4)
                return false;
            words.push_back(static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]));
            words.push_back(static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]));
            return true;
        }
        unsigned value = 0;
        const auto [end, error]
            = std::from_chars(group.data(), group.data() + group.size(), value, 16);
        if (group.empty() || group.size() > 4 || error != std::errc()
            || end != group.data() + group.size())
            return false;
        words.push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos)
            return true;
        text.remove_prefix(colon + 1);
    }
}

std::optional<Bytes16> parseIpv6(std::string_view text)
{
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!parseGroups(text, true, head) || head.size() != 8)
            return std::nullopt;
    } else {
        const std::string_view after = text.substr(gap + 2);
        if (after.find("::") != std::string_view::npos
            || !parseGroups(text.substr(0, gap), false, head) || !parseGroups(after, true, tail)
            || head.size() + tail.size() > 7)
            return std::nullopt;
    }
    head.resize(8 - tail.size());
    head.insert(head.end(), tail.begin(), tail.end());
    Bytes16 bytes {};
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i] & 0xFF);
    }
    return bytes;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool isNameCharacter(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.'
        || c == '_';
}

// "" when no port follows; nullopt when what follows is not ":" and a port in
// [lowest, 65535].
std::optional<std::uint16_t> parsePort(std::string_view rest, unsigned lowest, bool required)
{
    if (rest.empty())
        return required ? std::nullopt : std::optional<std::uint16_t>(80);
    if (rest.front() != ':')
        return std::nullopt;
    rest.remove_prefix(1);
    unsigned value = 0;
    if (rest.empty() || rest.size() > 5 || !std::all_of(rest.begin(), rest.end(), isDigit))
        return std::nullopt;
    std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (value < lowest || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// The host and what follows it; an IPv6 host must be a valid address in brackets.
std::optional<std::pair<std::string_view, std::string_view>> splitHost(std::string_view text)
{
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || !parseIpv6(text.substr(1, close - 1)))
            return std::nullopt;
        return std::pair(text.substr(1, close - 1), text.substr(close + 1));
    }
    const std::size_t colon = std::min(text.find(':'), text.size());
    return std::pair(text.substr(0, colon), text.substr(colon));
}

} // namespace

std::optional<ServiceAddress> parseServiceAddress(std::string_view hostPort)
{
    const auto split = splitHost(hostPort);
    if (!split || split->first.empty())
        return std::nullopt;
    const auto [host, rest] = *split;
    if (!hostPort.starts_with('[') && !std::all_of(host.begin(), host.end(), isNameCharacter))
        return std::nullopt;
    const std::optional<std::uint16_t> port = parsePort(rest, 1, false);
    if (!port)
        return std::nullopt;
    return ServiceAddress {std::string(host), *port};
}

bool isLoopbackHost(std::string_view host)
{
    constexpr Bytes16 loopback {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        const auto v6 = parseIpv6(host.substr(1, host.size() - 2));
        return v6 && *v6 == loopback;
    }
    if (equalsIgnoringCase(host, "localhost"))
        return true;
    if (const auto v4 = parseIpv4(host))
        return (*v4)[0] == 127;
    const auto v6 = parseIpv6(host);
    return v6 && *v6 == loopback;
}

std::optional<ServiceAddress> loopbackListenAddress(std::string_view hostPort)
{
    std::optional<ServiceAddress> address = parseServiceAddress(hostPort);
    if (!address || !isLoopbackHost(address->host))
        return std::nullopt;
    if (equalsIgnoringCase(address->host, "localhost"))
        address->host = "127.0.0.1";
    return address;
}

std::string formatHostPort(const ServiceAddress &address)
{
    const bool ipv6 = address.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::optional<ServiceAddress> parseListenArgument(std::string_view text)
{
    const auto split = splitHost(text);
    if (!split || (!text.starts_with('[') && !parseIpv4(split->first)))
        return std::nullopt;
    const std::optional<std::uint16_t> port = parsePort(split->second, 0, true);
    if (!port)
        return std::nullopt;
    return ServiceAddress {std::string(split->first), *port};
}

std::vector<std::string> serviceStartArguments(const ServiceAddress &listen)
{
    return {"--listen", formatHostPort(listen), "--exit-idle-time",
        std::to_string(serviceIdleExit.count()), "--quiet", "--refresh"};
}

} // namespace core
