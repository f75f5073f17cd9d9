// SPDX-License-Identifier: Apache-2.0
// Moments: the calendar of records, the text forms of local times and their
// Unix time.
#include "report/moments.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace report {

using namespace std::chrono;

std::optional<LocalMinute> MomentIn(int year, int month, int day, int minute)
{
    year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                        std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return std::nullopt;
    return local_days{date} + minutes{minute};
}

MonthCalendar::MonthCalendar(int year, int month)
{
    year_month first{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)}};
    if (!first.ok())
        return;
    First = local_days{first / 1};
    Days = static_cast<int>((local_days{(first + months{1}) / 1} - First).count());
}

LocalMinute ClosingMoment(LocalMinute start, int day, int minute)
{
    year_month_day startDate{floor<days>(start)};
    year_month month = startDate.year() / startDate.month();
    // Every day of the month, 1 to 31, is in one of the next three months.
    for (int i = 0; i < 4; i++, month += months{1}) {
        year_month_day date = month / std::chrono::day{static_cast<unsigned>(day)};
        if (!date.ok())
            continue;
        LocalMinute moment = local_days{date} + minutes{minute};
        if (moment >= start)
            return moment;
    }
    return start;
}

namespace {

struct Parts {
    int Year;
    unsigned Month;
    unsigned Day;
    long Hour;
    long Minute;
};

Parts Split(LocalMinute moment)
{
    local_days day = floor<days>(moment);
    year_month_day date{day};
    minutes time = moment - day;
    return {static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
            static_cast<long>(time.count() / 60), static_cast<long>(time.count() % 60)};
}

std::string Format(LocalMinute moment, char separator)
{
    Parts parts = Split(moment);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02ld:%02ld", parts.Year, parts.Month, parts.Day, separator,
                  parts.Hour, parts.Minute);
    return text;
}

// The number of exactly count decimal digits at text[at]; -1 when they are not.
long Digits(std::string_view text, size_t at, size_t count)
{
    long value = 0;
    for (size_t i = at; i < at + count; i++) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string FormatMoment(LocalMinute moment)
{
    return Format(moment, 'T');
}

std::string FormatMomentForPeople(LocalMinute moment)
{
    return Format(moment, ' ');
}

std::string FormatDay(LocalDay day)
{
    return FormatMoment(day).substr(0, 10);
}

std::string FormatTimeOfDay(int minute)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minute / 60, minute % 60);
    return text;
}

std::string FormatDuration(int64_t minutes)
{
    int64_t days = minutes / 1440;
    int64_t hours = minutes % 1440 / 60;
    char text[64];
    if (days > 0)
        std::snprintf(text, sizeof text, "%lldd %lldh %lldm", static_cast<long long>(days),
                      static_cast<long long>(hours), static_cast<long long>(minutes % 60));
    else if (hours > 0)
        std::snprintf(text, sizeof text, "%lldh %lldm", static_cast<long long>(hours),
                      static_cast<long long>(minutes % 60));
    else
        std::snprintf(text, sizeof text, "%lldm", static_cast<long long>(minutes));
    return text;
}

std::string FormatPercent(double share)
{
    double percent = share * 100;
    if (share < 1)
        percent = std::min(percent, 99.99);
    if (share > 0)
        percent = std::max(percent, 0.01);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", percent);
    return text;
}

std::optional<LocalDay> ParseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    long year = Digits(text, 0, 4);
    long month = Digits(text, 5, 2);
    long day = Digits(text, 8, 2);
    if (year < 1 || month < 0 || day < 0)
        return std::nullopt;
    year_month_day date{std::chrono::year{static_cast<int>(year)}, std::chrono::month{static_cast<unsigned>(month)},
                        std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return std::nullopt;
    return local_days{date};
}

std::optional<LocalMinute> ParseMoment(std::string_view text)
{
    if (text.size() != 16 || text[10] != 'T' || text[13] != ':')
        return std::nullopt;
    std::optional<LocalDay> day = ParseDay(text.substr(0, 10));
    long hour = Digits(text, 11, 2);
    long minute = Digits(text, 14, 2);
    if (!day || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return std::nullopt;
    return *day + hours{hour} + minutes{minute};
}

std::optional<int64_t> UnixSeconds(LocalMinute moment)
{
    Parts parts = Split(moment);
    std::tm civil{};
    civil.tm_year = parts.Year - 1900;
    civil.tm_mon = static_cast<int>(parts.Month) - 1;
    civil.tm_mday = static_cast<int>(parts.Day);
    civil.tm_hour = static_cast<int>(parts.Hour);
    civil.tm_min = static_cast<int>(parts.Minute);
    civil.tm_isdst = -1;  // the zone's rules decide whether summer time applies
    std::time_t seconds = std::mktime(&civil);
    if (seconds == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<int64_t>(seconds);
}

LocalMinute LocalNow()
{
    std::time_t now = std::time(nullptr);
    std::tm* local = std::localtime(&now);
    if (local == nullptr)
        return {};
    using namespace std::chrono;
    year_month_day date{year{local->tm_year + 1900}, month{static_cast<unsigned>(local->tm_mon + 1)},
                        day{static_cast<unsigned>(local->tm_mday)}};
    return local_days{date} + hours{local->tm_hour} + minutes{local->tm_min};
}

}  // namespace report
