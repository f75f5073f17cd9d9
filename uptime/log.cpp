// SPDX-License-Identifier: Apache-2.0
// The monthly uptime log's writer: appends, and rewrites of the run's closing
// line at its saved offset.
#include "uptime/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "uptime/events.h"
#include "uptime/text.h"

char LogPath[MAX_PATH];
int32_t RecordOffset;
SYSTEMTIME RunStart;
bool RecordWritesFailing;
// The log's length as the last record write left it; -1 when unknown.
static int64_t LogLength = -1;

// Room for the longest record: the APDOWN line with a path of MAX_PATH - 1
// characters and two numbers of eleven characters each.
static const int RecordLineSize = MAX_PATH + 64;

int MinuteOfDay(const SYSTEMTIME& time)
{
    return time.wHour * 60 + time.wMinute;
}

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

int32_t WriteLogRecord(int32_t offset, const char* format, ...)
{
    char line[RecordLineSize];
    // Room for a line end before the record.
    char stored[2 + 2 * RecordLineSize];

    if (offset < 0 || LogPath[0] == '\0')
        return -1;

    va_list values;
    va_start(values, format);
    int length = vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (length < 0 || length >= RecordLineSize)
        return -1;
    char* bytes = stored + 2;
    size_t count = StoreText(line, bytes);

    FileId file = OpenFileForUpdate(LogPath, offset == 0);
    if (file == NoFile) {
        NoteRecordWrite(false, GetLastError());
        return -1;
    }
    int64_t at = offset == 0 ? SeekFileEnd(file) : offset;
    // An appended record starts a line of its own: after a last line left
    // unfinished (by hand, or by a disk that filled), which stays as it is, it
    // comes after a line end. A log that cannot be read there is taken as
    // whole.
    char last = '\n';
    if (offset == 0 && at > 0 && ReadFileBytesAt(file, at - 1, &last, 1) == 1 && last != '\n') {
        bytes = stored;
        bytes[0] = '\r';
        bytes[1] = '\n';
        count += 2;
    }
    int64_t end = at + static_cast<int64_t>(count);
    bool written = false;
    DWORD error = 0;
    if (at < 0) {
        error = GetLastError();
    } else if (offset == 0 && end > INT32_MAX) {
        // Not written at all, so that trying again adds no line.
        error = ERROR_FILE_TOO_LARGE;
    } else if (!WriteFileBytesAt(file, at, bytes, count)) {
        error = GetLastError();
        // A piece of a line would run into the next append's.
        if (offset == 0)
            SetFileLength(file, at);
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
        if (offset != 0 && (end != LogLength || FileLength(file) != end))
            SetFileLength(file, end);
    }
    // The line is in the file whatever the flush says; its offset stays valid.
    FlushFileToDisk(file);
    CloseFileId(file);
    LogLength = written ? end : -1;
    NoteRecordWrite(written, error);
    // An offset past the 32-bit range would turn later writes into appends.
    return written && end <= INT32_MAX ? static_cast<int32_t>(end) : -1;
}

void WriteUpRecord()
{
    RecordOffset = WriteLogRecord(0, UpFormat, RunStart.wDay, MinuteOfDay(RunStart));
}

void WriteDownRecord()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteLogRecord(RecordOffset, DownFormat, now.wDay, MinuteOfDay(now));
}
