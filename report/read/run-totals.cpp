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

void RunTotals::WarnAfterNow(uint64_t line)
{
    Warnings.Warn(line, [&] { return "run ends after now (" + FormatMomentForPeople(Options.Now) + ")"; });
}

void RunTotals::WarnClockSetBack(uint64_t line, int64_t gap)
{
    Warnings.Warn(
        line, [&] { return "starts " + FormatDuration(-gap) + " before the previous run's end (clock set back?)"; });
}

PowerOffAnswer RunTotals::AnswerPowerOff(Moment start, Moment end, RunEnd ended)
{
    PowerOffAnswer answer = report::AnswerPowerOff(*Options.Schedule.Minute, start, end, ended, Zone);
    Report.Totals.PoweroffsMissed += answer.Missed;
    Report.Totals.MinutesPastSchedule += answer.MinutesPast;
    return answer;
}

void RunTotals::KeepRun(PairedRun run, int64_t downtimeBefore, PowerOffAnswer answer, bool judged)
{
    Report.Runs.push_back({run.Start, run.End, run.End.Instant - run.Start.Instant, run.Ended, LogName, run.Line,
                           downtimeBefore, answer.Missed, answer.MinutesPast, judged});
}

MachineReport RunTotals::Finish()
{
    // The newest run of all, in the newest log, whose last sign of life is
    // recent and not yet to come, is still running.
    int64_t age = NowInstant - LastEnd.Instant;
    if (Report.Totals.Runs > 0 && NewestLog == LogIndex && NewestEnded == RunEnd::Crash && age >= 0 &&
        age <= Options.RunningWithin) {
        EndCount[static_cast<int>(RunEnd::Crash)]--;
        EndCount[static_cast<int>(RunEnd::Running)]++;
        LatestEnd[static_cast<int>(RunEnd::Crash)] = LatestBeforeNewest;
        LatestEnd[static_cast<int>(RunEnd::Running)] = LastEnd;
        if (Options.KeepRuns)
            Report.Runs.back().Ended = RunEnd::Running;
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
    Report.Incomplete = std::move(Warnings.Incomplete);
    return std::move(Report);
}

}  // namespace report
