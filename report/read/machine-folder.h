// SPDX-License-Identifier: Apache-2.0
// A machine's folder read: its monthly logs listed, then read oldest first
// in one streaming pass, through the line framer and the pairer into the
// totals builder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "report/core/model.h"
#include "report/read/log-name.h"
#include "report/read/read-options.h"

namespace report {

// The most of a log that is read, the most the service writes: a file that
// holds more is no log of its own, and must not keep the report for ever.
inline constexpr int64_t MostLogBytes = int64_t{1} << 31;

// A folder that cannot be listed.
class FolderError : public std::runtime_error {
public:
    FolderError(std::string folder, const std::string& message);
    std::string Folder;  // UTF-8, as it is shown
};

// The system's message for a folder or file that cannot be read, as every
// such error words it.
std::string FolderProblem(const std::error_code& error);

// The folder's logs in the order they are read: by year, then month; any
// file with a log's name but a folder. Given nearly, also the names of the
// files named nearly as logs (NearLogName), in no order. Throws FolderError.
std::vector<LogFile> ListLogs(const std::filesystem::path& folder, std::vector<std::string>* nearly = nullptr);

// Reads the logs of the folder, as ListLogs listed them, as InputFile opens
// them; one that cannot be opened, or is no regular file, is a warning for
// line 0 with the reason, and so is one longer than MostLogBytes, of which
// the rest is not read. The report's Folder is the folder's UTF-8 text.
MachineReport ReadMachine(const std::filesystem::path& folder, const std::vector<LogFile>& logs,
                          const ReadOptions& options);

}  // namespace report
