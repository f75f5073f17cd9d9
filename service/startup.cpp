// SPDX-License-Identifier: Apache-2.0
// Start-up: the program's folder, the files' names, the UP and CRASH records,
// the schedule and its APDOWN announcement.
#include <cstdarg>
#include <cstdio>

#include "service/service.h"
#include "uptime/errlog.h"
#include "uptime/events.h"
#include "uptime/log.h"
#include "uptime/schedule.h"

char ProgramDir[PathSize];

// Formats a path that starts with ProgramDir into path; false, with path
// untouched, when ProgramDir is unknown or the whole name does not fit: a
// shortened name is never used.
__attribute__((format(printf, 2, 3))) static bool SetProgramPath(char* path, const char* format, ...)
{
    char formatted[PathSize];
    va_list values;
    va_start(values, format);
    int length = vsnprintf(formatted, sizeof formatted, format, values);
    va_end(values);
    if (ProgramDir[0] == '\0' || length < 0 || static_cast<size_t>(length) >= PathSize)
        return false;
    snprintf(path, PathSize, "%s", formatted);
    return true;
}

// Sets ProgramDir to the executable's path cut after its last separator.
static void FindProgramDir()
{
    DWORD length = GetProgramFileName(ProgramDir, sizeof ProgramDir);
    // A path that filled the buffer may have been cut short.
    if (length >= sizeof ProgramDir)
        length = 0;
    while (length > 0 && ProgramDir[length - 1] != PathSeparator)
        length--;
    ProgramDir[length] = '\0';
}

// Tells the administrator the schedule read and, where PowerOFF.txt holds
// more than a time or less, how its text was read.
static void SaySchedule()
{
    const ScheduleReading& reading = PowerOffReading;
    if (PowerOffPath[0] == '\0') {
        SayServiceEvent(EventStarted, "no scheduled power-off: the path of PowerOFF.txt is too long");
        return;
    }
    if (!reading.Opened && reading.OpenError == ERROR_FILE_NOT_FOUND) {
        SayServiceEvent(EventStarted, "no scheduled power-off (no %s)", PowerOffPath);
        return;
    }
    if (!reading.Opened) {
        char reason[SystemMessageSize];
        SystemMessage(reading.OpenError, reason);
        SayServiceEvent(EventStarted, "no scheduled power-off (cannot read %s: %s)", PowerOffPath, reason);
        return;
    }

    char time[32];
    snprintf(time, sizeof time, "%02d:%02d", static_cast<int>(PowerOffHour), static_cast<int>(PowerOffMinute));
    if (OnTheClock(PowerOffHour, PowerOffMinute))
        SayServiceEvent(EventStarted, "power-off daily at %s (%s)", time, PowerOffPath);
    else
        SayServiceEvent(EventStarted, "no scheduled power-off: %s reads as %s", PowerOffPath, time);

    char text[ScheduleTextSize];
    DescribeScheduleText(reading, PowerOffHour, PowerOffMinute, text);
    if (text[0] != '\0')
        SayServiceEvent(EventScheduleText, "%s %s", PowerOffPath, text);
}

void ServiceInitialization()
{
    FindProgramDir();
    SetProgramPath(ErrLogPath, "%s%s", ProgramDir, "Err.log");

    GetLocalTime(&RunStart);
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SeePowerOffClock(RunStart, utc);
    int day = RunStart.wDay;
    int minute = MinuteOfDay(RunStart);

    if (!SetProgramPath(LogPath, "%s" LogNameFormat, ProgramDir, RunStart.wYear, RunStart.wMonth))
        LogPath[0] = '\0';
    WriteUpRecord();
    WriteLogRecord(RecordOffset, CrashFormat, day, minute);

    if (!SetProgramPath(PowerOffPath, "%s" ScheduleFileName, ProgramDir))
        PowerOffPath[0] = '\0';
    LoadPowerOffSchedule();
    SaySchedule();
    // The announcement belongs to the run: without its UP line, or without
    // the schedule file's name, there is nothing to announce it with.
    if (RecordOffset > 0 && PowerOffPath[0] != '\0')
        WriteApdownRecord(day, ScheduledMinute(), PowerOffPath);
}
