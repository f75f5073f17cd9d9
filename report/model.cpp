// SPDX-License-Identifier: Apache-2.0
// The names of the model's words, as every output spells them.
#include "report/model.h"

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
