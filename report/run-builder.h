// SPDX-License-Identifier: Apache-2.0
// The run builder: pairs a machine's records, log after log, into runs, and
// keeps the summary of the selected ones.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "report/line-reader.h"
#include "report/model.h"
#include "report/moments.h"
#include "report/vocabulary.h"

namespace report {

struct ReadOptions {
    Selection Selected;
    PowerOffSchedule Schedule;
    // The newest run is running rather than crashed when its last sign of life
    // is no more than 2 minutes before this.
    LocalMinute Now{};
    // Keep the selected runs in MachineReport::Runs.
    bool KeepRuns = false;
    // Keep the warnings in MachineReport::Warnings.
    bool KeepWarnings = false;
    // Called with each warning as it is found, kept or not.
    std::function<void(const Warning&)> OnWarning;
};

// A month's log found in a folder.
struct LogFile {
    std::string Name;  // "2026_3.log"
    LogMonth Month;
};

// Each UP record opens a run, which the next closing record of the same log
// closes; a run still open at the end of its log, or at the next UP, has an
// unknown end. A run is counted in the summary once its ending is final: the
// newest run's only when the folder is done, for it may still be running.
class RunBuilder : public RecordSink {
public:
    RunBuilder(std::string folder, ReadOptions options);

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
    void Warn(uint64_t line, std::string problem);
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
    int64_t EndCount[5] = {};
    LocalMinute LatestEnd[5] = {LocalMinute::min(), LocalMinute::min(), LocalMinute::min(), LocalMinute::min(),
                                LocalMinute::min()};
};

}  // namespace report
