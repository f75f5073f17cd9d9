// SPDX-License-Identifier: Apache-2.0
// The daily power-off time, read once at start-up from PowerOFF.txt.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// What PowerOFF.txt holds besides the time read from it.
enum ScheduleText {
    // The time, and white space around it.
    ScheduleTimeAlone,
    // Nothing but white space, read as 00:00.
    ScheduleTextEmpty,
    // A word where the hour belongs, read as 00:00.
    ScheduleWordFirst,
    // A word after what was read as the time.
    ScheduleWordAfter,
};

// The longest word kept of the text, in characters.
const int ScheduleWordLimit = 24;

// How PowerOFF.txt was read, for the start-up to tell.
struct ScheduleReading {
    bool Opened;
    // Why the file could not be opened: the last error.
    DWORD OpenError;
    ScheduleText Text;
    // The word, up to white space, cut to ScheduleWordLimit characters and
    // "..."; every character that is not printable ASCII is one '?', however
    // many bytes it takes in UTF-8 or units in UTF-16.
    char Word[ScheduleWordLimit + 4];
};

// "<ProgramDir>PowerOFF.txt"; empty when the name did not fit.
extern char PowerOffPath[PathSize];
extern int32_t PowerOffHour;
extern int32_t PowerOffMinute;
extern ScheduleReading PowerOffReading;

// Reads the hour, the minute and PowerOffReading from PowerOffPath: 60 and 60
// (never due) when the file cannot be opened.
void LoadPowerOffSchedule();

// Reads the hour and the minute from an open schedule file as "%i %i" reads
// its text, except where the text begins with a time written H:MM: both are
// then decimal. A ':' right after the hour also separates a decimal minute.
// What cannot be read is 0. Given reading, also says what else the text
// holds. verdimoor-report reads the file so too.
void ReadPowerOffTime(FileId file, int32_t* hour, int32_t* minute, ScheduleReading* reading = nullptr);

// What the text holds beside the time read from it, in the words start-up
// says after the file's name: "is empty, read as 00:00", "begins with
// "none", read as 00:00", "has "pm" after the time, read as 10:00"; empty
// when the file holds the time alone or could not be opened. verdimoor-report
// warns of PowerOFF.txt in the same words.
const size_t ScheduleTextSize = ScheduleWordLimit + 72;
void DescribeScheduleText(const ScheduleReading& reading, int32_t hour, int32_t minute, char (&text)[ScheduleTextSize]);

// True when the local hour and minute are exactly the scheduled ones.
bool PowerOffDue(int hour, int minute);

// What the heartbeats saw of the clock, for a scheduled minute that a change
// of the zone's offset skips or shows twice. Minutes are counted on the local
// clock from 1970-01-01 00:00, offsets east of UTC. The service thread's.
struct ScheduleClock {
    // The last reading: its local minute and the zone's offset then.
    bool Seen;
    int64_t Minute;
    int32_t Offset;
    // The local minute in which a scheduled minute skipped just before is due.
    bool SkippedDue;
    int64_t SkippedDueMinute;
    // The local day on which the scheduled minute last fired, and the offset
    // then.
    bool Fired;
    int64_t FiredDay;
    int32_t FiredOffset;
};
extern ScheduleClock PowerOffClock;

// Takes the clock that start-up read, the local time and UTC together, for
// the first heartbeat to compare with.
void SeePowerOffClock(const SYSTEMTIME& local, const SYSTEMTIME& utc);

// Whether the power-off is due at a heartbeat that read the local time and
// UTC together, taken as the heartbeat after the last one seen: in the
// scheduled minute, but not in its second pass when the change back to
// standard time shows it twice; and, as cron has it, in the first minute
// after a change forward of the zone's offset (summer time's) that skipped
// it, at every tick of that minute. A clock set on by hand or by time sync
// keeps the offset, and fires nothing it passed over; so do heartbeats more
// than a minute apart, and an offset moved on further than summer time
// moves it, a zone switched.
bool PowerOffDueAt(const SYSTEMTIME& local, const SYSTEMTIME& utc);

// True when a clock shows the hour and minute: a time it never shows is
// never due.
bool OnTheClock(int32_t hour, int32_t minute);

// The scheduled time as the APDOWN record announces it: hour * 60 + minute,
// wrapping as 32-bit two's complement.
int32_t ScheduledMinute();
