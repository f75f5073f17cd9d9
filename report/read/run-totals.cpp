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
    PeriodTo = {Options.Now, NowInstant};
    if (Options.Selected.Until && BeforeMoment < Options.Now)
        PeriodTo = Zone.MomentOf(BeforeMoment);
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
    // Counted without a branch on the ending, which comes in no order the
    // processor could learn, so that no misprediction costs a run; the
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
    if (Options.KeepRuns && run.End.Local >= Options.KeepFrom)
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
    // The runs that overlap the period; one of no minutes, in it.
    if (paired.Start.Local >= BeforeMoment || paired.Start.Instant > NowInstant ||
        (paired.Start.Local < SinceMoment && paired.End.Local <= SinceMoment)) {
        BeginPeriod(paired.Start);
        NewestIsLast = false;
        LastReadStart = paired.Start;
        LastReadEnd = paired.End;
        LastReadEnded = paired.Ended;
        LastReadLog = LogIndex;
        return;
    }

    BeginPeriod(paired.Start);

    // Written where it is kept, not copied there: this is every run's path.
    ReadRun& run = Newest;
    run.Start = paired.Start;
    run.End = paired.End;
    run.Ended = paired.Ended;
    run.Line = paired.Line;
    run.DowntimeBefore = 0;
    run.Log = LogIndex;
    NewestIsLast = true;
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
        // The summary's are those of the part inside the period: a run on
        // since before it missed none of its moments before it.
        PowerOffAnswer inPeriod = run.PowerOff;
        if (run.Start.Instant < PeriodFrom.Instant || run.End.Instant > PeriodTo.Instant) {
            Moment from = run.Start.Instant < PeriodFrom.Instant
                              ? Moment{PeriodFrom.Local - std::chrono::minutes{1}, PeriodFrom.Instant - 1}
                              : run.Start;
            const Moment& to = run.End.Instant > PeriodTo.Instant ? PeriodTo : run.End;
            inPeriod = AnswerPowerOff(*Options.Schedule.Minute, from, to, run.Ended, Zone);
        }
        totals.PoweroffsMissed += inPeriod.Missed;
        totals.MinutesPastSchedule += inPeriod.MinutesPast;
    }
    if (totals.Runs++ == 0) {
        // The period's time before it.
        FirstStart = run.Start;
        if (int64_t before = InPeriod(PeriodFrom.Instant, run.Start.Instant); before > 0)
            AddDowntime(before, PeriodFrom);
    } else {
        // The downtime since the previous selected run.
        if (run.Start.Instant < LastEnd.Instant)
            Warnings.Warn(paired.Line, [&] {
                return "starts " + FormatDuration(LastEnd.Instant - run.Start.Instant) +
                       " before the previous run's end (clock set back?)";
            });
        run.DowntimeBefore = InPeriod(LastEnd.Instant, run.Start.Instant);
        AddDowntime(run.DowntimeBefore, LastEnd);
    }
    LastStart = run.Start;
    LastEnd = run.End;
    totals.UptimeMinutes += InPeriod(run.Start.Instant, run.End.Instant);
    if (minutes > LongestRun) {
        LongestRun = minutes;
        LongestRunStart = run.Start;
    }
    HaveNewest = true;
    if (Options.KeepRuns)
        NewestLogName = LogName;
}

inline void RunTotals::BeginPeriod(const Moment& start)
{
    if (!HavePeriod) {
        HavePeriod = true;
        PeriodFrom = start.Local < SinceMoment ? SinceStart : start;
        // Before the first run of all the logs tell nothing of the machine.
        Report.FirstLogged = start.Local;
    }
}

inline void RunTotals::AddDowntime(int64_t gap, const Moment& from)
{
    Report.Totals.DowntimeMinutes += gap;
    if (gap > LongestDowntime) {
        LongestDowntime = gap;
        LongestDowntimeStart = from;
    }
}

void RunTotals::KeepRun(const ReadRun& run)
{
    Report.Runs.push_back({run.Start, run.End, run.End.Instant - run.Start.Instant, run.Ended, NewestLogName, run.Line,
                           run.DowntimeBefore, run.PowerOff.Missed, run.PowerOff.MinutesPast, run.Judged});
}

bool RunTotals::FinishState()
{
    Summary& totals = Report.Totals;
    if (!HavePeriod)
        return false;
    if (NewestIsLast) {
        LastReadStart = Newest.Start;
        LastReadEnd = Newest.End;
        LastReadEnded = Newest.Ended;
        LastReadLog = Newest.Log;
    }
    // The newest run of all, in the newest log, whose last sign of life is
    // recent and not yet to come, is still running.
    int64_t age = NowInstant - LastReadEnd.Instant;
    bool running =
        LastReadLog == LogIndex && LastReadEnded == RunEnd::Crash && age >= 0 && age <= Options.RunningWithin;
    RunEnd ended = running ? RunEnd::Running : LastReadEnded;
    bool judged = !Options.Schedule.JudgedFrom || LastReadStart.Instant >= Options.Schedule.JudgedFrom->Instant;
    if (!NewestIsLast && Options.Schedule.Minute && judged && ended != RunEnd::Running &&
        AnswerPowerOff(*Options.Schedule.Minute, LastReadStart, LastReadEnd, ended, Zone).OnSchedule)
        ended = RunEnd::Pdown;
    totals.NewestEnded = ended;
    totals.NewestStart = LastReadStart;
    if (ended != RunEnd::Unknown) {
        totals.StateSince = running ? LastReadStart : LastReadEnd;
        totals.StateMinutes = std::max<int64_t>(0, NowInstant - totals.StateSince->Instant);
    }
    return running;
}

MachineReport RunTotals::Finish()
{
    Summary& totals = Report.Totals;
    bool running = FinishState() && NewestIsLast;
    if (totals.Runs > 0) {
        // A running run counts up to now; after the last run, the period is
        // downtime.
        int64_t end = LastEnd.Instant;
        if (running) {
            Newest.Ended = RunEnd::Running;
            totals.UnseenMinutes = InPeriod(LastStart.Instant, NowInstant) - InPeriod(LastStart.Instant, end);
            totals.UptimeMinutes += totals.UnseenMinutes;
            end = NowInstant;
        }
        if (int64_t after = InPeriod(end, PeriodTo.Instant); after > 0)
            AddDowntime(after, LastEnd);
    } else if (HavePeriod) {
        // A period without a run of its own.
        if (int64_t period = InPeriod(PeriodFrom.Instant, PeriodTo.Instant); period > 0)
            AddDowntime(period, PeriodFrom);
    }
    if (HaveNewest) {
        CountEnding(Newest);
        HaveNewest = false;
    }
    if (HavePeriod) {
        totals.PeriodStart = PeriodFrom;
        totals.PeriodEnd = PeriodTo;
    }
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
