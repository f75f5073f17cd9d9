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
    // Looked up: which ending comes next follows no pattern.
    static constexpr RunEnd ends[] = {RunEnd::Unknown, RunEnd::Unknown, RunEnd::Unknown, RunEnd::Unknown,
                                      RunEnd::Crash,   RunEnd::Down,    RunEnd::Pdown,   RunEnd::Unknown};
    static_assert(std::size(ends) == RecordKindCount && ends[static_cast<int>(RecordKind::Crash)] == RunEnd::Crash &&
                  ends[static_cast<int>(RecordKind::Down)] == RunEnd::Down &&
                  ends[static_cast<int>(RecordKind::Pdown)] == RunEnd::Pdown);
    return ends[static_cast<int>(kind)];
}

}  // namespace

RunBuilder::RunBuilder(ReadOptions options) : Options(std::move(options))
{
    std::fill(std::begin(LatestEnd), std::end(LatestEnd), LocalMinute::min());
    Report.Schedule = Options.Schedule;
    if (Options.Selected.Since)
        SinceMoment = *Options.Selected.Since;
    if (Options.Selected.Until)
        BeforeMoment = *Options.Selected.Until + days{1};
}

void RunBuilder::BeginFile(const LogFile& file)
{
    FileName = file.Name;
    FileIndex++;
    FileWarnings = 0;
    Month = file.Month;
    Calendar = MonthCalendar(file.Month.Year, file.Month.Month);
    Open = false;
}

inline void RunBuilder::CountEnding(const ReadRun& run)
{
    // Counted without a branch on the ending, which follows no pattern; the
    // summary takes the counts and the latest ends when the folder is done.
    EndCount[static_cast<int>(run.Ended)]++;
    LocalMinute& latest = LatestEnd[static_cast<int>(run.Ended)];
    latest = std::max(latest, run.End);
    if (Options.KeepRuns)
        KeepRun(run);
}

// Everything but the ending is counted at once, so that warnings come in the
// order of the lines; the ending waits until a newer run has been read.
inline void RunBuilder::AddRun(RunEnd ended, LocalMinute end)
{
    Open = false;
    if (HaveNewest) {
        CountEnding(Newest);
        HaveNewest = false;
    }
    if (OpenStart < SinceMoment || OpenStart >= BeforeMoment)
        return;

    // Written where it is kept, not copied there: this is every run's path.
    ReadRun& run = Newest;
    run.Start = OpenStart;
    run.End = end;
    run.Ended = ended;
    run.Line = OpenLine;
    run.DowntimeBefore = 0;
    run.File = FileIndex;
    run.PowerOff = {};
    int64_t minutes = (end - OpenStart).count();
    Summary& totals = Report.Totals;
    if (Options.Schedule.Minute) {
        run.PowerOff = AnswerPowerOff(*Options.Schedule.Minute, run.Start, run.End, run.Ended);
        if (run.PowerOff.OnSchedule)
            run.Ended = RunEnd::Pdown;
        totals.PoweroffsMissed += run.PowerOff.Missed;
        totals.MinutesPastSchedule += run.PowerOff.MinutesPast;
    }
    if (totals.Runs++ == 0) {
        FirstStart = run.Start;
    } else {
        // The downtime since the previous selected run.
        int64_t gap = (run.Start - LastEnd).count();
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
        if (Open)
            AddRun(RunEnd::Unknown, OpenStart);
        if (std::optional<LocalMinute> start = Calendar.MomentOf(record.Day, static_cast<int>(record.Value))) {
            Open = true;
            OpenStart = *start;
            OpenLine = line;
        } else {
            Open = false;
            WarnNoSuchDay(record, line);
        }
        return;
    case RecordKind::Crash:
    case RecordKind::Down:
    case RecordKind::Pdown: {
        if (!Open) {
            WarnNothingToClose(record, line);
            return;
        }
        int minute = static_cast<int>(record.Value);
        std::optional<LocalMinute> end = Calendar.MomentOf(record.Day, minute);
        // A closing line's day may lie in a later month.
        if (!end || *end < OpenStart)
            end = ClosingMoment(OpenStart, record.Day, minute);
        AddRun(EndOf(record.Kind), *end);
        return;
    }
    }
}

void RunBuilder::FileProblem(const std::string& problem)
{
    if (Passed())
        Pass(0, problem);
}

void RunBuilder::EndFile()
{
    if (Open)
        AddRun(RunEnd::Unknown, OpenStart);
    if (FileWarnings > WarningsPerLog && Options.OnWarning)
        Options.OnWarning({FileName, 0, std::to_string(FileWarnings - WarningsPerLog) + " more warnings not shown"});
}

void RunBuilder::KeepRun(const ReadRun& run)
{
    Report.Runs.push_back({run.Start, run.End, (run.End - run.Start).count(), run.Ended, NewestFileName, run.Line,
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

void RunBuilder::WarnClockSetBack(int64_t gap)
{
    if (Passed())
        Pass(OpenLine, "starts " + FormatDuration(-gap) + " before the previous run's end (clock set back?)");
}

MachineReport RunBuilder::Finish()
{
    // The newest run of all, in the newest log, whose last sign of life is
    // recent, is still running.
    if (HaveNewest) {
        if (Newest.File == FileIndex && Newest.Ended == RunEnd::Crash && Newest.End >= Options.Now - minutes{2})
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
    int64_t total = totals.UptimeMinutes + totals.DowntimeMinutes;
    if (total > 0)
        totals.Availability = static_cast<double>(totals.UptimeMinutes) / static_cast<double>(total);
    return std::move(Report);
}

}  // namespace report
