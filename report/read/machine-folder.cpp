// SPDX-License-Identifier: Apache-2.0
// A machine's folder read: the folder listed and each log read in large
// blocks, one after another.
#include "report/read/machine-folder.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "report/core/utf8.h"
#include "report/read/input-file.h"
#include "report/read/line-framer.h"
#include "report/read/log-warnings.h"
#include "report/read/run-pairer.h"
#include "report/read/run-totals.h"

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

// Each log is read in blocks of this size; its first lines alone, for the
// log before it, fed in pieces of this one.
constexpr size_t BlockSize = 256 * 1024;
constexpr size_t FirstLinesPiece = 256;

// A log opened, or why it cannot be; and where the block of it last read
// into the buffer lies, which a read of the same block takes as it is.
struct OpenLog {
    explicit OpenLog(const std::filesystem::path& path) { Opened = File.Open(path, Problem); }

    InputFile File;
    bool Opened;
    std::string Problem;
    int64_t BlockAt = -1;
    int64_t BlockCount = 0;
};

// A log's bytes read into lines: from offset 0, at most MostLogBytes, a
// hole as one NUL, which stands for its zeros; until done, when it is given.
// False when a read fails.
bool FrameBytes(OpenLog& log, char* buffer, LineFramer& lines, const bool* done = nullptr)
{
    static const char zero = '\0';
    InputFile& file = log.File;
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
            if (done && *done)
                return true;
            int64_t asked = std::min<int64_t>(BlockSize, last - at);
            int64_t count = at == log.BlockAt ? log.BlockCount : file.ReadAt(at, buffer, static_cast<size_t>(asked));
            log.BlockAt = at;
            log.BlockCount = count;
            if (count <= 0)
                return count == 0;
            // Read up to a line that is all that is asked: in small pieces,
            // not a whole block of lines that are not.
            for (size_t fed = 0, piece = done ? FirstLinesPiece : static_cast<size_t>(count);
                 fed < static_cast<size_t>(count); fed += piece) {
                if (done && *done)
                    return true;
                lines.Feed(buffer + fed, std::min(piece, static_cast<size_t>(count) - fed));
                if (done)
                    lines.Flush();
            }
            at += count;
            // Short, up to the length it had when opened: the end, without
            // a read more to say so.
            if (count < asked && at >= file.Size())
                return true;
        }
    }
    return true;
}

// Frames one log into lines; false, with the reason, when it cannot be read
// to its end.
bool FrameLog(OpenLog& log, char* buffer, LineFramer& lines)
{
    lines.BeginFile();
    bool read = FrameBytes(log, buffer, lines);
    lines.EndFile();
    if (!read)
        log.Problem = "cannot be read to its end";
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
        Done = Found.has_value();
    }

    std::optional<Record> Found;
    bool Done = false;
};

}  // namespace

MachineReport ReadMachine(const std::filesystem::path& folder, const std::vector<LogFile>& logs,
                          const ReadOptions& options)
{
    LogWarnings warnings(options);
    RunTotals totals(options, warnings);
    RunPairer runs(totals, warnings);
    LineFramer lines(runs);
    // Not cleared: a fleet's small logs touch only its first pages.
    std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(BlockSize);
    char* buffer = block.get();
    // Each log is opened and read once: the one after a log whose last
    // closing line asks for its first UP is read up to it, and stays open,
    // its block still in the buffer, to be read on in its turn.
    std::optional<OpenLog> open[2];
    for (size_t i = 0; i < logs.size(); i++) {
        std::optional<OpenLog>& log = open[i % 2];
        if (!log)
            log.emplace(folder / logs[i].Name);
        // Its time as the file that is read has it.
        LogFile file = logs[i];
        file.Modified = log->File.Modified();
        runs.BeginLog(file);
        if (!log->Opened)
            warnings.Problem("cannot be opened: " + log->Problem);
        else if (log->File.Size() > MostLogBytes)
            warnings.Warn(0, "longer than the " + std::to_string(MostLogBytes) +
                                 " bytes the service writes at most: the rest is not read");
        if (log->Opened && !FrameLog(*log, buffer, lines))
            warnings.Problem(log->Problem);
        log.reset();
        if (i + 1 == logs.size()) {
            runs.EndLog();
            break;
        }
        runs.EndLog([&, next = i + 1]() -> std::optional<LogStart> {
            std::optional<OpenLog>& ahead = open[next % 2];
            ahead.emplace(folder / logs[next].Name);
            if (!ahead->Opened)
                return std::nullopt;
            // Read up to its first UP, which is all that is asked of it now.
            FirstUp first;
            LineFramer framer(first);
            framer.BeginFile();
            FrameBytes(*ahead, buffer, framer, &first.Done);
            framer.EndFile();
            if (!first.Found)
                return std::nullopt;
            return LogStart{logs[next].Month, *first.Found};
        });
    }
    MachineReport report = totals.Finish();
    report.Folder = Utf8Of(folder);
    return report;
}

}  // namespace report
