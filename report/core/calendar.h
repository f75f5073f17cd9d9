// SPDX-License-Identifier: Apache-2.0
// The calendar of the logs: local civil times to the minute, as the log has
// them, the instants they name in the machine's time zone, a month's days,
// the month a closing line falls in, and Unix time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace report {

// A local civil time with minute precision: the log has no time zone.
using LocalMinute = std::chrono::local_time<std::chrono::minutes>;
using LocalDay = std::chrono::local_days;

// A moment of a run: its local civil time, as the log and every output show
// it, and the instant it names, in minutes since 1970-01-01 00:00 UTC, from
// which durations are taken: across a change of the clocks they are the time
// that passed.
struct Moment {
    LocalMinute Local{};
    int64_t Instant = 0;
};

// The machine's time zone as the system has it (TZ where it is set), read
// once a day for the days the clocks do not change.
class LocalZone {
public:
    // The instant a local time names, in Unix minutes. Where the clocks went
    // back and the local time came twice, the first, or the second when asked
    // for; in the hour skipped when they went forward, as if they had not yet.
    int64_t InstantOf(LocalMinute local, bool second = false)
    {
        if (local >= First && local < Last && OffsetBefore == OffsetAfter)
            return static_cast<int64_t>(local.time_since_epoch().count()) - OffsetBefore;
        return InstantNear(local, second);
    }
    Moment MomentOf(LocalMinute local, bool second = false) { return {local, InstantOf(local, second)}; }
    // Whether the local time came twice, the clocks going back past it.
    bool IsRepeated(LocalMinute local);
    // The local time of an instant given in Unix seconds, to the minute.
    static LocalMinute LocalOf(int64_t seconds);

private:
    int64_t InstantNear(LocalMinute local, bool second);

    // The days last asked about, from First to before Last: a month the
    // clocks do not change in, or else a day. Offsets from UTC, in minutes:
    // the day's before and after, which are one where the clocks do not
    // change.
    LocalMinute First = LocalMinute::max();
    LocalMinute Last = LocalMinute::min();
    int64_t OffsetBefore = 0;
    int64_t OffsetAfter = 0;
};

// One month's calendar, worked out once for all the records of its log.
class MonthCalendar {
public:
    MonthCalendar() = default;
    MonthCalendar(int year, int month);
    // The local minute of a record of the given day of the month and minute of
    // the day; none when the month has no such day.
    std::optional<LocalMinute> LocalMinuteOf(int day, int minute) const
    {
        if (day < 1 || day > Days)
            return std::nullopt;
        return LocalMinute{First + std::chrono::days{day - 1}} + std::chrono::minutes{minute};
    }
    // How many days the month has, 28 to 31.
    int DayCount() const { return Days; }

private:
    LocalDay First{};
    int Days = 0;
};

// A day of the month and a minute of the day as one number, day * 1440 +
// minute: how a closing line is matched with a local time.
constexpr int64_t DayMinuteKey(int day, int64_t minute)
{
    return int64_t{day} * 1440 + minute;
}
int64_t DayMinuteKey(LocalMinute moment);

// The minute of the day of a local time, 0 to 1439.
inline int MinuteOfDay(LocalMinute moment)
{
    return static_cast<int>((moment - std::chrono::floor<std::chrono::days>(moment)).count());
}

// The earliest moment at or after start with that day of the month and that
// minute of the day: in start's month when it can, otherwise in the next
// month that has that day.
LocalMinute ClosingMoment(LocalMinute start, int day, int minute);

}  // namespace report
