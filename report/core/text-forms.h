// SPDX-License-Identifier: Apache-2.0
// The text forms of the model's values, which every output shares, and the
// forms the command line takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/core/calendar.h"

namespace report {

// "2026-12-09T17:40", as JSON and CSV print moments.
std::string FormatMoment(LocalMinute moment);
// "2026-12-09 17:40", as the text and the table print them.
std::string FormatMomentForPeople(LocalMinute moment);
// A moment's text is its local time, as the log has it.
inline std::string FormatMoment(const Moment& moment)
{
    return FormatMoment(moment.Local);
}
inline std::string FormatMomentForPeople(const Moment& moment)
{
    return FormatMomentForPeople(moment.Local);
}
// "2026-12-09".
std::string FormatDay(LocalDay day);
// "2026-12".
std::string FormatMonth(LocalDay day);
// "22:30", a minute of the day.
std::string FormatTimeOfDay(int minute);
// "3d 4h 12m", "4h 0m", "12m".
std::string FormatDuration(int64_t minutes);
// A share as "97.30%", two decimals: never "100.00%" for less than all, nor
// "0.00%" for more than none.
std::string FormatPercent(double share);
// "1 crash", "2 crashes".
std::string FormatCount(int64_t count, const char* one, const char* many);
// "Sun" to "Sat".
const char* WeekdayName(LocalDay day);
// "January" to "December", for a month 1 to 12.
const char* MonthName(unsigned month);

// "YYYY-MM-DDTHH:MM", a valid date and time; none otherwise.
std::optional<LocalMinute> ParseMoment(std::string_view text);
// "YYYY-MM-DD", a valid date; none otherwise.
std::optional<LocalDay> ParseDay(std::string_view text);
// "H:MM" or "HH:MM" on a 24-hour clock: the minute of the day; none otherwise.
std::optional<int> ParseTimeOfDay(std::string_view text);

}  // namespace report
