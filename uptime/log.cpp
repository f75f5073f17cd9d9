#include "uptime/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "uptime/text.h"

char LogPath[MAX_PATH];
int32_t RecordOffset;
// The log's length after the last record write, -1 when unknown. A rewrite
// that keeps it sets no length: ext4 journals a length change even when the
// length stays the same.
static int64_t LogLength = -1;

// Room for the longest record: the APDOWN line with a path of MAX_PATH - 1
// characters and two numbers of eleven characters each.
static const int RecordLineSize = MAX_PATH + 64;

int MinuteOfDay(const SYSTEMTIME& time)
{
    return time.wHour * 60 + time.wMinute;
}

int32_t WriteLogRecord(int32_t offset, const char* format, ...)
{
    char line[RecordLineSize];
    char stored[2 * RecordLineSize];

    if (offset < 0 || LogPath[0] == '\0')
        return -1;

    va_list values;
    va_start(values, format);
    int length = vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (length < 0 || length >= RecordLineSize)
        return -1;
    size_t count = StoreText(line, stored);

    FileId file = OpenFileForUpdate(LogPath, offset == 0);
    if (file == NoFile)
        return -1;
    int64_t end = -1;
    int64_t kept = -1;
    if (offset == 0) {
        int64_t at = SeekFileEnd(file);
        if (at >= 0 && WriteFileBytesAt(file, at, stored, count))
            end = kept = at + static_cast<int64_t>(count);
    } else if (WriteFileBytesAt(file, offset, stored, count)) {
        // The line goes in before the length is set behind it, so that a
        // process ending in between leaves a closing line of the run, old or
        // new, and never none. Only when the new line is shorter than the
        // old one (past midnight, at the month's end, PDOWN over DOWN) does
        // that instant leave the old line's last bytes as a short line of
        // their own.
        end = offset + static_cast<int64_t>(count);
        if (end == LogLength || SetFileLength(file, end))
            kept = end;
    }
    // The line is in the file whatever the flush says; its offset stays valid.
    FlushFileToDisk(file);
    CloseFileId(file);
    LogLength = kept;
    // An offset past the 32-bit range would turn later writes into appends.
    return end > INT32_MAX ? -1 : static_cast<int32_t>(end);
}

void WriteDownRecord()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteLogRecord(RecordOffset, DownFormat, now.wDay, MinuteOfDay(now));
}
