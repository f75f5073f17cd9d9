// SPDX-License-Identifier: Apache-2.0
// The model's own rules: the power-off a run answers for, and the names of
// its endings.
#include "report/core/model.h"

namespace report {

LocalMinute FirstScheduledAfter(int scheduledMinute, LocalMinute start)
{
    using namespace std::chrono;
    LocalMinute first = floor<days>(start) + minutes{scheduledMinute};
    return first <= start ? first + days{1} : first;
}

PowerOffAnswer AnswerPowerOff(int scheduledMinute, const Moment& start, const Moment& end, RunEnd ended,
                              LocalZone& zone)
{
    using namespace std::chrono;
    PowerOffAnswer answer;
    int endMinute = static_cast<int>((end.Local - floor<days>(end.Local)).count());
    answer.OnSchedule =
        ended == RunEnd::Down && (endMinute == scheduledMinute || endMinute == (scheduledMinute + 1) % 1440);
    LocalMinute first = FirstScheduledAfter(scheduledMinute, start.Local);
    int64_t firstInstant = zone.InstantOf(first);
    if (end.Instant - firstInstant < 2)
        return answer;
    answer.MinutesPast = end.Instant - firstInstant;
    // A scheduled moment a day apart in local time: a day apart in time but
    // across a change of the clocks, where the last one counted is checked.
    int64_t missed = (end.Instant - firstInstant - 2) / 1440 + 1;
    while (missed > 1 && end.Instant - zone.InstantOf(first + days{missed - 1}) < 2)
        missed--;
    while (end.Instant - zone.InstantOf(first + days{missed}) >= 2)
        missed++;
    answer.Missed = missed;
    return answer;
}

std::string_view LastPowerOffName(LastPowerOff answer)
{
    switch (answer) {
    case LastPowerOff::None: return "none";
    case LastPowerOff::OnSchedule: return "on-schedule";
    case LastPowerOff::Missed: return "missed";
    case LastPowerOff::Off: return "off";
    }
    return "none";
}

// The warning for a switch that misses an ending brings a new ending here,
// and the tables sized by RunEndCount with it.
static_assert(static_cast<int>(RunEnd::Running) + 1 == RunEndCount, "RunEnd::Running is the last ending");

std::optional<std::string_view> StateName(const Summary& totals)
{
    if (!totals.NewestEnded)
        return std::nullopt;
    return *totals.NewestEnded == RunEnd::Running ? "up" : "down";
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
