// SPDX-License-Identifier: Apache-2.0
// The reader of a machine's logs: the folder listed, each log's bytes framed
// into records, and the records paired into runs and totals.
#include "report/reader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "report/utf8.h"

namespace report {

using namespace std::chrono;

namespace {

// The system's message without the trailing blanks and full stop some hosts add.
std::string Message(const std::error_code& error)
{
    std::string text = error.message();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The words are a few letters: compared here, not by a call to memcmp.
bool Spells(const char* text, size_t length, std::string_view word)
{
    if (length != word.size())
        return false;
    for (size_t i = 0; i < length; i++) {
        if (text[i] != word[i])
            return false;
    }
    return true;
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

MachineReader::MachineReader(std::string folder, ReadOptions options) : Options(std::move(options))
{
    Report.Folder = std::move(folder);
    if (Options.Since)
        SinceMoment = LocalMinute{*Options.Since};
    if (Options.Until)
        BeforeMoment = LocalMinute{*Options.Until + days{1}};
}

void MachineReader::BeginFile(const LogFile& file)
{
    FileName = file.Name;
    FileIndex++;
    Month = file.Month;
    Line = 1;
    Carrying = false;
    Overlong = false;
    Carry.clear();
    Open = false;
}

void MachineReader::Feed(const char* data, size_t size)
{
    const char* p = data;
    const char* end = data + size;
    auto terminator = [end](const char* at) {
        while (at != end && *at != '\n' && *at != '\0')
            ++at;
        return at;
    };
    if (Carrying) {
        const char* stop = terminator(p);
        AppendCarry(p, stop);
        if (stop == end)
            return;
        FlushCarry(*stop);
        p = stop + 1;
    }
    while (p != end) {
        if (const char* next = FastLine(p, end)) {
            p = next;
            continue;
        }
        const char* stop = terminator(p);
        if (stop == end) {
            Carrying = true;
            AppendCarry(p, end);
            return;
        }
        Segment(std::string_view(p, static_cast<size_t>(stop - p)), *stop);
        p = stop + 1;
    }
}

// The usual line, "D M WORD" with trailing blanks and CR LF, read straight
// from the bytes; nullptr for anything else, which Segment reads.
const char* MachineReader::FastLine(const char* p, const char* end)
{
    const char* q = p;
    if (q == end || !IsDigit(*q))
        return nullptr;
    int day = *q++ - '0';
    if (q != end && IsDigit(*q))
        day = day * 10 + (*q++ - '0');
    if (day < 1 || day > 31 || q == end || *q != ' ')
        return nullptr;
    ++q;
    const char* digits = q;
    int minute = 0;
    while (q != end && IsDigit(*q) && q - digits < 4)
        minute = minute * 10 + (*q++ - '0');
    if (q == digits || minute > 1439 || q == end || *q != ' ')
        return nullptr;
    ++q;
    const char* word = q;
    while (q != end && *q >= 'A' && *q <= 'Z')
        ++q;
    size_t length = static_cast<size_t>(q - word);
    RecordKind kind;
    if (Spells(word, length, words::Up))
        kind = RecordKind::Up;
    else if (Spells(word, length, words::Crash))
        kind = RecordKind::Crash;
    else if (Spells(word, length, words::Down))
        kind = RecordKind::Down;
    else if (Spells(word, length, words::Pdown))
        kind = RecordKind::Pdown;
    else
        return nullptr;
    while (q != end && (*q == ' ' || *q == '\t'))
        ++q;
    if (static_cast<size_t>(q - p) > LongestRecord)
        return nullptr;
    if (q != end && *q == '\r')
        ++q;
    if (q == end || *q != '\n')
        return nullptr;
    Handle(kind, day, minute);
    Line++;
    return q + 1;
}

void MachineReader::Segment(std::string_view text, char terminator)
{
    if (terminator == '\n' && !text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    // Too long for a record, as when its bytes come in pieces.
    Record record = text.size() > LongestRecord ? Record{RecordKind::Damaged, 0, 0} : ParseRecord(text);
    Handle(record.Kind, record.Day, record.Value);
    if (terminator == '\n')
        Line++;
}

void MachineReader::AppendCarry(const char* from, const char* to)
{
    size_t count = static_cast<size_t>(to - from);
    // Room for the longest record and the CR before its LF.
    if (Overlong || Carry.size() + count > LongestRecord + 1) {
        Overlong = true;
        Carry.clear();
        Carry.shrink_to_fit();
        return;
    }
    Carry.append(from, count);
}

void MachineReader::FlushCarry(char terminator)
{
    Carrying = false;
    if (Overlong) {
        // Its bytes are gone: too long for a record, it is damaged.
        Overlong = false;
        Handle(RecordKind::Damaged, 0, 0);
        if (terminator == '\n')
            Line++;
        return;
    }
    std::string text = std::move(Carry);
    Carry.clear();
    Segment(text, terminator);
}

void MachineReader::FileProblem(const std::string& problem)
{
    Warn(0, problem);
}

void MachineReader::EndFile()
{
    // The last line, without its LF.
    if (Carrying)
        FlushCarry('\0');
    if (Open)
        CloseRun(RunEnd::Unknown, OpenStart);
}

void MachineReader::Handle(RecordKind kind, int day, int64_t value)
{
    switch (kind) {
    case RecordKind::Blank:
    case RecordKind::Apdown: return;
    case RecordKind::Damaged: Warn(Line, "damaged line"); return;
    case RecordKind::Up:
        if (Open)
            CloseRun(RunEnd::Unknown, OpenStart);
        if (std::optional<LocalMinute> start = MomentIn(Month.Year, Month.Month, day, static_cast<int>(value))) {
            Open = true;
            OpenStart = *start;
            OpenLine = Line;
        } else {
            Open = false;
            Warn(Line, std::string(words::Up) + " on day " + std::to_string(day) + ", which " +
                           FormatDay(local_days{year{Month.Year} / Month.Month / 1}).substr(0, 7) + " does not have");
        }
        return;
    case RecordKind::Crash:
    case RecordKind::Down:
    case RecordKind::Pdown: {
        if (!Open) {
            Warn(Line, std::string(KindWord(kind)) + " line without a run to close");
            return;
        }
        std::optional<LocalMinute> end = MomentIn(Month.Year, Month.Month, day, static_cast<int>(value));
        if (!end || *end < OpenStart)
            end = ClosingMoment(OpenStart, day, static_cast<int>(value));
        RunEnd ended = kind == RecordKind::Crash  ? RunEnd::Crash
                       : kind == RecordKind::Down ? RunEnd::Down
                                                  : RunEnd::Pdown;
        CloseRun(ended, *end);
        return;
    }
    }
}

void MachineReader::CloseRun(RunEnd ended, LocalMinute end)
{
    Open = false;
    Collect({OpenStart, end, ended, OpenLine});
}

void MachineReader::Collect(const Closed& run)
{
    LastRunFile = FileIndex;
    LastRunSelected = (!SinceMoment || run.Start >= *SinceMoment) && (!BeforeMoment || run.Start < *BeforeMoment);
    if (!LastRunSelected)
        return;
    LastEnded = run.Ended;

    Summary& totals = Report.Totals;
    int64_t length = (run.End - run.Start).count();
    totals.Runs++;
    switch (run.Ended) {
    case RunEnd::Down: totals.Down++; break;
    case RunEnd::Pdown:
        totals.Pdown++;
        if (!totals.LastPdownEnd || run.End > *totals.LastPdownEnd)
            totals.LastPdownEnd = run.End;
        break;
    case RunEnd::Crash:
        totals.Crash++;
        CrashEndBeforeLast = totals.LastCrashEnd;
        if (!totals.LastCrashEnd || run.End > *totals.LastCrashEnd)
            totals.LastCrashEnd = run.End;
        break;
    case RunEnd::Unknown: totals.Unknown++; break;
    case RunEnd::Running: totals.Running++; break;
    }
    if (!totals.FirstStart)
        totals.FirstStart = run.Start;
    totals.LastStart = run.Start;
    totals.LastEnd = run.End;
    totals.UptimeMinutes += length;
    if (!totals.LongestRunStart || length > totals.LongestRunMinutes) {
        totals.LongestRunMinutes = length;
        totals.LongestRunStart = run.Start;
    }
    int64_t gap = 0;
    if (HavePrevious) {
        gap = (run.Start - PreviousEnd).count();
        if (gap < 0) {
            Warn(run.Line, "starts " + FormatDuration(-gap) + " before the previous run's end (clock set back?)");
            gap = 0;
        }
        totals.DowntimeMinutes += gap;
        if (!totals.LongestDowntimeStart || gap > totals.LongestDowntimeMinutes) {
            totals.LongestDowntimeMinutes = gap;
            totals.LongestDowntimeStart = PreviousEnd;
        }
    }
    HavePrevious = true;
    PreviousEnd = run.End;
    if (Options.KeepRuns)
        Report.Runs.push_back({run.Start, run.End, length, run.Ended, FileName, run.Line, gap});
}

void MachineReader::Warn(uint64_t line, std::string problem)
{
    Report.Totals.Warnings++;
    Warning warning{FileName, line, std::move(problem)};
    if (Options.OnWarning)
        Options.OnWarning(warning);
    if (Options.KeepWarnings)
        Report.Warnings.push_back(std::move(warning));
}

MachineReport MachineReader::Finish()
{
    Summary& totals = Report.Totals;
    // The newest run of all, whose last sign of life is recent, is still running.
    if (LastRunSelected && LastRunFile == FileIndex && LastEnded == RunEnd::Crash &&
        *totals.LastEnd >= Options.Now - minutes{2}) {
        totals.Crash--;
        totals.Running++;
        totals.LastCrashEnd = CrashEndBeforeLast;
        if (Options.KeepRuns)
            Report.Runs.back().Ended = RunEnd::Running;
    }
    int64_t total = totals.UptimeMinutes + totals.DowntimeMinutes;
    if (total > 0)
        totals.Availability = static_cast<double>(totals.UptimeMinutes) / static_cast<double>(total);
    return std::move(Report);
}

std::string_view EndName(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Down: return "down";
    case RunEnd::Pdown: return "pdown";
    case RunEnd::Crash: return "crash";
    case RunEnd::Unknown: return "unknown";
    case RunEnd::Running: return "running";
    }
    return "unknown";
}

}  // namespace report
