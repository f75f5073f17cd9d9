// SPDX-License-Identifier: Apache-2.0
// The days of the runs, as the picture and the fleet's page show them.
#include "report/core/days.h"

#include <algorithm>

namespace report {

using namespace std::chrono;

std::vector<LocalDay> MissedDays(const Run& run, int scheduledMinute, LocalDay first, LocalDay last)
{
    // The first scheduled moment missed, and one a day after it.
    LocalDay firstMissed = floor<days>(FirstScheduledAfter(scheduledMinute, run.Start.Local));
    int64_t from = std::max<int64_t>(0, (first - firstMissed).count());
    int64_t to = std::min<int64_t>(run.Missed, (last - firstMissed).count() + 1);
    std::vector<LocalDay> missed;
    for (int64_t k = from; k < to; k++)
        missed.push_back(firstMissed + days{k});
    return missed;
}

std::optional<LocalDay> FirstDayLogged(const std::vector<Run>& runs, std::optional<LocalMinute> firstLogged)
{
    if (!runs.empty() && (!firstLogged || runs.front().Start.Local < *firstLogged))
        firstLogged = runs.front().Start.Local;
    if (!firstLogged)
        return std::nullopt;
    return floor<days>(*firstLogged);
}

std::vector<Day> DaysOf(const std::vector<Run>& runs, const PowerOffSchedule& schedule, LocalDay first, LocalDay last,
                        LocalMinute now, std::optional<LocalMinute> firstLogged)
{
    std::vector<Day> result;
    for (LocalDay date = first; date <= last; date += days{1})
        result.push_back({date, DayState::OffAllDay, 0});
    std::vector<bool> on(result.size());
    std::vector<bool> crashed(result.size());
    std::vector<bool> missed(result.size());
    // The days whose scheduled moment a run not judged was up at, or that is
    // before the schedule held: neither missed nor off on schedule.
    std::vector<bool> unjudged(result.size());
    auto index = [first](LocalDay date) { return static_cast<size_t>((date - first).count()); };
    const LocalMinute begin = first;
    const LocalMinute end = last + days{1};
    for (const Run& run : runs) {
        // On every day it covers, and on the day of a run of no minutes.
        if (run.Start.Local < end && (run.End.Local > begin || run.Start.Local >= begin)) {
            LocalMinute from = std::max(run.Start.Local, begin);
            LocalMinute to = std::max(from, std::min(run.End.Local, end));
            for (LocalDay date = floor<days>(from);; date += days{1}) {
                on[index(date)] = true;
                result[index(date)].MinutesOn +=
                    (std::min(to, LocalMinute{date + days{1}}) - std::max(from, LocalMinute{date})).count();
                // A run that ends at midnight is not on the next day.
                if (date + days{1} >= to)
                    break;
            }
        }
        LocalDay endDay = floor<days>(run.End.Local);
        if (run.Ended == RunEnd::Crash && endDay >= first && endDay <= last)
            crashed[index(endDay)] = true;
        if (schedule.Minute)
            for (LocalDay day : MissedDays(run, *schedule.Minute, first, last))
                missed[index(day)] = true;
        if (schedule.Minute && !run.Judged)
            for (LocalMinute at = FirstScheduledAfter(*schedule.Minute, run.Start.Local - minutes{1});
                 at <= run.End.Local && at < end; at += days{1})
                if (at >= begin)
                    unjudged[index(floor<days>(at))] = true;
    }
    std::optional<LocalDay> logged = FirstDayLogged(runs, firstLogged);
    const LocalDay today = floor<days>(now);
    for (size_t i = 0; i < result.size(); i++) {
        bool passed =
            schedule.Minute && result[i].Date + minutes{*schedule.Minute + 2} <= now && !unjudged[i] &&
            (!schedule.JudgedFrom || result[i].Date + minutes{*schedule.Minute} >= schedule.JudgedFrom->Local);
        if (!logged || result[i].Date < *logged || result[i].Date > today)
            result[i].State = DayState::NoData;
        else if (missed[i])
            result[i].State = DayState::Missed;
        else if (crashed[i])
            result[i].State = DayState::Crashed;
        else if (on[i])
            result[i].State = passed ? DayState::OffOnSchedule : DayState::On;
    }
    return result;
}

}  // namespace report
