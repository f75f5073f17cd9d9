// SPDX-License-Identifier: Apache-2.0
// The totals builder: the selected runs summed up as they pass by.
#include "report/read/run-totals.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "report/core/text-forms.h"

namespace report {

using namespace std::chrono;

RunTotals::RunTotals(ReadOptions options, LogWarnings& warnings) : Options(std::move(options)), Warnings(warnings)
{
    std::fill(std::begin(LatestEnd), std::end(LatestEnd), Moment{LocalMinute::min(), 0});
    Report.Schedule = Options.Schedule;
    if (Options.Selected.Since) {
        SinceMoment = *Options.Selected.Since;
        SinceStart = Zone.MomentOf(SinceMoment);
    }
    if (Options.Selected.Until)
        BeforeMoment = *Options.Selected.Until + days{1};
    NowInstant = Options.NowInstant ? *Options.NowInstant : Zone.InstantOf(Options.Now);
    if (Options.Schedule.Minute) {
        LocalMinute scheduled = floor<days>(Options.Now) + minutes{*Options.Schedule.Minute};
        while (scheduled + minutes{2} > Options.Now)
            scheduled -= days{1};
        LastScheduled = Zone.MomentOf(scheduled);
        LastUnjudged = Options.Schedule.JudgedFrom && LastScheduled->Instant < Options.Schedule.JudgedFrom->Instant;
    }
}

void RunTotals::BeginLog(const std::string& name)
{
    LogIndex++;
    if (Options.KeepRuns)
        LogName = name;
}

inline void RunTotals::CountEnding(const ReadRun& run)
{
    // Counted without a branch on the ending, which follows no pattern; the
    // summary takes the counts and the latest ends when the folder is done.
    EndCount[static_cast<int>(run.Ended)]++;
    Moment& latest = LatestEnd[static_cast<int>(run.Ended)];
    if (run.End.Local > latest.Local)
        latest = run.End;
    if (LastScheduled) {
        const Moment& scheduled = *LastScheduled;
        if (run.Judged) {
            SawOnSchedule |= run.Ended == RunEnd::Pdown &&
                             (run.End.Local == scheduled.Local || run.End.Local == scheduled.Local + minutes{1});
            SawMissed |= run.Start.Instant < scheduled.Instant && run.End.Instant - scheduled.Instant >= 2;
        } else {
            LastUnjudged |= run.Start.Instant <= scheduled.Instant && run.End.Instant >= scheduled.Instant;
        }
    }
    if (Options.KeepRuns)
        KeepRun(run);
}

// Everything but the ending is counted at once, so that warnings come in the
// order of the lines; the ending waits until a newer run has been read.
void RunTotals::Add(const PairedRun& paired)
{
    if (HaveNewest) {
        CountEnding(Newest);
        HaveNewest = false;
    }
    if (paired.End.Instant > NowInstant)
        Warnings.Warn(paired.EndLine,
                      [&] { return "run ends after now (" + FormatMomentForPeople(Options.Now) + ")"; });
    if (paired.Start.Local >= BeforeMoment ||
        (paired.Start.Local < SinceMoment && !(Options.Selected.Overlapping && paired.End.Local > SinceMoment)))
        return;

    // Written where it is kept, not copied there: this is every run's path.
    ReadRun& run = Newest;
    run.Start = paired.Start.Local < SinceMoment ? SinceStart : paired.Start;
    run.End = paired.End;
    run.Ended = paired.Ended;
    run.Line = paired.Line;
    run.DowntimeBefore = 0;
    run.Log = LogIndex;
    // Judged by when it really started, whatever part of it is selected.
    run.Judged = !Options.Schedule.JudgedFrom || paired.Start.Instant >= Options.Schedule.JudgedFrom->Instant;
    run.PowerOff = {};
    int64_t minutes = run.End.Instant - run.Start.Instant;
    Summary& totals = Report.Totals;
    if (!run.Judged)
        totals.ScheduleJudgedFrom = Options.Schedule.JudgedFrom;
    if (Options.Schedule.Minute && run.Judged) {
        run.PowerOff = AnswerPowerOff(*Options.Schedule.Minute, run.Start, run.End, run.Ended, Zone);
        if (run.PowerOff.OnSchedule)
            run.Ended = RunEnd::Pdown;
        totals.PoweroffsMissed += run.PowerOff.Missed;
        totals.MinutesPastSchedule += run.PowerOff.MinutesPast;
    }
    if (totals.Runs++ == 0) {
        FirstStart = run.Start;
    } else {
        // The downtime since the previous selected run.
        int64_t gap = run.Start.Instant - LastEnd.Instant;
        if (gap < 0) {
            Warnings.Warn(paired.Line, [&] {
                return "starts " + FormatDuration(-gap) + " before the previous run's end (clock set back?)";
            });
            gap = 0;
        }
        totals.DowntimeMinutes += gap;
        if (gap > LongestDowntime) {
            LongestDowntime = gap;
            LongestDowntimeStart = LastEnd;
        }
        run.DowntimeBefore = gap;
    }
    LastStart = run.Start;
    LastEnd = run.End;
    totals.UptimeMinutes += minutes;
    if (minutes > LongestRun) {
        LongestRun = minutes;
        LongestRunStart = run.Start;
    }
    HaveNewest = true;
    if (Options.KeepRuns)
        NewestLogName = LogName;
}

void RunTotals::KeepRun(const ReadRun& run)
{
    Report.Runs.push_back({run.Start, run.End, run.End.Instant - run.Start.Instant, run.Ended, NewestLogName, run.Line,
                           run.DowntimeBefore, run.PowerOff.Missed, run.PowerOff.MinutesPast, run.Judged});
}

MachineReport RunTotals::Finish()
{
    // The newest run of all, in the newest log, whose last sign of life is
    // recent and not yet to come, is still running.
    if (HaveNewest) {
        int64_t age = NowInstant - Newest.End.Instant;
        if (Newest.Log == LogIndex && Newest.Ended == RunEnd::Crash && age >= 0 && age <= Options.RunningWithin)
            Newest.Ended = RunEnd::Running;
        CountEnding(Newest);
        HaveNewest = false;
    }
    Summary& totals = Report.Totals;
    totals.Down = EndCount[static_cast<int>(RunEnd::Down)];
    totals.Pdown = EndCount[static_cast<int>(RunEnd::Pdown)];
    totals.Crash = EndCount[static_cast<int>(RunEnd::Crash)];
    totals.Unknown = EndCount[static_cast<int>(RunEnd::Unknown)];
    totals.Running = EndCount[static_cast<int>(RunEnd::Running)];
    if (totals.Runs > 0) {
        totals.FirstStart = FirstStart;
        totals.LastStart = LastStart;
        totals.LastEnd = LastEnd;
        totals.LongestRunMinutes = LongestRun;
        totals.LongestRunStart = LongestRunStart;
    }
    if (LongestDowntime >= 0) {
        totals.LongestDowntimeMinutes = LongestDowntime;
        totals.LongestDowntimeStart = LongestDowntimeStart;
    }
    if (totals.Pdown > 0)
        totals.LastPdownEnd = LatestEnd[static_cast<int>(RunEnd::Pdown)];
    if (totals.Crash > 0)
        totals.LastCrashEnd = LatestEnd[static_cast<int>(RunEnd::Crash)];
    if (LastScheduled && totals.Runs > 0)
        totals.LastPowerOffAnswer = LastUnjudged    ? LastPowerOff::None
                                    : SawMissed     ? LastPowerOff::Missed
                                    : SawOnSchedule ? LastPowerOff::OnSchedule
                                                    : LastPowerOff::Off;
    int64_t total = totals.UptimeMinutes + totals.DowntimeMinutes;
    if (total > 0)
        totals.Availability = static_cast<double>(totals.UptimeMinutes) / static_cast<double>(total);
    totals.Warnings = Warnings.Count;
    Report.Warnings = std::move(Warnings.Kept);
    Report.Incomplete = Warnings.Incomplete;
    return std::move(Report);
}

}  // namespace report
