#include "sim/calendar.h"

#include <gtest/gtest.h>

namespace {

struct Day {
    int64_t year;
    unsigned month, day, dayOfWeek;
    int64_t days; // since 1970-01-01
};

// Ends of the range the scenario clock takes, leap days of the 4-, 100- and 400-year rules.
const Day kDays[] = {
    {1970, 1, 1, 4, 0},      {1601, 1, 1, 1, -134774},   {1900, 3, 1, 4, -25508},
    {2000, 2, 29, 2, 11016}, {2009, 6, 5, 5, 14400},     {2026, 12, 11, 5, 20798},
    {2100, 3, 1, 1, 47541},  {9999, 12, 31, 5, 2932896},
};

TEST(Calendar, DaysAndFieldsBothWays) {
    for (const Day& d : kDays) {
        SCOPED_TRACE(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                     std::to_string(d.day));
        int64_t ms = d.days * 86400000 + 45296789; // 12:34:56.789
        EXPECT_EQ(sim::MsFromCivil(d.year, d.month, d.day, 12, 34, 56, 789), ms);
        if (ms < 0)
            continue; // the clock never runs before 1970
        sim::CivilTime t = sim::CivilFromMs((uint64_t)ms);
        EXPECT_EQ(t.year, d.year);
        EXPECT_EQ(t.month, d.month);
        EXPECT_EQ(t.day, d.day);
        EXPECT_EQ(t.dayOfWeek, d.dayOfWeek);
        EXPECT_EQ(t.hour, 12u);
        EXPECT_EQ(t.minute, 34u);
        EXPECT_EQ(t.second, 56u);
        EXPECT_EQ(t.millisecond, 789u);
    }
}

} // namespace
