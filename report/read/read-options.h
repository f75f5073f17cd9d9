// SPDX-License-Identifier: Apache-2.0
// What the program asks of the reading of a machine's folder, and the bounds
// the reading keeps whatever it is asked.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "report/core/model.h"

namespace report {

// What the program asks of the reading of a folder.
struct ReadOptions {
    Selection Selected;
    PowerOffSchedule Schedule;
    // The newest run is running rather than crashed when its last sign of life
    // is no more than RunningWithin minutes before this.
    LocalMinute Now{};
    // Now's instant in Unix minutes, when the clock gave it: in the hour that
    // comes twice when the clocks go back, the local time alone is not enough.
    std::optional<int64_t> NowInstant;
    int RunningWithin = 2;
    // Keep the selected runs in MachineReport::Runs.
    bool KeepRuns = false;
    // Keep the warnings in MachineReport::Warnings.
    bool KeepWarnings = false;
    // Called with each warning as it is found, kept or not; past a log's
    // first WarningsPerLog, once at the log's end with their number for line
    // 0. The summary counts them all.
    std::function<void(const Warning&)> OnWarning;
    // Of those, only the runs that end at or after this: the first day drawn.
    LocalMinute KeepFrom = LocalMinute::min();
};

// The warnings of one log that are passed on and kept: a log of junk must
// not fill the screen or the memory.
inline constexpr int64_t WarningsPerLog = 100;

}  // namespace report
