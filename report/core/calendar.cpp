// SPDX-License-Identifier: Apache-2.0
// The calendar of the logs: months, closing moments, Unix time and now.
#include "report/core/calendar.h"

#include <algorithm>
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

int64_t DayMinuteKey(LocalMinute moment)
{
    return DayMinuteKey(static_cast<int>(static_cast<unsigned>(year_month_day{floor<days>(moment)}.day())),
                        MinuteOfDay(moment));
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

// A local civil time as seconds since 1970-01-01 00:00 of the local calendar.
int64_t CivilSeconds(LocalMinute local)
{
    return static_cast<int64_t>(local.time_since_epoch().count()) * 60;
}

// How far the local clock is ahead of UTC at an instant, in seconds. The
// reentrant forms: std::localtime looks at the zone's file on every call.
int64_t OffsetAt(int64_t instant)
{
    std::time_t time = static_cast<std::time_t>(instant);
    std::tm local{};
#if defined(_WIN32)
    if (localtime_s(&local, &time) != 0)
        return 0;
#else
    if (localtime_r(&time, &local) == nullptr)
        return 0;
#endif
    local_days day{year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                   std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
    int64_t civil = static_cast<int64_t>(day.time_since_epoch().count()) * 86400 + local.tm_hour * 3600 +
                    local.tm_min * 60 + local.tm_sec;
    return civil - instant;
}

constexpr int64_t SecondsPerDay = 86400;

}  // namespace

int64_t LocalZone::InstantNear(LocalMinute local, bool second)
{
    LocalDay day = floor<days>(local);
    if (local < First || local >= Last) {
        // Offsets are within a day of UTC: a day before the days begin and a
        // day after they end, whatever the zone. A month without a change of
        // the clocks is one offset; a month with one is read a day at a time.
        year_month_day date{day};
        First = local_days{date.year() / date.month() / 1};
        Last = local_days{(date.year() / date.month() + months{1}) / 1};
        OffsetBefore = OffsetAt(CivilSeconds(First) - SecondsPerDay) / 60;
        OffsetAfter = OffsetAt(CivilSeconds(Last) + SecondsPerDay) / 60;
        if (OffsetBefore != OffsetAfter) {
            First = day;
            Last = day + days{1};
            OffsetBefore = OffsetAt(CivilSeconds(First) - SecondsPerDay) / 60;
            OffsetAfter = OffsetAt(CivilSeconds(Last) + SecondsPerDay) / 60;
        }
        if (OffsetBefore == OffsetAfter)
            return CivilSeconds(local) / 60 - OffsetBefore;
    }
    int64_t civil = CivilSeconds(local) / 60;
    // Near a change of the clocks: the instants the local time may name.
    int64_t early = civil - std::max(OffsetBefore, OffsetAfter);
    int64_t late = civil - std::min(OffsetBefore, OffsetAfter);
    bool earlyNames = early + OffsetAt(early * 60) / 60 == civil;
    bool lateNames = late + OffsetAt(late * 60) / 60 == civil;
    if (earlyNames && lateNames)
        return second ? late : early;
    if (earlyNames)
        return early;
    if (lateNames)
        return late;
    return civil - OffsetBefore;
}

bool LocalZone::IsRepeated(LocalMinute local)
{
    return InstantOf(local, true) != InstantOf(local, false);
}

LocalMinute LocalZone::LocalOf(int64_t seconds)
{
    return floor<minutes>(local_seconds{std::chrono::seconds{seconds + OffsetAt(seconds)}});
}

}  // namespace report
