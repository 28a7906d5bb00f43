#include "platform/FileTime.h"

#include <ctime>

TFileTimeService::~TFileTimeService() = default;

bool TFileTimeService::ToLocalTime(const TFileTime& utc, TLocalTime& local) const {
    const std::time_t t = static_cast<std::time_t>(utc.Seconds);
    if (static_cast<std::int64_t>(t) != utc.Seconds) {
        return false;
    }
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return false;
    }
    local.Year = tm.tm_year + 1900;
    local.Month = tm.tm_mon + 1;
    local.Day = tm.tm_mday;
    local.Hour = tm.tm_hour;
    local.Minute = tm.tm_min;
    local.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec; // a leap second stays in its minute
    return true;
}

const TFileTimeService& SystemFileTime() {
    static const TFileTimeService service;
    return service;
}

bool LocalTimeToDosDateTime(const TLocalTime& local, TDosDateTime& dos) {
    if (local.Year < 1980 || local.Year > 2107 || local.Month < 1 || local.Month > 12 ||
        local.Day < 1 || local.Day > 31 || local.Hour < 0 || local.Hour > 23 || local.Minute < 0 ||
        local.Minute > 59 || local.Second < 0 || local.Second > 59) {
        return false;
    }
    dos.Date =
        static_cast<std::uint16_t>(((local.Year - 1980) << 9) | (local.Month << 5) | local.Day);
    dos.Time =
        static_cast<std::uint16_t>((local.Hour << 11) | (local.Minute << 5) | (local.Second / 2));
    return true;
}

std::int64_t DaysSince18991230(int year, int month, int day) {
    // Days from civil (H. Hinnant's algorithm), shifted from 1970-01-01 to 1899-12-30.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t daysSince1970 = era * 146097 + doe - 719468;
    return daysSince1970 + 25569;
}

double DosDateTimeToDateTime(const TDosDateTime& dos) {
    TLocalTime local;
    local.Year = 1980 + (dos.Date >> 9);
    local.Month = (dos.Date >> 5) & 0x0F;
    local.Day = dos.Date & 0x1F;
    local.Hour = dos.Time >> 11;
    local.Minute = (dos.Time >> 5) & 0x3F;
    local.Second = (dos.Time & 0x1F) * 2;
    return LocalTimeToDateTime(local);
}

double LocalTimeToDateTime(const TLocalTime& local) {
    const double days = static_cast<double>(DaysSince18991230(local.Year, local.Month, local.Day));
    const int seconds = local.Hour * 3600 + local.Minute * 60 + (local.Second / 2) * 2;
    const double fraction = seconds / 86400.0;
    // Before the epoch day the fraction still counts forward in time of day, as
    // the date-time format has it (-1.25 is 29 December 1899, 06:00).
    return days >= 0 ? days + fraction : days - fraction;
}
