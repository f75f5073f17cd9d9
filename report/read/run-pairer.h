// SPDX-License-Identifier: Apache-2.0
// The pairer: a machine's records, log after log, paired into runs, which
// it hands on to the totals builder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "report/core/calendar.h"
#include "report/read/line-framer.h"
#include "report/read/log-name.h"
#include "report/read/log-warnings.h"
#include "report/read/run-totals.h"

namespace report {

// A log's first UP record, and the log's month.
struct LogStart {
    LogMonth Month;
    Record Up;
};

// How far, in minutes, a log's time may lag behind its lines: a day.
inline constexpr int64_t LogTimeSlack = 1440;

// Each UP record opens a run, which the next closing record of the same log
// closes; a run still open at the end of its log, or at the next UP, has an
// unknown end. Where a closing line's moment lies, run-pairer.cpp lists.
class RunPairer : public RecordSink {
public:
    // Reads the next log's first UP record, if it has one.
    using NextLogStart = std::function<std::optional<LogStart>()>;

    RunPairer(RunTotals& totals, LogWarnings& warnings) : Totals(totals), Warnings(warnings) {}

    // Begins the log for the warnings and the totals too.
    void BeginLog(const LogFile& file);
    void AddRecords(const LineRecord* records, size_t count) override;
    // Hands on the log's last run, and ends the log for the warnings.
    // Without next, the log is the newest: nothing began after its last run.
    void EndLog(const NextLogStart& next = nullptr);

private:
    // A record that AddRecords does not take straight through.
    [[gnu::noinline]] void AddRecord(const Record& record, uint64_t line);
    void OpenRun(const Record& record, uint64_t line);
    // lastInLog: null, or for its log's last closing line what reads the next
    // log's start (nothing for the newest log).
    void CloseRun(const Record& record, uint64_t line, const NextLogStart* lastInLog);
    // The closing line held back, closed as it is found to be the log's last
    // or not.
    void CloseHeld(const NextLogStart* lastInLog);
    // The moment a log's last closing line was written, when the log's
    // modification time has its day and minute or the next.
    std::optional<Moment> ClosingByModification(int64_t key) const;
    // Whether an end in another month than its log's is after the next log's
    // first run began: then the log's time is a copy's.
    bool AfterNextStart(const Moment& end, const NextLogStart& nextStart);
    // Whether an end in a later month than its log's is more than
    // LogTimeSlack after the log's time, which it cannot be.
    bool AfterLogTime(const Moment& end) const;
    // A closing line whose moment the clock set back: a warning, and the end
    // unknown.
    void SetBack(uint64_t line);
    void HandOn(RunEnd ended, const Moment& end, uint64_t endLine);
    void HandOnUnknown();
    [[gnu::noinline]] void WarnNoSuchDay(const Record& record, uint64_t line);

    RunTotals& Totals;
    LogWarnings& Warnings;
    LocalZone Zone;

    // The log being read.
    LogMonth Month;
    MonthCalendar Calendar;
    // The local minute its modification time falls in and the one before, and
    // their day-minute keys, -1 without a modification time: the closing
    // lines that may be the log's last. And the instant, in Unix minutes.
    LocalMinute ModifiedLocal[2]{};
    int64_t ModifiedKey[2] = {-1, -1};
    int64_t ModifiedWritten = 0;
    // The next log's first UP, in Unix minutes, once it has been asked for.
    bool NextAsked = false;
    std::optional<int64_t> NextStart;

    // No run open; a run whose closing record is awaited; or its closing
    // record held back until it is known whether it is the log's last.
    enum { Closed, Open, Held } State = Closed;
    Moment OpenStart{};
    uint64_t OpenLine = 0;
    int OpenDay = 0;  // its UP's day of the month
    Record HeldRecord{};
    uint64_t HeldLine = 0;
};

}  // namespace report
