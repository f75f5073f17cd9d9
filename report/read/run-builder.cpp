// SPDX-License-Identifier: Apache-2.0
// The run builder: records paired into runs, the selected runs summed up.
#include "report/read/run-builder.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "report/core/text-forms.h"

namespace report {

using namespace std::chrono;

namespace {

// The ending a closing record gives its run.
RunEnd EndOf(RecordKind kind)
{
    // Looked up, not switched on: the endings of successive runs come in no
    // order the processor could learn, and a branch on them would be
    // mispredicted often.
    static constexpr RunEnd ends[] = {RunEnd::Unknown, RunEnd::Unknown, RunEnd::Unknown, RunEnd::Unknown,
                                      RunEnd::Crash,   RunEnd::Down,    RunEnd::Pdown,   RunEnd::Unknown};
    static_assert(std::size(ends) == RecordKindCount && ends[static_cast<int>(RecordKind::Crash)] == RunEnd::Crash &&
                  ends[static_cast<int>(RecordKind::Down)] == RunEnd::Down &&
                  ends[static_cast<int>(RecordKind::Pdown)] == RunEnd::Pdown);
    return ends[static_cast<int>(kind)];
}

int DayOfMonth(LocalMinute moment)
{
    return static_cast<int>(static_cast<unsigned>(year_month_day{floor<days>(moment)}.day()));
}

int MinuteOfDay(LocalMinute moment)
{
    return static_cast<int>((moment - floor<days>(moment)).count());
}

}  // namespace

RunBuilder::RunBuilder(ReadOptions options) : Options(std::move(options))
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
    }
}

void RunBuilder::BeginFile(const LogFile& file)
{
    FileName = file.Name;
    FileIndex++;
    FileWarnings = 0;
    Month = file.Month;
    Calendar = MonthCalendar(file.Month.Year, file.Month.Month);
    for (int late = 0; late <= 1; late++) {
        ModifiedKey[late] = -1;
        if (!file.Modified)
            continue;
        int64_t seconds = *file.Modified;
        ModifiedWritten = seconds >= 0 ? seconds / 60 : -((-seconds + 59) / 60);
        ModifiedLocal[late] = LocalZone::LocalOf(seconds) - minutes{late};
        ModifiedKey[late] = int64_t{DayOfMonth(ModifiedLocal[late])} * 1440 + MinuteOfDay(ModifiedLocal[late]);
    }
    Open = false;
    Pending = false;
}

inline void RunBuilder::CountEnding(const ReadRun& run)
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
        SawOnSchedule |= run.Ended == RunEnd::Pdown &&
                         (run.End.Local == scheduled.Local || run.End.Local == scheduled.Local + minutes{1});
        SawMissed |= run.Start.Instant < scheduled.Instant && run.End.Instant - scheduled.Instant >= 2;
    }
    if (Options.KeepRuns)
        KeepRun(run);
}

