#pragma once

#include <cstdint>
#include <string>

namespace archive {

// A count or size with "," between groups of three digits: 1234567 gives "1,234,567".
std::string FormatSizeText(std::int64_t n);

// A time as the lists show it, in local time: month/day/two-digit year, hour on the 12-hour
// clock, minute and AM or PM, without leading zeros on month, day and hour ("3/5/03 9:07 PM").
std::string FormatDateText(std::int64_t time);

// The speed of an operation and the time it still needs at that speed: "38.2 MB/s, about 12 s
// left" (megabytes of 1,000,000 bytes; minutes from 100 seconds on, hours from 100 minutes on);
// "" when nothing has been done yet.
std::string formatRateText(double bytesDone, double bytesTotal, double seconds);

} // namespace archive
