// SPDX-License-Identifier: Apache-2.0
// The reader of a machine's logs: the folder listed and each log read in
// large blocks.
#include "report/reader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "report/utf8.h"

namespace report {

namespace {

// The system's message without the trailing blanks and full stop some hosts add.
std::string Message(const std::error_code& error)
{
    std::string text = error.message();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

FolderError::FolderError(std::string folder, const std::string& message)
    : std::runtime_error(message), Folder(std::move(folder))
{
}

std::vector<LogFile> ListLogs(const std::string& folder)
{
    std::vector<LogFile> logs;
    std::error_code error;
    std::filesystem::directory_iterator entries(PathOf(folder), error);
    if (error)
        throw FolderError(folder, Message(error));
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error)
            throw FolderError(folder, Message(error));
        std::string name = Utf8Of(entries->path().filename());
        std::optional<LogMonth> month = ParseLogName(name);
        std::error_code statusError;
        if (month && entries->is_regular_file(statusError))
            logs.push_back({name, *month});
    }
    if (error)
        throw FolderError(folder, Message(error));
    std::sort(logs.begin(), logs.end(), [](const LogFile& a, const LogFile& b) {
        return std::pair(a.Month.Year, a.Month.Month) < std::pair(b.Month.Year, b.Month.Month);
    });
    return logs;
}

MachineReport ReadMachine(const std::string& folder, const ReadOptions& options)
{
    return ReadMachine(folder, ListLogs(folder), options);
}

MachineReport ReadMachine(const std::string& folder, const std::vector<LogFile>& logs, const ReadOptions& options)
{
    MachineReader reader(folder, options);
    std::vector<char> buffer(256 * 1024);
    std::filesystem::path base = PathOf(folder);
    for (const LogFile& log : logs) {
        reader.BeginFile(log);
        std::filebuf file;
        if (!file.open(base / log.Name, std::ios::in | std::ios::binary)) {
            reader.FileProblem("cannot be opened");
        } else {
            for (;;) {
                std::streamsize count = file.sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                if (count <= 0)
                    break;
                reader.Feed(buffer.data(), static_cast<size_t>(count));
            }
        }
        reader.EndFile();
    }
    return reader.Finish();
}

}  // namespace report
