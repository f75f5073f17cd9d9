// SPDX-License-Identifier: Apache-2.0
// The text forms of moments, durations, shares and counts, and the forms the
// command line takes.
#include "report/core/text-forms.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace report {

using namespace std::chrono;

namespace {

std::string Format(LocalMinute moment, char separator)
{
    local_days day = floor<days>(moment);
    year_month_day date{day};
    long minute = static_cast<long>((moment - day).count());
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02ld:%02ld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), separator, minute / 60,
                  minute % 60);
    return text;
}

// The number of exactly count decimal digits at text[at]; none when they are not.
std::optional<unsigned> Digits(std::string_view text, size_t at, size_t count)
{
    if (at + count > text.size() || count == 0)
        return std::nullopt;
    unsigned value = 0;
    const char* first = text.data() + at;
    const char* last = first + count;
    std::from_chars_result read = std::from_chars(first, last, value);
    if (read.ec != std::errc() || read.ptr != last)
        return std::nullopt;
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

std::string FormatMonth(LocalDay day)
{
    return FormatMoment(day).substr(0, 7);
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

std::string FormatCount(int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* WeekdayName(LocalDay day)
{
    static const char* const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return names[weekday{day}.c_encoding()];
}

const char* MonthName(unsigned month)
{
    static const char* const names[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
    return month >= 1 && month <= 12 ? names[month - 1] : "";
}

std::optional<LocalDay> ParseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    std::optional<unsigned> y = Digits(text, 0, 4);
    std::optional<unsigned> m = Digits(text, 5, 2);
    std::optional<unsigned> d = Digits(text, 8, 2);
    if (!y || !m || !d || *y < 1)
        return std::nullopt;
    year_month_day date{year{static_cast<int>(*y)}, month{*m}, day{*d}};
    if (!date.ok())
        return std::nullopt;
    return local_days{date};
}

std::optional<LocalMinute> ParseMoment(std::string_view text)
{
    if (text.size() != 16 || text[10] != 'T' || text[13] != ':')
        return std::nullopt;
    std::optional<LocalDay> day = ParseDay(text.substr(0, 10));
    std::optional<unsigned> hour = Digits(text, 11, 2);
    std::optional<unsigned> minute = Digits(text, 14, 2);
    if (!day || !hour || !minute || *hour > 23 || *minute > 59)
        return std::nullopt;
    return *day + hours{*hour} + minutes{*minute};
}

std::optional<int> ParseTimeOfDay(std::string_view text)
{
    size_t colon = text.find(':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    std::optional<unsigned> hour = Digits(text, 0, colon);
    std::optional<unsigned> minute = Digits(text, colon + 1, 2);
    if (!hour || !minute || *hour > 23 || *minute > 59)
        return std::nullopt;
    return static_cast<int>(*hour * 60 + *minute);
}

}  // namespace report
