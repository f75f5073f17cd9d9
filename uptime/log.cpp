// SPDX-License-Identifier: Apache-2.0
// The monthly uptime log's writer: appends, and rewrites of the run's closing
// line at its saved offset.
#include "uptime/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "uptime/events.h"
#include "uptime/text.h"

char LogPath[PathSize];
int32_t RecordOffset;
SYSTEMTIME RunStart;
bool RecordWritesFailing;
WrittenLogEnd LogEnd;

// Reports a change between writes that work and writes that fail.
static void NoteRecordWrite(bool written, DWORD error)
{
    if (written && RecordWritesFailing) {
        SayServiceEvent(EventRecordWriteWorks, "can write %s again", LogPath);
    } else if (!written && !RecordWritesFailing) {
        char reason[SystemMessageSize];
        SystemMessage(error, reason);
        SayServiceEvent(EventRecordWriteFailed, "cannot write %s: %s", LogPath, reason);
    }
    RecordWritesFailing = !written;
}

// Keeps the bytes a write left at the log's end: an append after the bytes
// known goes behind them, any other write starts them anew.
static void KeepLogEnd(int64_t at, const char* bytes, size_t count, bool appended)
{
    if (!appended || !LogEnd.Known || LogEnd.Length != at || LogEnd.Count + count > sizeof LogEnd.Bytes) {
        LogEnd.At = at;
        LogEnd.Count = 0;
    }
    LogEnd.Known = true;
    memcpy(LogEnd.Bytes + LogEnd.Count, bytes, count);
    LogEnd.Count += count;
    LogEnd.Length = at + static_cast<int64_t>(count);
}

// After a rewrite at at that failed part-way: puts back the bytes it may have
// overwritten, as this process last left them, and cuts what it may have
// added. False when they are not known or cannot be put back.
static bool PutLogEndBack(FileId file, int64_t at, size_t count)
{
    int64_t length = LogEnd.Length;
    if (!LogEnd.Known || at < LogEnd.At || at > length)
        return false;
    size_t kept = static_cast<size_t>(length - at) < count ? static_cast<size_t>(length - at) : count;
    return (kept == 0 || WriteFileBytesAt(file, at, LogEnd.Bytes + (at - LogEnd.At), kept)) &&
           (at + static_cast<int64_t>(count) <= length || SetFileLength(file, length));
}

// Writes a formatted line as WriteLogRecord describes; only a record's
// failure, said, is reported.
static int32_t WriteLogLine(int32_t offset, const char* line, bool said)
{
    char stored[StoredRecordSize];

    if (offset < 0 || LogPath[0] == '\0')
        return -1;
    char* bytes = stored + 2;
    size_t count = StoreText(line, bytes);

    FileId file = OpenFileForUpdate(LogPath, offset == 0);
    if (file == NoFile) {
        if (said)
            NoteRecordWrite(false, GetLastError());
        return -1;
    }
    bool append = offset == 0;
    int64_t at = append ? SeekFileEnd(file) : offset;
    // An appended record starts a line of its own: after a last line left
    // unfinished (by hand, or by an older version on a full disk), which
    // stays as it is, it comes after a line end, or after the LF that a bare
    // CR lacks. A log that cannot be read there is taken as whole.
    char last = '\n';
    if (append && at > 0 && ReadFileBytesAt(file, at - 1, &last, 1) == 1 && last != '\n') {
        static const char LineEnd[] = "\r\n";
        size_t ending = last == '\r' ? 1 : 2;
        bytes -= ending;
        memcpy(bytes, LineEnd + 2 - ending, ending);
        count += ending;
    }
    int64_t end = at + static_cast<int64_t>(count);
    bool written = false;
    // Whether the file is as this process last left it, whatever happened.
    bool kept = true;
    DWORD error = 0;
    if (at < 0) {
        error = GetLastError();
    } else if (end > INT32_MAX) {
        // Not written at all, so that trying again adds no line and every
        // offset into the log stays a 32-bit one.
        error = ERROR_FILE_TOO_LARGE;
    } else if (!append && (!LogEnd.Known || end > LogEnd.Length) && !ReserveFileBytes(file, at, count)) {
        // The old line stays: a full disk would take the new one's last bytes.
        error = GetLastError();
    } else if (!WriteFileBytesAt(file, at, bytes, count)) {
        error = GetLastError();
        // A piece of a line would run into the next append's, or stand in
        // place of the run's closing line.
        kept = append ? SetFileLength(file, at) && LogEnd.Known && LogEnd.Length == at : PutLogEndBack(file, at, count);
    } else {
        written = true;
        // The line goes in before the length is set behind it, so that a
        // process ending in between leaves a closing line of the run, old or
        // new, and never none. Only when the new line is shorter than the
        // old one (past midnight, at the month's end, PDOWN over DOWN) does
        // that instant leave the old line's last bytes as a short line of
        // their own. A length that is right already is not set again: on
        // ext4 that alone costs a journal commit, every heartbeat. Whether it
        // is right is asked of the file only when this run left it so, in case
        // someone else wrote to it since.
        if (!append && (!LogEnd.Known || end != LogEnd.Length || FileLength(file) != end))
            SetFileLength(file, end);
    }
    // The line is in the file whatever the flush says; its offset stays valid.
    FlushFileToDisk(file);
    CloseFileId(file);
    if (written)
        KeepLogEnd(at, bytes, count, append);
    else if (!kept)
        LogEnd.Known = false;
    if (said)
        NoteRecordWrite(written, error);
    return written ? static_cast<int32_t>(end) : -1;
}

int32_t WriteLogRecord(int32_t offset, const char* format, ...)
{
    char line[RecordLineSize];
    va_list values;
    va_start(values, format);
    int length = vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (length < 0 || length >= RecordLineSize)
        return -1;
    return WriteLogLine(offset, line, true);
}

void WriteUpRecord()
{
    RecordOffset = WriteLogRecord(0, UpFormat, RunStart.wDay, MinuteOfDay(RunStart));
}

void WriteApdownRecord(int day, int32_t scheduled, const char* path)
{
    char shown[PathSize];
    if (!GetPathInCodePage(path, shown, sizeof shown))
        return;
    char line[RecordLineSize];
    int length = snprintf(line, sizeof line, ApdownFormat, day, static_cast<int>(scheduled), shown);
    if (length >= 0 && length < RecordLineSize)
        WriteLogLine(0, line, false);
}

void WriteDownRecord()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteLogRecord(RecordOffset, DownFormat, now.wDay, MinuteOfDay(now));
}