// Everything but the ending is counted at once, so that warnings come in the
// order of the lines; the ending waits until a newer run has been read.
inline void RunBuilder::AddRun(RunEnd ended, const Moment& end, uint64_t endLine)
{
    Open = false;
    if (HaveNewest) {
        CountEnding(Newest);
        HaveNewest = false;
    }
    if (end.Instant > NowInstant)
        WarnAfterNow(endLine);
    if (OpenStart.Local >= BeforeMoment ||
        (OpenStart.Local < SinceMoment && !(Options.Selected.Overlapping && end.Local > SinceMoment)))
        return;

    // Written where it is kept, not copied there: this is every run's path.
    ReadRun& run = Newest;
    // A run on since before the period counts from its first day on.
    run.Start = OpenStart.Local < SinceMoment ? SinceStart : OpenStart;
    run.End = end;
    run.Ended = ended;
    run.Line = OpenLine;
    run.DowntimeBefore = 0;
    run.File = FileIndex;
    run.PowerOff = {};
    int64_t minutes = end.Instant - run.Start.Instant;
    Summary& totals = Report.Totals;
    if (Options.Schedule.Minute) {
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
            WarnClockSetBack(gap);
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
        NewestFileName = FileName;
}

void RunBuilder::AddRecords(const LineRecord* records, size_t count)
{
    for (size_t i = 0; i < count; i++)
        AddRecord(records[i].Fields, records[i].Line);
}

void RunBuilder::AddRecord(const Record& record, uint64_t line)
{
    switch (record.Kind) {
    case RecordKind::Apdown: return;
    case RecordKind::Blank: Warn(line, "blank line"); return;
    case RecordKind::Damaged: Warn(line, "damaged line"); return;
    case RecordKind::Zeros: Warn(line, "zero bytes"); return;
    case RecordKind::Up:
        if (Pending)
            ClosePending(nullptr);
        if (Open)
            AddRun(RunEnd::Unknown, OpenStart, OpenLine);
        if (std::optional<LocalMinute> start = Calendar.LocalMinuteOf(record.Day, static_cast<int>(record.Value))) {
            Open = true;
            OpenStart = Zone.MomentOf(*start);
            OpenLine = line;
        } else {
            Open = false;
            WarnNoSuchDay(record, line);
        }
        return;
    case RecordKind::Crash:
    case RecordKind::Down:
    case RecordKind::Pdown:
        if (Pending)
            ClosePending(nullptr);
        if (!Open) {
            WarnNothingToClose(record, line);
            return;
        }
        // The day and minute of the log's modification time: this may be the
        // log's last closing line, which only the lines after it tell.
        int64_t key = int64_t{record.Day} * 1440 + record.Value;
        if (key == ModifiedKey[0] || key == ModifiedKey[1]) {
            Pending = true;
            PendingRecord = record;
            PendingLine = line;
            return;
        }
        CloseRun(record, line, nullptr);
        return;
    }
}

void RunBuilder::ClosePending(const NextLogStart* lastInLog)
{
    Pending = false;
    CloseRun(PendingRecord, PendingLine, lastInLog);
}

std::optional<Moment> RunBuilder::ClosingByModification(int day, int minute) const
{
    // Written in the closing line's minute, or in the next one.
    for (int late = 0; late <= 1; late++)
        if (ModifiedKey[late] == int64_t{day} * 1440 + minute)
            return Moment{ModifiedLocal[late], ModifiedWritten - late};
    return std::nullopt;
}

bool RunBuilder::AfterNextStart(const Moment& end, int day, int minute, const NextLogStart& nextStart)
{
    if (!nextStart || Calendar.LocalMinuteOf(day, minute) == end.Local)
        return false;
    std::optional<LogStart> next = nextStart();
    if (!next)
        return false;
    std::optional<LocalMinute> start = MonthCalendar(next->Month.Year, next->Month.Month)
                                           .LocalMinuteOf(next->Up.Day, static_cast<int>(next->Up.Value));
    return start && end.Instant > Zone.MomentOf(*start).Instant;
}

void RunBuilder::CloseRun(const Record& record, uint64_t line, const NextLogStart* lastInLog)
{
    int day = record.Day;
    int minute = static_cast<int>(record.Value);
    RunEnd ended = EndOf(record.Kind);
    if (lastInLog) {
        std::optional<Moment> end = ClosingByModification(day, minute);
        if (end && end->Instant >= OpenStart.Instant && !AfterNextStart(*end, day, minute, *lastInLog)) {
            AddRun(ended, *end, line);
            return;
        }
    }
    std::optional<LocalMinute> end = Calendar.LocalMinuteOf(day, minute);
    if (end && *end >= OpenStart.Local) {
        AddRun(ended, Zone.MomentOf(*end), line);
    } else if (end && floor<days>(*end) == floor<days>(OpenStart.Local)) {
        // Earlier the same day: the hour that came twice when the clocks went
        // back, or a clock set back, which leaves the end unknown.
        int64_t second = Zone.InstantOf(*end, true);
        if (Zone.IsRepeated(*end) && second >= OpenStart.Instant) {
            AddRun(ended, {*end, second}, line);
        } else {
            Warn(line, "closing line before its start (the clock was set back)");
            AddRun(RunEnd::Unknown, OpenStart, OpenLine);
        }
    } else {
        // A closing line's day may lie in a later month.
        AddRun(ended, Zone.MomentOf(ClosingMoment(OpenStart.Local, day, minute)), line);
    }
}

void RunBuilder::FileProblem(const std::string& problem)
{
    if (Report.Incomplete.empty())
        Report.Incomplete = FileName + ": " + problem;
    FileWarning(problem);
}

void RunBuilder::FileWarning(const std::string& problem)
{
    if (Passed())
        Pass(0, problem);
}

void RunBuilder::EndFile(const NextLogStart& next)
{
    if (Pending)
        ClosePending(&next);
    if (Open)
        AddRun(RunEnd::Unknown, OpenStart, OpenLine);
    if (FileWarnings > WarningsPerLog && Options.OnWarning)
        Options.OnWarning({FileName, 0, std::to_string(FileWarnings - WarningsPerLog) + " more warnings not shown"});
}

void RunBuilder::KeepRun(const ReadRun& run)
{
    Report.Runs.push_back({run.Start, run.End, run.End.Instant - run.Start.Instant, run.Ended, NewestFileName, run.Line,
                           run.DowntimeBefore, run.PowerOff.Missed, run.PowerOff.MinutesPast});
}

bool RunBuilder::Passed()
{
    Report.Totals.Warnings++;
    return ++FileWarnings <= WarningsPerLog;
}

void RunBuilder::Pass(uint64_t line, std::string problem)
{
    Warning warning{FileName, line, std::move(problem)};
    if (Options.OnWarning)
        Options.OnWarning(warning);
    if (Options.KeepWarnings)
        Report.Warnings.push_back(std::move(warning));
}

void RunBuilder::Warn(uint64_t line, const char* problem)
{
    if (Passed())
        Pass(line, problem);
}

void RunBuilder::WarnNoSuchDay(const Record& record, uint64_t line)
{
    if (Passed())
        Pass(line, std::string(KindWord(RecordKind::Up)) + " on day " + std::to_string(record.Day) + ", which " +
                       FormatMonth(local_days{year{Month.Year} / Month.Month / 1}) + " does not have");
}

void RunBuilder::WarnNothingToClose(const Record& record, uint64_t line)
{
    if (Passed())
        Pass(line, std::string(KindWord(record.Kind)) + " line without a run to close");
}

void RunBuilder::WarnAfterNow(uint64_t line)
{
    if (Passed())
        Pass(line, "run ends after now (" + FormatMomentForPeople(Options.Now) + ")");
}

void RunBuilder::WarnClockSetBack(int64_t gap)
{
    if (Passed())
        Pass(OpenLine, "starts " + FormatDuration(-gap) + " before the previous run's end (clock set back?)");
}

MachineReport RunBuilder::Finish()
{
    // The newest run of all, in the newest log, whose last sign of life is
    // recent and not yet to come, is still running.
    if (HaveNewest) {
        int64_t age = NowInstant - Newest.End.Instant;
        if (Newest.File == FileIndex && Newest.Ended == RunEnd::Crash && age >= 0 && age <= Options.RunningWithin)
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
        totals.LastPowerOffAnswer = SawMissed       ? LastPowerOff::Missed
                                    : SawOnSchedule ? LastPowerOff::OnSchedule
                                                    : LastPowerOff::Off;
    int64_t total = totals.UptimeMinutes + totals.DowntimeMinutes;
    if (total > 0)
        totals.Availability = static_cast<double>(totals.UptimeMinutes) / static_cast<double>(total);
    return std::move(Report);
}

}  // namespace report
