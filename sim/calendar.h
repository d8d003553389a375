// The proleptic Gregorian calendar in UTC milliseconds since 1970-01-01: the simulated clock,
// the scenario clock and the reliability tools read and write times through these alone.
#pragma once

#include <cstdint>

namespace sim {

struct CivilTime {
    int64_t year;
    unsigned month, day, hour, minute, second, millisecond;
    unsigned dayOfWeek; // 0 Sunday
};

// The calendar fields of ms milliseconds since 1970-01-01 00:00:00.000 UTC.
CivilTime CivilFromMs(uint64_t ms);

// Milliseconds since 1970-01-01 of a calendar time (month 1 to 12); negative before 1970.
int64_t MsFromCivil(int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second, unsigned millisecond);

} // namespace sim
