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
extern char LogPath[MAX_PATH];
// The stored length of the log just after this run's UP line; 0 before it is
// written, -1 while it could not be written (each heartbeat tries again).
extern int32_t RecordOffset;
// The local time the run started, which its UP line carries.
extern SYSTEMTIME RunStart;
// Set while record writes fail, so that the failure and the first write that
// works after it are each reported once. Guarded like RecordOffset.
extern bool RecordWritesFailing;

// The minute of the day of a local time, 0 to 1439.
int MinuteOfDay(const SYSTEMTIME& time);

// Writes one record to LogPath: appended at the end for offset 0 (the file is
// created if missing; a last line without its end is first given one),
// otherwise into the existing file at offset, which then ends with the
// record: what lay behind it is cut, and a file shorter than offset reads as
// zero bytes up to it. An append that fails, or that would end past the
// 32-bit range, adds nothing to the file. The record is on stable storage
// when this returns. Returns the offset just past the record, or -1 when
// nothing was written; a negative offset writes nothing. The first write that
// fails is reported, and so is the first that works after it.
int32_t WriteLogRecord(int32_t offset, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends the UP record with RunStart's day and minute, and sets RecordOffset.
void WriteUpRecord();
// Writes the DOWN record with the current local time at RecordOffset.
void WriteDownRecord();
