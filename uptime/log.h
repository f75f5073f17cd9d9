// SPDX-License-Identifier: Apache-2.0
// The monthly uptime log: one line per event of a run, the run's closing line
// rewritten in place at RecordOffset.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "uptime/log-words.h"

#define UpFormat "%i %i " UpWord "\n"
#define CrashFormat "%i %i " CrashWord "\n"
#define ApdownFormat "%i %i %s " ApdownWord "\n"
#define DownFormat "%i %i " DownWord DownPadding "\n"
#define PdownFormat "%i %i " PdownWord "\n"

// "<ProgramDir><year>_<month>.log", named once at start-up; empty when the
// name did not fit, and then no record is written.
extern char LogPath[PathSize];
// The stored length of the log just after this run's UP line; 0 before it is
// written, -1 while it could not be written (each heartbeat tries again).
extern int32_t RecordOffset;
// The local time the run started, which its UP line carries.
extern SYSTEMTIME RunStart;
// Set while record writes fail, so that the failure and the first write that
// works after it are each reported once. Guarded like RecordOffset.
extern bool RecordWritesFailing;

// Room for the longest record: the APDOWN line with a path of PathSize - 1
// bytes and two numbers of eleven characters each; and for it as stored,
// with a line end before it and each LF (a path may hold them) as CR LF.
const int RecordLineSize = static_cast<int>(PathSize) + 64;
const int StoredRecordSize = 2 + 2 * RecordLineSize;

// The log's end as this process last left it, when Known: its length, and
// its bytes from At on (the run's closing line and what was appended after
// it), which a rewrite that fails part-way puts back. Guarded like
// RecordOffset.
struct WrittenLogEnd {
    bool Known;
    int64_t Length;
    int64_t At;
    size_t Count;
    char Bytes[2 * StoredRecordSize];
};
extern WrittenLogEnd LogEnd;

// The minute of the day of a local time, 0 to 1439.
inline int MinuteOfDay(const SYSTEMTIME& time)
{
    return time.wHour * 60 + time.wMinute;
}

// Writes one record to LogPath: appended at the end for offset 0 (the file is
// created if missing; a last line without its end is first given one, an LF
// alone after a CR), otherwise into the existing file at offset, which then
// ends with the record: what lay behind it is cut, and a file shorter than
// offset reads as zero bytes up to it. A record never ends past the 32-bit
// range, and one that fails leaves the file as it was: an append adds
// nothing; a rewrite that makes the file longer first sets the room aside,
// and one that fails part-way puts the old bytes back. The record is on
// stable storage when this returns. Returns the offset just past the record,
// or -1 when nothing was written; a negative offset writes nothing. The first
// write that fails is reported, and so is the first that works after it.
int32_t WriteLogRecord(int32_t offset, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends the UP record with RunStart's day and minute, and sets RecordOffset.
void WriteUpRecord();
// Appends the APDOWN record that announces the schedule, path shown in the
// system's code page. It is no record of the run, which the first heartbeat
// would drop anyway: when it cannot be written, nothing is said of it.
void WriteApdownRecord(int day, int32_t scheduled, const char* path);
// Writes the DOWN record with the current local time at RecordOffset.
void WriteDownRecord();
