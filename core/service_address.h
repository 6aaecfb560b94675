// Where the converter service is, and how a window starts it on this machine.
// Both windows, both service starters, the service's --listen option, the
// proxy bypass of every transfer and the build's systemd units read the
// converter host through these functions, so "which host is ours to start" has
// one answer everywhere. Standard C++ only: addresses are parsed here, not by the
// system's resolver, so a name is never looked up to decide.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core
{

struct ServiceAddress {
    std::string host; // as written; an IPv6 address without its brackets
    std::uint16_t port = 80;
};

// "127.0.0.1:8765", "[::1]:8765", "localhost", "rates.example.org:8080" (port 80
// when none is given); nullopt for an empty host, an IPv6 address without its
// brackets, a port outside 1-65535 or a character no host name has.
std::optional<ServiceAddress> parseServiceAddress(std::string_view hostPort);

// 127.0.0.0/8, ::1 however it is spelled, and "localhost" in any case; a host
// alone, an IPv6 address with or without its brackets.
bool isLoopbackHost(std::string_view host);

// The address the service listens on for a loopback host: numeric, "localhost"
// as 127.0.0.1 (systemd takes no names); nullopt for any other host.
std::optional<ServiceAddress> loopbackListenAddress(std::string_view hostPort);

// "127.0.0.1:8765", "[::1]:8765".
std::string formatHostPort(const ServiceAddress &address);

// The service's --listen ADDR:PORT: a numeric address (IPv6 in brackets) and a
// port, both always given; port 0 asks the system for a free one.
std::optional<ServiceAddress> parseListenArgument(std::string_view text);

// How a window starts the service itself. Long enough an idle exit to serve a
// few conversions in a row, short enough that a service nobody asks does not
// linger for the rest of the session.
inline constexpr std::chrono::seconds serviceIdleExit {300};
// How often a starter asks the port whether the service listens yet.
inline constexpr std::chrono::milliseconds servicePollInterval {25};
// The longest a press waits for a service it started, retried download included.
inline constexpr std::chrono::milliseconds serviceStartBudget {5000};

// The arguments after the program's name: where to listen, the idle exit, no
// request log, and fresh rates as the systemd unit has them.
std::vector<std::string> serviceStartArguments(const ServiceAddress &listen);

} // namespace core
