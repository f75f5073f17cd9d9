// SPDX-License-Identifier: Apache-2.0
// The model's own rules: the power-off a run answers for, and the names of
// its endings.
#include "report/core/model.h"

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

// The warning for a switch that misses an ending brings a new ending here,
// and the tables sized by RunEndCount with it.
static_assert(static_cast<int>(RunEnd::Running) + 1 == RunEndCount, "RunEnd::Running is the last ending");

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
