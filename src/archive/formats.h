#pragma once

#include <cstdint>
#include <string>

namespace archive {

// A count or size with "," between groups of three digits: 1234567 gives "1,234,567".
std::string FormatSizeText(std::int64_t n);

// A time as the lists show it, in local time: month/day/two-digit year, hour on the 12-hour
// clock, minute and AM or PM, without leading zeros on month, day and hour ("3/5/03 9:07 PM").
std::string FormatDateText(std::int64_t time);

} // namespace archive
