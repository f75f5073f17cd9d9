// SPDX-License-Identifier: Apache-2.0
// The pairer: UP records paired with the closing records after them, and
// the closing moments their lines leave out.
#include "report/read/run-pairer.h"

#include <iterator>
#include <string>

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

bool IsClosing(RecordKind kind)
{
    return kind == RecordKind::Crash || kind == RecordKind::Down || kind == RecordKind::Pdown;
}

}  // namespace

void RunPairer::BeginLog(const LogFile& file)
{
    Warnings.BeginLog(file.Name);
    Totals.BeginLog(file.Name);
    Month = file.Month;
    Calendar = MonthCalendar(file.Month.Year, file.Month.Month);
    for (int late = 0; late <= 1; late++) {
        ModifiedKey[late] = -1;
        if (!file.Modified)
            continue;
        ModifiedWritten = floor<minutes>(sys_seconds{seconds{*file.Modified}}).time_since_epoch().count();
        ModifiedLocal[late] = LocalZone::LocalOf(*file.Modified) - minutes{late};
        ModifiedKey[late] = DayMinuteKey(ModifiedLocal[late]);
    }
    State = Closed;
}

inline void RunPairer::HandOn(RunEnd ended, const Moment& end, uint64_t endLine)
{
    State = Closed;
    Totals.Add({OpenStart, end, ended, OpenLine, endLine});
}

inline void RunPairer::HandOnUnknown()
{
    HandOn(RunEnd::Unknown, OpenStart, OpenLine);
}

inline void RunPairer::OpenRun(const Record& record, uint64_t line)
{
    if (std::optional<LocalMinute> start = Calendar.LocalMinuteOf(record.Day, static_cast<int>(record.Value))) {
        State = Open;
        OpenStart = Zone.MomentOf(*start);
        OpenLine = line;
        OpenDay = record.Day;
    } else {
        WarnNoSuchDay(record, line);
    }
}

void RunPairer::AddRecords(const LineRecord* records, size_t count)
{
    // The usual lines straight through, with the open run in locals: a
    // closing line reads what its UP wrote a moment before, and a copy of
    // it from memory could wait for the write to get there.
    auto state = State;
    Moment start = OpenStart;
    uint64_t startLine = OpenLine;
    for (size_t i = 0; i < count; i++) {
        const Record& record = records[i].Fields;
        uint64_t line = records[i].Line;
        // An UP with no run open, and the open run's closing line at or after
        // its UP in the log's month, not of the day and minute of the log's
        // time.
        if (record.Kind == RecordKind::Up && state == Closed) {
            if (std::optional<LocalMinute> at = Calendar.LocalMinuteOf(record.Day, static_cast<int>(record.Value))) {
                state = Open;
                start = Zone.MomentOf(*at);
                startLine = line;
                OpenDay = record.Day;
                continue;
            }
        } else if (IsClosing(record.Kind) && state == Open) {
            std::optional<LocalMinute> end = Calendar.LocalMinuteOf(record.Day, static_cast<int>(record.Value));
            int64_t key = DayMinuteKey(record.Day, record.Value);
            if (end && *end >= start.Local && key != ModifiedKey[0] && key != ModifiedKey[1]) {
                state = Closed;
                Totals.Add({start, Zone.MomentOf(*end), EndOf(record.Kind), startLine, line});
                continue;
            }
        }
        State = state;
        OpenStart = start;
        OpenLine = startLine;
        AddRecord(record, line);
        state = State;
        start = OpenStart;
        startLine = OpenLine;
    }
    State = state;
    OpenStart = start;
    OpenLine = startLine;
}

void RunPairer::AddRecord(const Record& record, uint64_t line)
{
    switch (record.Kind) {
    case RecordKind::Apdown: return;
    case RecordKind::Blank: Warnings.Warn(line, "blank line"); return;
    case RecordKind::Damaged: Warnings.Warn(line, "damaged line"); return;
    case RecordKind::Zeros: Warnings.Warn(line, "zero bytes"); return;
    case RecordKind::Up:
        if (State == Held)
            CloseHeld(nullptr);
        if (State == Open)
            HandOnUnknown();
        OpenRun(record, line);
        return;
    case RecordKind::Crash:
    case RecordKind::Down:
    case RecordKind::Pdown:
        if (State == Held)
            CloseHeld(nullptr);
        if (State == Closed) {
            Warnings.Warn(line, [&] { return std::string(KindWord(record.Kind)) + " line without a run to close"; });
            return;
        }
        // The day and minute of the log's time, or a day the run's month has
        // no more of: this may be the log's last closing line, which only the
        // lines after it tell.
        int64_t key = DayMinuteKey(record.Day, record.Value);
        if (key == ModifiedKey[0] || key == ModifiedKey[1] ||
            static_cast<unsigned>(record.Day - OpenDay) > static_cast<unsigned>(Calendar.DayCount() - OpenDay)) {
            State = Held;
            HeldRecord = record;
            HeldLine = line;
            return;
        }
        CloseRun(record, line, nullptr);
        return;
    }
}

