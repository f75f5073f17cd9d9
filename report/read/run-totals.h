// SPDX-License-Identifier: Apache-2.0
// The totals builder: the runs of a machine's logs, as the pairer hands them
// on, selected and summed up.
#pragma once

#include <chrono>
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
// those selected: their totals, how they ended, the longest run and
// downtime, the power-offs they answer for. A run on since before the
// selection counts from the selection's first day on. The newest run of all
// is counted as it ended until the folder is done, which may find it still
// running.
class RunTotals {
public:
    RunTotals(ReadOptions options, LogWarnings& warnings);

    void BeginLog(const std::string& name);
    void Add(const PairedRun& paired);
    // The summary, and the runs and warnings kept.
    MachineReport Finish();

private:
    // judged: started when the schedule held, and so held against it.
    void CountEnding(const Moment& start, const Moment& end, RunEnd ended, bool judged);
    // Out of every run's way, and given copies, so that the run's values
    // stay where they are.
    [[gnu::noinline]] PowerOffAnswer AnswerPowerOff(Moment start, Moment end, RunEnd ended);
    [[gnu::noinline]] void KeepRun(PairedRun run, int64_t downtimeBefore, PowerOffAnswer answer, bool judged);
    [[gnu::noinline]] void WarnAfterNow(uint64_t line);
    [[gnu::noinline]] void WarnClockSetBack(uint64_t line, int64_t gap);

    ReadOptions Options;
    LogWarnings& Warnings;
    MachineReport Report;
    LocalZone Zone;
    int64_t NowInstant = 0;
    // The selection's bounds: from Since, before the day after Until.
    LocalMinute SinceMoment = LocalMinute::min();
    LocalMinute BeforeMoment = LocalMinute::max();
    Moment SinceStart{};
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
    // How many runs ended each way, and the latest end of each.
    int64_t EndCount[RunEndCount] = {};
    Moment LatestEnd[RunEndCount];
    // The newest run's ending and log, -1 when it is not selected, and the
    // latest end of its ending before it: what changes when it is found to
    // be running.
    RunEnd NewestEnded = RunEnd::Unknown;
    int NewestLog = -1;
    Moment LatestBeforeNewest{};
};

// Inline, as every run's path, for the pairer it is called from; every value
// is taken from the run, never read back from what was just written.
inline void RunTotals::CountEnding(const Moment& start, const Moment& end, RunEnd ended, bool judged)
{
    // Counted without a branch on the ending, which comes in no order the
    // processor could learn, so that no misprediction costs a run; the
    // summary takes the counts and the latest ends when the folder is done.
    EndCount[static_cast<int>(ended)]++;
    Moment& latest = LatestEnd[static_cast<int>(ended)];
    LatestBeforeNewest = latest;
    if (end.Local > latest.Local)
        latest = end;
    if (LastScheduled) {
        const Moment& scheduled = *LastScheduled;
        if (judged) {
            SawOnSchedule |= ended == RunEnd::Pdown &&
                             (end.Local == scheduled.Local || end.Local == scheduled.Local + std::chrono::minutes{1});
            SawMissed |= start.Instant < scheduled.Instant && end.Instant - scheduled.Instant >= 2;
        } else {
            LastUnjudged |= start.Instant <= scheduled.Instant && end.Instant >= scheduled.Instant;
        }
    }
}

inline void RunTotals::Add(const PairedRun& paired)
{
    if (paired.End.Instant > NowInstant)
        WarnAfterNow(paired.EndLine);
    if (paired.Start.Local >= BeforeMoment ||
        (paired.Start.Local < SinceMoment && !(Options.Selected.Overlapping && paired.End.Local > SinceMoment))) {
        // A newer run than the newest selected one: that one is not running.
        NewestLog = -1;
        return;
    }

    // A run on since before the period counts from its first day on.
    const Moment start = paired.Start.Local < SinceMoment ? SinceStart : paired.Start;
    const Moment end = paired.End;
    RunEnd ended = paired.Ended;
    Summary& totals = Report.Totals;
    // Judged by when it really started, whatever part of it is selected.
    const bool judged = !Options.Schedule.JudgedFrom || paired.Start.Instant >= Options.Schedule.JudgedFrom->Instant;
    if (!judged)
        totals.ScheduleJudgedFrom = Options.Schedule.JudgedFrom;
    PowerOffAnswer answer;
    if (Options.Schedule.Minute && judged) {
        answer = AnswerPowerOff(start, end, ended);
        if (answer.OnSchedule)
            ended = RunEnd::Pdown;
    }
    int64_t gap = 0;
    if (totals.Runs++ == 0) {
        FirstStart = start;
    } else {
        // The downtime since the previous selected run.
        gap = start.Instant - LastEnd.Instant;
        if (gap < 0) {
            WarnClockSetBack(paired.Line, gap);
            gap = 0;
        }
        totals.DowntimeMinutes += gap;
        if (gap > LongestDowntime) {
            LongestDowntime = gap;
            LongestDowntimeStart = LastEnd;
        }
    }
    LastStart = start;
    LastEnd = end;
    int64_t minutes = end.Instant - start.Instant;
    totals.UptimeMinutes += minutes;
    if (minutes > LongestRun) {
        LongestRun = minutes;
        LongestRunStart = start;
    }
    CountEnding(start, end, ended, judged);
    NewestEnded = ended;
    NewestLog = LogIndex;
    if (Options.KeepRuns)
        KeepRun({start, end, ended, paired.Line, 0}, gap, answer, judged);
}

}  // namespace report
