// SPDX-License-Identifier: Apache-2.0
// A machine's folder read: the folder listed and each log read in large
// blocks, one after another.
#include "report/read/machine-folder.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "report/core/utf8.h"
#include "report/read/input-file.h"
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

std::vector<LogFile> ListLogs(const std::filesystem::path& folder, std::vector<std::string>* nearly)
{
    std::vector<LogFile> logs;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::string name = Utf8Of(entries->path().filename());
        std::optional<LogMonth> month = ParseLogName(name);
        // Anything but a folder is listed, a link too, as the listing tells
        // it without a look at each file: what it is, the reading asks of the
        // file it opens.
        bool near = !month && nearly && NearLogName(name);
        std::error_code statusError;
        if (!(month || near) || (!entries->is_symlink(statusError) && entries->is_directory(statusError)))
            continue;
        if (month)
            logs.push_back({name, *month});
        else
            nearly->push_back(name);
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

// A log's bytes read into lines: from offset 0, at most MostLogBytes, a
// hole as one NUL, which stands for its zeros. False when a read fails.
bool FrameBytes(InputFile& file, std::vector<char>& buffer, LineFramer& lines)
{
    static const char zero = '\0';
    int64_t at = 0;
    while (at < MostLogBytes) {
        int64_t first;
        int64_t last;
        file.NextData(at, first, last);
        if (first < 0 || first >= MostLogBytes) {
            if (at < std::min(file.Size(), MostLogBytes))
                lines.Feed(&zero, 1);
            return true;
        }
        if (first > at)
            lines.Feed(&zero, 1);
        for (at = first, last = std::min(last, MostLogBytes); at < last;) {
            int64_t asked = std::min<int64_t>(BlockSize, last - at);
            int64_t count = file.ReadAt(at, buffer.data(), static_cast<size_t>(asked));
            if (count <= 0)
                return count == 0;
            lines.Feed(buffer.data(), static_cast<size_t>(count));
            at += count;
            // Short, up to the length it had when opened: the end, without
            // a read more to say so.
            if (count < asked && at >= file.Size())
                return true;
        }
    }
    return true;
}

// Frames one log into lines; false, with the reason, when it cannot be
// opened or read to its end.
bool FrameLog(InputFile& file, std::vector<char>& buffer, LineFramer& lines, std::string& problem)
{
    lines.BeginFile();
    bool read = FrameBytes(file, buffer, lines);
    lines.EndFile();
    if (!read)
        problem = "cannot be read to its end";
    return read;
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
        InputFile file;
        bool opened = file.Open(folder / logs[i].Name, problem);
        // Its time as the file that is read has it.
        LogFile log = logs[i];
        log.Modified = file.Modified();
        runs.BeginFile(log);
        if (!opened)
            runs.FileProblem("cannot be opened: " + problem);
        else if (file.Size() > MostLogBytes)
            runs.FileWarning("longer than the " + std::to_string(MostLogBytes) +
                             " bytes the service writes at most: the rest is not read");
        if (opened && !FrameLog(file, buffer, lines, problem))
            runs.FileProblem(problem);
        if (i + 1 == logs.size()) {
            runs.EndFile();
            break;
        }
        const LogFile& next = logs[i + 1];
        runs.EndFile([&]() -> std::optional<LogStart> {
            FirstUp first;
            LineFramer framer(first);
            InputFile nextFile;
            std::string ignored;
            if (nextFile.Open(folder / next.Name, ignored))
                FrameLog(nextFile, buffer, framer, ignored);
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
