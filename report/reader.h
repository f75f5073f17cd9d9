// SPDX-License-Identifier: Apache-2.0
// The reader of a machine's logs: one streaming pass over its folder's
// monthly logs, oldest first, into the runs and their summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "report/model.h"
#include "report/record.h"
#include "report/times.h"
#include "report/vocabulary.h"

namespace report {

struct ReadOptions {
    // The runs that start on or after Since and on or before Until.
    std::optional<LocalDay> Since;
    std::optional<LocalDay> Until;
    // The newest run is running rather than crashed when its last sign of life
    // is no more than 2 minutes before this.
    LocalMinute Now{};
    // Keep the selected runs in MachineReport::Runs (the table, JSON, CSV,
    // the picture).
    bool KeepRuns = false;
    // Keep the warnings in MachineReport::Warnings (JSON).
    bool KeepWarnings = false;
    // Called with each warning as it is found, kept or not.
    std::function<void(const Warning&)> OnWarning;
};

// A folder that cannot be listed.
class FolderError : public std::runtime_error {
public:
    FolderError(std::string folder, const std::string& message);
    std::string Folder;
};

// A month's log found in a folder.
struct LogFile {
    std::string Name;  // "2026_3.log"
    LogMonth Month;
};

// The folder's logs in the order they are read: by year, then month. The
// folder is a UTF-8 path. Throws FolderError.
std::vector<LogFile> ListLogs(const std::string& folder);

// Reads every log of the folder (a UTF-8 path). Throws FolderError.
MachineReport ReadMachine(const std::string& folder, const ReadOptions& options);
// Reads the logs of the folder listed already by ListLogs; one that cannot
// be opened is a warning.
MachineReport ReadMachine(const std::string& folder, const std::vector<LogFile>& logs, const ReadOptions& options);

// The reader itself, fed one log after another, oldest first, with the
// bytes of each as they come.
class MachineReader {
public:
    MachineReader(std::string folder, ReadOptions options);

    void BeginFile(const LogFile& file);
    void Feed(const char* data, size_t size);
    // A log that could not be read: a warning for line 0.
    void FileProblem(const std::string& problem);
    void EndFile();
    MachineReport Finish();

    // The longest record the reader takes; a longer line is damaged.
    static constexpr size_t LongestRecord = 65536;

private:
    struct Closed {
        LocalMinute Start;
        LocalMinute End;
        RunEnd Ended;
        uint64_t Line;
    };

    const char* FastLine(const char* p, const char* end);
    void Segment(std::string_view text, char terminator);
    void AppendCarry(const char* from, const char* to);
    // Reads the line carried across pieces, ended by an LF or a NUL; by '\0'
    // too at the end of the file.
    void FlushCarry(char terminator);
    void Handle(RecordKind kind, int day, int64_t value);
    void CloseRun(RunEnd ended, LocalMinute end);
    void Collect(const Closed& run);
    void Warn(uint64_t line, std::string problem);

    ReadOptions Options;
    MachineReport Report;
    std::optional<LocalMinute> SinceMoment;
    std::optional<LocalMinute> BeforeMoment;  // the day after Until

    // The file being read.
    std::string FileName;
    int FileIndex = -1;
    LogMonth Month;
    uint64_t Line = 1;
    bool Carrying = false;
    bool Overlong = false;
    std::string Carry;

    // The run whose closing record is awaited.
    bool Open = false;
    LocalMinute OpenStart{};
    uint64_t OpenLine = 0;

    // The last run read and the last one selected.
    int LastRunFile = -1;
    bool LastRunSelected = false;
    bool HavePrevious = false;
    LocalMinute PreviousEnd{};
    RunEnd LastEnded = RunEnd::Unknown;
    // Summary::LastCrashEnd before the last crash, for when that one is running.
    std::optional<LocalMinute> CrashEndBeforeLast;
};

// The run's end as the outputs spell it: "down", "pdown", "crash", "unknown", "running".
std::string_view EndName(RunEnd ended);

}  // namespace report
