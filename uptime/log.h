// The monthly uptime log: one line per event of a run, the run's closing line
// rewritten in place at RecordOffset.
#pragma once

#include <cstdint>

#include "platform/platform.h"

#define UpFormat "%i %i UP\n"
#define CrashFormat "%i %i CRASH\n"
#define ApdownFormat "%i %i %s APDOWN\n"
#define DownFormat "%i %i DOWN    \n"
#define PdownFormat "%i %i PDOWN\n"

// "<ProgramDir><year>_<month>.log", named once at start-up; empty when the
// name did not fit, and then no record is written.
extern char LogPath[MAX_PATH];
// The stored length of the log just after this run's UP line; 0 before it is
// written, -1 when it could not be written.
extern int32_t RecordOffset;

// The minute of the day of a local time, 0 to 1439.
int MinuteOfDay(const SYSTEMTIME& time);

// Writes one record to LogPath: appended at the end for offset 0 (the file is
// created if missing), otherwise into the existing file at offset, which then
// ends with the record: what lay behind it is cut, and a file shorter than
// offset reads as zero bytes up to it. The record is on stable storage when
// this returns. Returns the offset just past the record, or -1 when nothing
// was written; a negative offset writes nothing.
int32_t WriteLogRecord(int32_t offset, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Writes the DOWN record with the current local time at RecordOffset.
void WriteDownRecord();
