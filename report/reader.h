// SPDX-License-Identifier: Apache-2.0
// The reader of a machine's logs: one streaming pass over the monthly logs of
// its folder, oldest first, through the line framer into the run builder.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/line-reader.h"
#include "report/model.h"
#include "report/run-builder.h"

namespace report {

// A folder that cannot be listed.
class FolderError : public std::runtime_error {
public:
    FolderError(std::string folder, const std::string& message);
    std::string Folder;
};

// The folder's logs in the order they are read: by year, then month. The
// folder is a UTF-8 path. Throws FolderError.
std::vector<LogFile> ListLogs(const std::string& folder);

// Reads every log of the folder (a UTF-8 path). Throws FolderError.
MachineReport ReadMachine(const std::string& folder, const ReadOptions& options);
// Reads the logs of the folder listed already by ListLogs; one that cannot
// be opened is a warning.
MachineReport ReadMachine(const std::string& folder, const std::vector<LogFile>& logs, const ReadOptions& options);

// A machine's logs fed as bytes, one log after another, oldest first.
class MachineReader {
public:
    MachineReader(std::string folder, ReadOptions options) : Runs(std::move(folder), std::move(options)) {}

    void BeginFile(const LogFile& file)
    {
        Runs.BeginFile(file);
        Lines.BeginFile();
    }
    void Feed(const char* data, size_t size) { Lines.Feed(data, size); }
    void FileProblem(const std::string& problem) { Runs.FileProblem(problem); }
    void EndFile()
    {
        Lines.EndFile();
        Runs.EndFile();
    }
    MachineReport Finish() { return Runs.Finish(); }

private:
    RunBuilder Runs;
    LineReader Lines{Runs};
};

}  // namespace report
