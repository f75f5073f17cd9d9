// SPDX-License-Identifier: Apache-2.0
// Where a machine's logs begin, from the start of each log in turn.
#include "report/read/logs-begin.h"

#include <string>

#include "report/read/input-file.h"
#include "report/read/line-framer.h"

namespace report {

namespace {

// A log's first UP record is its first line, but where the log is damaged:
// this much of its start is read for it.
constexpr size_t StartBytes = 64 * 1024;

// The first UP record of a log on a day its month has.
class FirstUpOfMonth final : public RecordSink {
public:
    explicit FirstUpOfMonth(const LogMonth& month) : Calendar(month.Year, month.Month) {}
    void AddRecords(const LineRecord* records, size_t count) override
    {
        for (size_t i = 0; i < count && !Found; i++)
            if (records[i].Fields.Kind == RecordKind::Up)
                Found = Calendar.MomentOf(records[i].Fields.Day, static_cast<int>(records[i].Fields.Value));
    }

    MonthCalendar Calendar;
    std::optional<LocalMinute> Found;
};

}  // namespace

std::optional<LocalMinute> LogsBegin(const std::filesystem::path& folder, const std::vector<LogFile>& logs)
{
    std::string start(StartBytes, '\0');
    for (const LogFile& log : logs) {
        InputFile file;
        std::string ignored;
        if (!file.Open(folder / log.Name, ignored))
            continue;
        int64_t count = file.ReadAt(0, start.data(), start.size());
        if (count <= 0)
            continue;
        FirstUpOfMonth first(log.Month);
        LineFramer lines(first);
        lines.BeginFile();
        lines.Feed(start.data(), static_cast<size_t>(count));
        lines.EndFile();
        if (first.Found)
            return first.Found;
    }
    return std::nullopt;
}

}  // namespace report
