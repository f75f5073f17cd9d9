// SPDX-License-Identifier: Apache-2.0
// The calendar of the logs: months, closing moments, Unix time and now.
#include "report/core/calendar.h"

#include <ctime>

namespace report {

using namespace std::chrono;

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

std::optional<int64_t> UnixSeconds(LocalMinute moment)
{
    local_days day = floor<days>(moment);
    year_month_day date{day};
    int64_t minute = (moment - day).count();
    std::tm civil{};
    civil.tm_year = static_cast<int>(date.year()) - 1900;
    civil.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    civil.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    civil.tm_hour = static_cast<int>(minute / 60);
    civil.tm_min = static_cast<int>(minute % 60);
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
    year_month_day date{year{local->tm_year + 1900}, month{static_cast<unsigned>(local->tm_mon + 1)},
                        day{static_cast<unsigned>(local->tm_mday)}};
    return local_days{date} + hours{local->tm_hour} + minutes{local->tm_min};
}

}  // namespace report
