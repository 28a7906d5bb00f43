#pragma once
// File times as the scanner reports them: last-write time converted to local
// time and to a DOS date and time (two-second steps, years 1980 to 2107), and
// the program's date-time value (days since 30 December 1899, time of day as
// the fraction).

#include <cstdint>

struct TFileTime {
    std::int64_t Seconds = 0; // since 1970-01-01 00:00:00 UTC
    std::int32_t Nanoseconds = 0;
};

struct TDosDateTime {
    std::uint16_t Date = 0; // bits 9-15 year - 1980, 5-8 month, 0-4 day
    std::uint16_t Time = 0; // bits 11-15 hour, 5-10 minute, 0-4 seconds / 2
};

// Local broken-down time of a file time, second resolution.
struct TLocalTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// The conversions the scan needs, behind an interface so tests can give fixed answers.
class TFileTimeService {
public:
    virtual ~TFileTimeService();
    // UTC to local time; false when the platform can't convert the time.
    virtual bool ToLocalTime(const TFileTime& utc, TLocalTime& local) const;
};

// The service of the running system (localtime_r).
const TFileTimeService& SystemFileTime();

// Local time to DOS date and time; false outside 1980-01-01 to 2107-12-31.
bool LocalTimeToDosDateTime(const TLocalTime& local, TDosDateTime& dos);

// The date-time value of a DOS date and time.
double DosDateTimeToDateTime(const TDosDateTime& dos);

// The date-time value of a local time, seconds rounded down to even as in a
// DOS time; any year (days before 30 December 1899 are negative).
double LocalTimeToDateTime(const TLocalTime& local);

// Days from 30 December 1899 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysSince18991230(int year, int month, int day);
