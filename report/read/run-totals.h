// SPDX-License-Identifier: Apache-2.0
// The totals builder: the runs of a machine's logs, as the pairer hands them
// on, selected and summed up.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "report/core/model.h"
#include "report/read/log-warnings.h"
#include "report/read/read-options.h"

namespace report {

// A run as the pairer hands it on.
struct PairedRun {
    Moment Start;
    Moment End;  // Start when its end is unknown
    RunEnd Ended;
    uint64_t Line;     // its UP line
    uint64_t EndLine;  // its closing line, or its UP line when its end is unknown
};

// Takes the runs of a folder's logs, oldest first, and keeps the summary of
// those of the period: their totals, how they ended, the longest run and
// downtime, the power-offs they answer for; and the machine's state now,
// from the newest run of all. A run's ending is counted once it is final:
// the newest run's only when the folder is done, for it may still be
// running.
class RunTotals {
public:
    RunTotals(ReadOptions options, LogWarnings& warnings);

    void BeginLog(const std::string& name);
    void Add(const PairedRun& paired);
    // The summary, and the runs and warnings kept.
    MachineReport Finish();

private:
    // A selected run as it is read, before it is kept: no copy of its log's
    // name unless the runs are kept.
    struct ReadRun {
        Moment Start;
        Moment End;
        RunEnd Ended;
        uint64_t Line;
        int64_t DowntimeBefore;
        int Log;
        bool Judged;  // started when the schedule held: held against it
        PowerOffAnswer PowerOff;
    };

    void CountEnding(const ReadRun& run);
    void KeepRun(const ReadRun& run);
    // The minutes of [from, to) inside the period, in Unix minutes.
    int64_t InPeriod(int64_t from, int64_t to) const
    {
        return std::max<int64_t>(0, std::min(to, PeriodTo.Instant) - std::max(from, PeriodFrom.Instant));
    }
    // The period's start, from the first run read, selected or not.
    void BeginPeriod(const Moment& start);
    void AddDowntime(int64_t gap, const Moment& from);
    // The state now, from the newest run read; whether it is running.
    bool FinishState();

    ReadOptions Options;
    LogWarnings& Warnings;
    MachineReport Report;
    LocalZone Zone;
    int64_t NowInstant = 0;
    // The selection's bounds: from Since, before the day after Until.
    LocalMinute SinceMoment = LocalMinute::min();
    LocalMinute BeforeMoment = LocalMinute::max();
    Moment SinceStart{};
    // The period: from the later of Since and the first run's start, once a
    // run is read, to the earlier of the day after Until and now.
    bool HavePeriod = false;
    Moment PeriodFrom{};
    Moment PeriodTo{};
    // The newest scheduled moment 2 minutes or more before now, and what the
    // runs did at it.
    std::optional<Moment> LastScheduled;
    bool SawOnSchedule = false;
    bool SawMissed = false;
    // It is before the schedule held, or a run not judged was up at it.
    bool LastUnjudged = false;

    // The log being read, counted from 0, and its name when the runs are
    // kept.
    int LogIndex = -1;
    std::string LogName;

    // The selected runs' moments, which the summary takes when there are
    // any: kept here, as plain values, while every run passes by.
    Moment FirstStart{};
    Moment LastStart{};
    Moment LastEnd{};
    int64_t LongestRun = -1;
    Moment LongestRunStart{};
    int64_t LongestDowntime = -1;
    Moment LongestDowntimeStart{};
    // The newest run read, which tells the state now: Newest when it was
    // selected, else kept here.
    bool NewestIsLast = false;
    Moment LastReadStart{};
    Moment LastReadEnd{};
    RunEnd LastReadEnded = RunEnd::Unknown;
    int LastReadLog = -1;
    // The newest run selected: its ending is not final yet.
    bool HaveNewest = false;
    ReadRun Newest{};
    std::string NewestLogName;  // when the runs are kept
    // How many runs ended each way, and the latest end of each.
    int64_t EndCount[RunEndCount] = {};
    Moment LatestEnd[RunEndCount];
};

}  // namespace report
