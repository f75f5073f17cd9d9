// SPDX-License-Identifier: Apache-2.0
// The run builder: pairs a machine's records, log after log, into runs, and
// keeps the summary of the selected ones.
#pragma once

#include <string>

#include "report/core/model.h"
#include "report/read/line-framer.h"
#include "report/read/log-name.h"
#include "report/read/machine-folder.h"

namespace report {

// Each UP record opens a run, which the next closing record of the same log
// closes; a run still open at the end of its log, or at the next UP, has an
// unknown end. A run is counted in the summary once its ending is final: the
// newest run's only when the folder is done, for it may still be running.
class RunBuilder : public RecordSink {
public:
    explicit RunBuilder(ReadOptions options);

    void BeginFile(const LogFile& file);
    void AddRecords(const LineRecord* records, size_t count) override;
    // A log that could not be read: a warning for line 0.
    void FileProblem(const std::string& problem);
    void EndFile();
    MachineReport Finish();

private:
    // A selected run as it is read, before it is kept: no copy of its file's
    // name unless the runs are kept.
    struct ReadRun {
        LocalMinute Start;
        LocalMinute End;
        RunEnd Ended;
        uint64_t Line;
        int64_t DowntimeBefore;
        int File;
        PowerOffAnswer PowerOff;
    };

    void AddRecord(const Record& record, uint64_t line);
    void AddRun(RunEnd ended, LocalMinute end);
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

    ReadOptions Options;
    MachineReport Report;
    // The selection's bounds: from Since, before the day after Until.
    LocalMinute SinceMoment = LocalMinute::min();
    LocalMinute BeforeMoment = LocalMinute::max();

    // The log being read.
    std::string FileName;
    int FileIndex = -1;
    int64_t FileWarnings = 0;
    LogMonth Month;
    MonthCalendar Calendar;

    // The run whose closing record is awaited.
    bool Open = false;
    LocalMinute OpenStart{};
    uint64_t OpenLine = 0;

    // The selected runs' moments, which the summary takes when there are
    // any: kept here, as plain values, while every run passes by.
    LocalMinute FirstStart{};
    LocalMinute LastStart{};
    LocalMinute LastEnd{};
    int64_t LongestRun = -1;
    LocalMinute LongestRunStart{};
    int64_t LongestDowntime = -1;
    LocalMinute LongestDowntimeStart{};
    // The newest run read, when it is selected: its ending is not final yet.
    bool HaveNewest = false;
    ReadRun Newest{};
    std::string NewestFileName;  // when the runs are kept
    // How many runs ended each way, and the latest end of each.
    int64_t EndCount[RunEndCount] = {};
    LocalMinute LatestEnd[RunEndCount];
};

}  // namespace report
