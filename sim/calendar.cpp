#include "sim/calendar.h"

namespace sim {

// Days since 1970-01-01 and back, after Howard Hinnant's days_from_civil and civil_from_days:
// years are counted from March, so the leap day ends a 400-year era.
static int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    unsigned yoe = (unsigned)(year - era * 400);
    unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

static void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned doe = (unsigned)(days - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = (int64_t)yoe + era * 400 + (*month <= 2);
}

CivilTime CivilFromMs(uint64_t ms) {
    int64_t days = (int64_t)(ms / 86400000);
    uint64_t inDay = ms % 86400000;
    CivilTime t;
    CivilFromDays(days, &t.year, &t.month, &t.day);
    t.dayOfWeek = (unsigned)((days + 4) % 7);
    t.hour = (unsigned)(inDay / 3600000);
    t.minute = (unsigned)(inDay / 60000 % 60);
    t.second = (unsigned)(inDay / 1000 % 60);
    t.millisecond = (unsigned)(inDay % 1000);
    return t;
}

int64_t MsFromCivil(int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second, unsigned millisecond) {
    int64_t days = DaysFromCivil(year, month, day);
    return (((days * 24 + hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
}

} // namespace sim
