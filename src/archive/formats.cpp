#include "formats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace archive {

std::string FormatSizeText(std::int64_t n) {
    const bool negative = n < 0;
    std::string digits = std::to_string(negative ? -(n + 1) + 1ULL : static_cast<unsigned long long>(n));
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return negative ? "-" + digits : digits;
}

std::string FormatDateText(std::int64_t time) {
    const auto seconds = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return "";
    }
    char month[8];
    char day[8];
    char year[8];
    char hour[8];
    char minute[8];
    char designator[8];
    std::strftime(month, sizeof month, "%m", &local);
    std::strftime(day, sizeof day, "%d", &local);
    std::strftime(year, sizeof year, "%y", &local);
    std::strftime(hour, sizeof hour, "%I", &local);
    std::strftime(minute, sizeof minute, "%M", &local);
    std::snprintf(designator, sizeof designator, "%s", local.tm_hour < 12 ? "AM" : "PM");
    auto dropLeadingZero = [](const char* text) { return std::string(text[0] == '0' ? text + 1 : text); };
    return dropLeadingZero(month) + "/" + dropLeadingZero(day) + "/" + year + " " + dropLeadingZero(hour) +
           ":" + minute + " " + designator;
}

std::string formatRateText(double bytesDone, double bytesTotal, double seconds) {
    if (bytesDone <= 0 || seconds <= 0) {
        return std::string();
    }
    const double speed = bytesDone / seconds;
    const long long left = std::llround(std::max(0.0, bytesTotal - bytesDone) / speed);
    char text[80];
    if (left < 100) {
        std::snprintf(text, sizeof text, "%.1f MB/s, about %lld s left", speed / 1e6, left);
    } else if (left < 100 * 60) {
        std::snprintf(text, sizeof text, "%.1f MB/s, about %lld min left", speed / 1e6, (left + 30) / 60);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB/s, about %lld h %lld min left", speed / 1e6,
                      (left + 30) / 3600, (left + 30) % 3600 / 60);
    }
    return text;
}

} // namespace archive
