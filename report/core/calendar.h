// SPDX-License-Identifier: Apache-2.0
// The calendar of the logs: local civil times to the minute, as the log has
// them, a month's days, the month a closing line falls in, and Unix time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace report {

// A local civil time with minute precision: the log has no time zone.
using LocalMinute = std::chrono::local_time<std::chrono::minutes>;
using LocalDay = std::chrono::local_days;

// The local clock, to the minute.
LocalMinute LocalNow();

// One month's calendar, worked out once for all the records of its log.
class MonthCalendar {
public:
    MonthCalendar() = default;
    MonthCalendar(int year, int month);
    // The moment of a record of the given day of the month and minute of the
    // day; none when the month has no such day.
    std::optional<LocalMinute> MomentOf(int day, int minute) const
    {
        if (day < 1 || day > Days)
            return std::nullopt;
        return LocalMinute{First + std::chrono::days{day - 1}} + std::chrono::minutes{minute};
    }

private:
    LocalDay First{};
    int Days = 0;
};

// The earliest moment at or after start with that day of the month and that
// minute of the day: in start's month when it can, otherwise in the next
// month that has that day.
LocalMinute ClosingMoment(LocalMinute start, int day, int minute);

// A local civil time as Unix time, read in the machine's time zone; none when
// the system cannot convert it.
std::optional<int64_t> UnixSeconds(LocalMinute moment);

}  // namespace report
