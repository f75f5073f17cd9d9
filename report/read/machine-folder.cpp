// SPDX-License-Identifier: Apache-2.0
// A machine's folder read: the folder listed and each log read in large
// blocks, one after another.
#include "report/read/machine-folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <optional>
#include <utility>

#include "report/core/utf8.h"
#include "report/read/line-framer.h"
#include "report/read/run-builder.h"

namespace report {

FolderError::FolderError(std::string folder, const std::string& message)
    : std::runtime_error(message), Folder(std::move(folder))
{
}

std::string FolderProblem(const std::error_code& error)
{
    // Without the trailing blanks and full stop some hosts add.
    std::string text = error.message();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::vector<LogFile> ListLogs(const std::filesystem::path& folder)
{
    std::vector<LogFile> logs;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::string name = Utf8Of(entries->path().filename());
        std::optional<LogMonth> month = ParseLogName(name);
        std::error_code statusError;
        if (!month || !entries->is_regular_file(statusError))
            continue;
        LogFile& log = logs.emplace_back(LogFile{name, *month, std::nullopt});
        std::filesystem::file_time_type modified = entries->last_write_time(statusError);
        if (!statusError)
            log.Modified = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::file_clock::to_sys(modified).time_since_epoch())
                               .count();
    }
    if (error)
        throw FolderError(Utf8Of(folder), FolderProblem(error));
    std::sort(logs.begin(), logs.end(), [](const LogFile& a, const LogFile& b) {
        return std::pair(a.Month.Year, a.Month.Month) < std::pair(b.Month.Year, b.Month.Month);
    });
    return logs;
}

namespace {

// Each log is read in blocks of this size.
constexpr size_t BlockSize = 256 * 1024;

// Frames one log, read in blocks, into lines; false, with the system's
// reason, when it cannot be opened or read to its end.
bool FrameLog(const std::filesystem::path& path, std::vector<char>& buffer, LineFramer& lines, std::string& problem)
{
    lines.BeginFile();
    errno = 0;
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        problem = "cannot be opened";
        if (errno != 0)
            problem += ": " + FolderProblem(std::error_code(errno, std::generic_category()));
        lines.EndFile();
        return false;
    }
    // A block read short is the end of the file, or an error.
    while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || file.gcount() > 0)
        lines.Feed(buffer.data(), static_cast<size_t>(file.gcount()));
    lines.EndFile();
    if (file.bad()) {
        problem = "cannot be read to its end";
        return false;
    }
    return true;
}

// The first UP record of a log.
class FirstUp final : public RecordSink {
public:
    void AddRecords(const LineRecord* records, size_t count) override
    {
        for (size_t i = 0; i < count && !Found; i++)
            if (records[i].Fields.Kind == RecordKind::Up)
                Found = records[i].Fields;
    }

    std::optional<Record> Found;
};

}  // namespace

MachineReport ReadMachine(const std::filesystem::path& folder, const std::vector<LogFile>& logs,
                          const ReadOptions& options)
{
    RunBuilder runs(options);
    LineFramer lines(runs);
    std::vector<char> buffer(BlockSize);
    std::string problem;
    for (size_t i = 0; i < logs.size(); i++) {
        runs.BeginFile(logs[i]);
        if (!FrameLog(folder / logs[i].Name, buffer, lines, problem))
            runs.FileProblem(problem);
        if (i + 1 == logs.size()) {
            runs.EndFile();
            break;
        }
        const LogFile& next = logs[i + 1];
        runs.EndFile([&]() -> std::optional<LogStart> {
            FirstUp first;
            LineFramer framer(first);
            std::string ignored;
            FrameLog(folder / next.Name, buffer, framer, ignored);
            if (!first.Found)
                return std::nullopt;
            return LogStart{next.Month, *first.Found};
        });
    }
    MachineReport report = runs.Finish();
    report.Folder = Utf8Of(folder);
    return report;
}

}  // namespace report
