#include "formats.h"

#include <ctime>
#include <gtest/gtest.h>

TEST(FormatsTest, SizesGetThousandsSeparators) {
    const struct {
        std::int64_t n;
        const char* text;
    } cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {1234567, "1,234,567"},
        {999999999, "999,999,999"},
        {4294967295LL, "4,294,967,295"},
        {5'368'709'120LL, "5,368,709,120"},
        {1'000'000'000'000LL, "1,000,000,000,000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(archive::FormatSizeText(c.n), c.text);
    }
}

TEST(FormatsTest, DatesAreLocalWithoutLeadingZeros) {
    const struct {
        int year, month, day, hour, minute;
        const char* text;
    } cases[] = {
        {2003, 3, 5, 21, 7, "3/5/03 9:07 PM"},
        {2003, 12, 25, 0, 5, "12/25/03 12:05 AM"},
        {2010, 10, 10, 12, 0, "10/10/10 12:00 PM"},
        {2000, 1, 1, 9, 59, "1/1/00 9:59 AM"},
    };
    for (const auto& c : cases) {
        std::tm fields{};
        fields.tm_year = c.year - 1900;
        fields.tm_mon = c.month - 1;
        fields.tm_mday = c.day;
        fields.tm_hour = c.hour;
        fields.tm_min = c.minute;
        fields.tm_isdst = -1;
        EXPECT_EQ(archive::FormatDateText(std::mktime(&fields)), c.text);
    }
}
