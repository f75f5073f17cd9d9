// SPDX-License-Identifier: Apache-2.0
// The daily power-off time, read once at start-up from PowerOFF.txt.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// "<ProgramDir>PowerOFF.txt"; empty when the name did not fit.
extern char PowerOffPath[MAX_PATH];
extern int32_t PowerOffHour;
extern int32_t PowerOffMinute;

// Reads the hour and the minute from PowerOffPath: 60 and 60 (never due) when
// the file cannot be opened.
void LoadPowerOffSchedule();

// Reads the hour and the minute from an open schedule file as "%i %i" reads
// its text; what cannot be read is 0. verdimoor-report reads the file so too.
void ReadPowerOffTime(FileId file, int32_t* hour, int32_t* minute);

// True when the local hour and minute are exactly the scheduled ones.
bool PowerOffDue(int hour, int minute);

// The scheduled time as the APDOWN record announces it: hour * 60 + minute,
// wrapping as 32-bit two's complement.
int32_t ScheduledMinute();