void RunPairer::WarnNoSuchDay(const Record& record, uint64_t line)
{
    Warnings.Warn(line, [&] {
        return std::string(KindWord(RecordKind::Up)) + " on day " + std::to_string(record.Day) + ", which " +
               FormatMonth(local_days{year{Month.Year} / Month.Month / 1}) + " does not have";
    });
}

void RunPairer::CloseHeld(const NextLogStart* lastInLog)
{
    State = Open;
    CloseRun(HeldRecord, HeldLine, lastInLog);
}

std::optional<Moment> RunPairer::ClosingByModification(int64_t key) const
{
    // Written in the closing line's minute, or in the next one.
    for (int late = 0; late <= 1; late++)
        if (ModifiedKey[late] == key)
            return Moment{ModifiedLocal[late], ModifiedWritten - late};
    return std::nullopt;
}

bool RunPairer::AfterNextStart(const Moment& end, const NextLogStart& nextStart)
{
    // The next log is read up to its first UP once, however often it is asked.
    if (!NextAsked && nextStart) {
        NextAsked = true;
        if (std::optional<LogStart> next = nextStart())
            if (std::optional<LocalMinute> start = MonthCalendar(next->Month.Year, next->Month.Month)
                                                       .LocalMinuteOf(next->Up.Day, static_cast<int>(next->Up.Value)))
                NextStart = Zone.MomentOf(*start).Instant;
    }
    return NextStart && end.Instant > *NextStart;
}

bool RunPairer::AfterLogTime(const Moment& end) const
{
    return ModifiedKey[0] >= 0 && end.Instant > ModifiedWritten + LogTimeSlack;
}

// A closing line holds a day and a minute, not the month. Its moment comes
// from the first of these rules that gives one:
// 1. A log's time in another month than the log's and after the next log's first UP is a copy's, and no rule's.
// 2. The log's last closing line, of the minute of the log's time or the one before, is then, if not before its UP.
// 3. One at or after its UP in the log's month is that moment.
// 4. One earlier than its UP the same day, in the hour that came twice, is its second coming, if not before the UP.
// 5. One earlier than its UP the same day otherwise: the clock was set back, a warning, and the end unknown.
// 6. Any other is the first such day and minute in a later month; but the clock was set back, as in rule 5,
//    when that is more than a day after the log's time, or, for the log's last closing line, after the next
//    log's first UP.
// The log's time is the heartbeat's last write: it knows the month, and which
// coming of a repeated hour. A share's clock, or a file system that keeps
// local times, may put it hours off; never a month.
void RunPairer::CloseRun(const Record& record, uint64_t line, const NextLogStart* lastInLog)
{
    int day = record.Day;
    int minute = static_cast<int>(record.Value);
    RunEnd ended = EndOf(record.Kind);
    std::optional<LocalMinute> inMonth = Calendar.LocalMinuteOf(day, minute);
    if (lastInLog) {
        std::optional<Moment> end = ClosingByModification(DayMinuteKey(day, minute));
        if (end && end->Instant >= OpenStart.Instant && (inMonth == end->Local || !AfterNextStart(*end, *lastInLog))) {
            HandOn(ended, *end, line);
            return;
        }
    }
    if (inMonth && *inMonth >= OpenStart.Local) {
        HandOn(ended, Zone.MomentOf(*inMonth), line);
    } else if (inMonth && floor<days>(*inMonth) == floor<days>(OpenStart.Local)) {
        // Repeated, and not only not before the UP: a time in the hour the
        // clocks skipped going forward names an instant as if they had not
        // yet, which is later than that of an UP after the hour.
        int64_t second = Zone.InstantOf(*inMonth, true);
        if (Zone.IsRepeated(*inMonth) && second >= OpenStart.Instant) {
            HandOn(ended, {*inMonth, second}, line);
        } else {
            SetBack(line);
        }
    } else {
        Moment end = Zone.MomentOf(ClosingMoment(OpenStart.Local, day, minute));
        if (AfterLogTime(end) || (lastInLog && AfterNextStart(end, *lastInLog)))
            SetBack(line);
        else
            HandOn(ended, end, line);
    }
}

void RunPairer::SetBack(uint64_t line)
{
    Warnings.Warn(line, "closing line before its start (the clock was set back)");
    HandOnUnknown();
}

void RunPairer::EndLog(const NextLogStart& next)
{
    NextAsked = false;
    NextStart.reset();
    if (State == Held)
        CloseHeld(&next);
    if (State == Open)
        HandOnUnknown();
    Warnings.EndLog();
}

}  // namespace report
