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
// before crashed, crashed before on.
std::vector<Day> DaysOf(const std::vector<Run>& runs, const PowerOffSchedule& schedule, LocalDay first, LocalDay last,
                        LocalMinute now);

}  // namespace report
