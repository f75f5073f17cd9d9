// SPDX-License-Identifier: Apache-2.0
// The run builder: pairs a machine's records, log after log, into runs, and
// keeps the summary of the selected ones.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "report/core/model.h"
#include "report/read/line-framer.h"
#include "report/read/log-name.h"
#include "report/read/machine-folder.h"

namespace report {

// A log's first UP record, and the log's month.
struct LogStart {
    LogMonth Month;
    Record Up;
};

// Each UP record opens a run, which the next closing record of the same log
// closes; a run still open at the end of its log, or at the next UP, has an
// unknown end. A run is counted in the summary once its ending is final: the
// newest run's only when the folder is done, for it may still be running.
//
// A closing line holds a day and a minute, not the month: it is the first
// such moment at or after the run's start, with two exceptions. The log's
// modification time is when its last run's closing line was written, and
// where it has that day and minute (or the minute after) it is the run's
// closing moment, whatever the month and whichever of a repeated hour; in a
// log older than another, only when that is not after the next log's first
// run began, since a copied log's time may be any. A closing line that reads
// earlier than its UP on the same day is the repeated hour when the clocks
// went back that day, and otherwise the clock set back: the run's end is
// unknown.
class RunBuilder : public RecordSink {
public:
    // Reads the next log's first UP record, if it has one.
    using NextLogStart = std::function<std::optional<LogStart>()>;

    explicit RunBuilder(ReadOptions options);

    void BeginFile(const LogFile& file);
    void AddRecords(const LineRecord* records, size_t count) override;
    // A log that could not be read: a warning for line 0, and the report
    // incomplete, for this reason when it is the first.
    void FileProblem(const std::string& problem);
    // A warning for line 0, on the log as a whole.
    void FileWarning(const std::string& problem);
    // Without next, the log is the newest: nothing began after its last run.
    void EndFile(const NextLogStart& next = nullptr);
    MachineReport Finish();

private:
    // A selected run as it is read, before it is kept: no copy of its file's
    // name unless the runs are kept.
    struct ReadRun {
        Moment Start;
        Moment End;
        RunEnd Ended;
        uint64_t Line;
        int64_t DowntimeBefore;
        int File;
        PowerOffAnswer PowerOff;
    };

    void AddRecord(const Record& record, uint64_t line);
    // lastInLog: null, or for its log's last closing line what reads the next
    // log's start (nothing for the newest log).
    void CloseRun(const Record& record, uint64_t line, const NextLogStart* lastInLog);
    // The closing line that may be the log's last, closed as it is found
    // to be or not to be.
    void ClosePending(const NextLogStart* lastInLog);
    // The moment a log's last closing line was written, when the log's
    // modification time has its day and minute or the next.
    std::optional<Moment> ClosingByModification(int day, int minute) const;
    // Whether an end in a later month than its log's is after the next log's
    // first run began: then the log's time is a copy's.
    bool AfterNextStart(const Moment& end, int day, int minute, const NextLogStart& nextStart);
    void AddRun(RunEnd ended, const Moment& end, uint64_t endLine);
    void CountEnding(const ReadRun& run);
    void KeepRun(const ReadRun& run);
    // Counts a warning of the log; true when it is to be passed on.
    bool Passed();
    void Pass(uint64_t line, std::string problem);
    void Warn(uint64_t line, const char* problem);
    // The warnings of AddRecord and AddRun, out of their way.
    void WarnNoSuchDay(const Record& record, uint64_t line);
    void WarnNothingToClose(const Record& record, uint64_t line);
    void WarnClockSetBack(int64_t gap);
    void WarnAfterNow(uint64_t line);

    ReadOptions Options;
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

    // The log being read.
    std::string FileName;
    int FileIndex = -1;
    int64_t FileWarnings = 0;
    LogMonth Month;
    MonthCalendar Calendar;
    // The local minute its modification time falls in and the one before;
    // as a closing line's day * 1440 + minute, -1 without a modification time:
    // the closing lines that may be the log's last. And the instant, in Unix
    // minutes.
    LocalMinute ModifiedLocal[2]{};
    int64_t ModifiedKey[2] = {-1, -1};
    int64_t ModifiedWritten = 0;

    // The run whose closing record is awaited, and a closing record held
    // back until it is known whether it is the log's last.
    bool Open = false;
    Moment OpenStart{};
    uint64_t OpenLine = 0;
    bool Pending = false;
    Record PendingRecord{};
    uint64_t PendingLine = 0;

    // The selected runs' moments, which the summary takes when there are
    // any: kept here, as plain values, while every run passes by.
    Moment FirstStart{};
    Moment LastStart{};
    Moment LastEnd{};
    int64_t LongestRun = -1;
    Moment LongestRunStart{};
    int64_t LongestDowntime = -1;
    Moment LongestDowntimeStart{};
    // The newest run read, when it is selected: its ending is not final yet.
    bool HaveNewest = false;
    ReadRun Newest{};
    std::string NewestFileName;  // when the runs are kept
    // How many runs ended each way, and the latest end of each.
    int64_t EndCount[RunEndCount] = {};
    Moment LatestEnd[RunEndCount];
};

}  // namespace report
