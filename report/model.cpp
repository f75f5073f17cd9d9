// SPDX-License-Identifier: Apache-2.0
// The names of the model's words, as every output spells them.
#include "report/model.h"

#include <algorithm>

namespace report {

PowerOffAnswer AnswerPowerOff(int scheduledMinute, LocalMinute start, LocalMinute end, RunEnd ended)
{
    using namespace std::chrono;
    PowerOffAnswer answer;
    int endMinute = static_cast<int>((end - floor<days>(end)).count());
    answer.OnSchedule =
        ended == RunEnd::Down && (endMinute == scheduledMinute || endMinute == (scheduledMinute + 1) % 1440);
    // The first scheduled moment after the start.
    LocalMinute first = floor<days>(start) + minutes{scheduledMinute};
    if (first <= start)
        first += days{1};
    if (end - first >= minutes{2}) {
        answer.Missed = (end - first - minutes{2}) / days{1} + 1;
        answer.MinutesPast = (end - first).count();
    }
    return answer;
}

std::vector<Day> DaysOf(const std::vector<Run>& runs, const PowerOffSchedule& schedule, LocalDay first, LocalDay last,
                        LocalMinute now)
{
    using namespace std::chrono;
    std::vector<Day> result;
    for (LocalDay date = first; date <= last; date += days{1})
        result.push_back({date, DayState::OffAllDay, 0});
    std::vector<bool> on(result.size());
    std::vector<bool> crashed(result.size());
    std::vector<bool> missed(result.size());
    // The index of the day of a moment, or none outside the days.
    auto index = [&](LocalMinute moment) -> std::optional<size_t> {
        LocalDay date = floor<days>(moment);
        if (date < first || date > last)
            return std::nullopt;
        return static_cast<size_t>((date - first).count());
    };
    const LocalMinute begin = first;
    const LocalMinute end = last + days{1};
    for (const Run& run : runs) {
        // On every day it covers, and on the day of a run of no minutes.
        if (run.Start < end && (run.End > begin || run.Start >= begin)) {
            LocalMinute from = std::max(run.Start, begin);
            LocalMinute to = std::min(run.End, end);
            for (LocalDay date = floor<days>(from);; date += days{1}) {
                size_t i = static_cast<size_t>((date - first).count());
                on[i] = true;
                LocalMinute dayEnd = date + days{1};
                result[i].MinutesOn += (std::min(to, dayEnd) - std::max(from, LocalMinute{date})).count();
                if (date + days{1} >= to)
                    break;
            }
        }
        if (run.Ended == RunEnd::Crash)
            if (std::optional<size_t> i = index(run.End))
                crashed[*i] = true;
        LocalMinute moment = run.End - minutes{run.MinutesPastSchedule};
        for (int64_t k = 0; k < run.Missed; k++, moment += days{1})
            if (std::optional<size_t> i = index(moment))
                missed[*i] = true;
    }
    for (size_t i = 0; i < result.size(); i++) {
        bool passed = schedule.Minute && result[i].Date + minutes{*schedule.Minute + 2} <= now;
        if (missed[i])
            result[i].State = DayState::Missed;
        else if (crashed[i])
            result[i].State = DayState::Crashed;
        else if (on[i])
            result[i].State = passed ? DayState::OffOnSchedule : DayState::On;
    }
    return result;
}

std::string_view EndName(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Down: return "down";
    case RunEnd::Pdown: return "pdown";
    case RunEnd::Crash: return "crash";
    case RunEnd::Unknown: return "unknown";
    case RunEnd::Running: return "running";
    }
    return "unknown";
}

}  // namespace report
