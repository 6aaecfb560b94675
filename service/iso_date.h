// Calendar dates as the rate documents and pages write them, "YYYY-MM-DD". One
// strict parser turns the text into a std::chrono date; day counts are chrono
// arithmetic on sys_days. Used by the feed readers, the rate acceptance and the
// first round's staleness check. Standard C++ only.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvalux::service
{

// Exactly four, two and two digits joined by '-', naming a real calendar day
// (2026-02-30 is none); nothing else, no sign, no space.
std::optional<std::chrono::year_month_day> parseIsoDate(std::string_view text);

std::string formatIsoDate(std::chrono::year_month_day date);

// A real date written "YYYY-MM-DD", not before the euro's first year (1999):
// every rate document's date is one.
bool isIsoDate(std::string_view text);

// Today in UTC, "YYYY-MM-DD".
std::string utcToday();

// Whole days from one real "YYYY-MM-DD" date to another; negative when `to` is
// earlier; nullopt when either is no date.
std::optional<long> daysBetween(std::string_view from, std::string_view to);

} // namespace korvalux::service
