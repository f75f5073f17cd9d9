// SPDX-License-Identifier: Apache-2.0
// Moments: local civil times with minute precision, as the log has them. The
// moments of records, their text forms, which every output shares, and their
// Unix time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/model.h"

namespace report {

// The local clock, to the minute.
LocalMinute LocalNow();

// The moment of a record of the given day of the month and minute of the
// day in that year and month; none when the month has no such day.
std::optional<LocalMinute> MomentIn(int year, int month, int day, int minute);

// One month's calendar, worked out once for all the records of its log.
class MonthCalendar {
public:
    MonthCalendar() = default;
    MonthCalendar(int year, int month);
    // As MomentIn for this month.
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

// "2026-12-09T17:40", as JSON and CSV print moments.
std::string FormatMoment(LocalMinute moment);
// "2026-12-09 17:40", as the text and the table print them.
std::string FormatMomentForPeople(LocalMinute moment);
// "2026-12-09".
std::string FormatDay(LocalDay day);
// "22:30", a minute of the day.
std::string FormatTimeOfDay(int minute);
// "3d 4h 12m", "4h 0m", "12m".
std::string FormatDuration(int64_t minutes);
// A share as "97.30%", two decimals: never "100.00%" for less than all, nor
// "0.00%" for more than none.
std::string FormatPercent(double share);

// "YYYY-MM-DDTHH:MM", a valid date and time; none otherwise.
std::optional<LocalMinute> ParseMoment(std::string_view text);
// "YYYY-MM-DD", a valid date; none otherwise.
std::optional<LocalDay> ParseDay(std::string_view text);

// A local civil time as Unix time, read in the machine's time zone; none when
// the system cannot convert it.
std::optional<int64_t> UnixSeconds(LocalMinute moment);

}  // namespace report
