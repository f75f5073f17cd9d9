// SPDX-License-Identifier: Apache-2.0
// The days of the runs: which days' scheduled moments a run stayed on
// through, and what each day of a period saw of a machine.
#pragma once

#include <vector>

#include "report/core/model.h"

namespace report {

// The days from first to last whose scheduled moment, at scheduledMinute, the
// run stayed on through, oldest first.
std::vector<LocalDay> MissedDays(const Run& run, int scheduledMinute, LocalDay first, LocalDay last);

// The days from first to last with what each one saw of the runs: missed
// before crashed, crashed before on. The logs tell nothing of the days
// before firstLogged's, or before the first run's when that is earlier, nor
// of those after now's: they are no data, and every day is without
// firstLogged or a run. A day whose scheduled moment is before the
// schedule's JudgedFrom, or that a run not judged was up at, is on, never
// off on schedule.
std::vector<Day> DaysOf(const std::vector<Run>& runs, const PowerOffSchedule& schedule, LocalDay first, LocalDay last,
                        LocalMinute now, std::optional<LocalMinute> firstLogged);

// The first day the logs tell of: firstLogged's, or the first run's when
// that is earlier; none without either.
std::optional<LocalDay> FirstDayLogged(const std::vector<Run>& runs, std::optional<LocalMinute> firstLogged);

}  // namespace report
