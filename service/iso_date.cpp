// The one "YYYY-MM-DD" parser: digits read by hand (GCC 12 has no
// std::chrono::parse), the calendar check left to year_month_day::ok().
#include "service/iso_date.h"

#include <cstdio>

namespace korvalux::service
{

namespace
{

// The number in text's digits, or -1 when any is no ASCII digit.
int digits(std::string_view text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<std::chrono::year_month_day> parseIsoDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const int year = digits(text.substr(0, 4));
    const int month = digits(text.substr(5, 2));
    const int day = digits(text.substr(8, 2));
    if (year < 0 || month < 0 || day < 0)
        return std::nullopt;
    const std::chrono::year_month_day date {std::chrono::year {year},
        std::chrono::month {static_cast<unsigned>(month)},
        std::chrono::day {static_cast<unsigned>(day)}};
    if (!date.ok())
        return std::nullopt;
    return date;
}

std::string formatIsoDate(std::chrono::year_month_day date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

bool isIsoDate(std::string_view text)
{
    const auto date = parseIsoDate(text);
    return date && date->year() >= std::chrono::year {1999};
}

std::string utcToday()
{
    return formatIsoDate(std::chrono::year_month_day {
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())});
}

std::optional<long> daysBetween(std::string_view from, std::string_view to)
{
    const auto first = parseIsoDate(from);
    const auto last = parseIsoDate(to);
    if (!first || !last)
        return std::nullopt;
    return static_cast<long>(
        (std::chrono::sys_days {*last} - std::chrono::sys_days {*first}).count());
}

} // namespace korvalux::service
