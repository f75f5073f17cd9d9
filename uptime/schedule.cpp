// SPDX-License-Identifier: Apache-2.0
// PowerOFF.txt: the hour and the minute read as "%i %i" reads them, and the
// test for the scheduled minute.
#include "uptime/schedule.h"

#include "uptime/text.h"

char PowerOffPath[MAX_PATH];
int32_t PowerOffHour;
int32_t PowerOffMinute;

static bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of c as a digit of base, or -1.
static int DigitValue(int c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// Reads one integer the way the "%i" input conversion does: white space
// skipped, an optional sign, then "0x" or "0X" for hexadecimal, a leading 0
// for octal, decimal otherwise, up to the first character that is not a
// digit of that base. That character is left in *next, as the conversion
// pushes it back. "0x" with no hexadecimal digit after it is no number at
// all (the reading of the C standard, which some C libraries do not follow):
// the conversion fails. Values beyond 32 bits saturate. Returns false when
// no number could be read.
static bool ReadScheduleNumber(TextReader* reader, int* next, int32_t* number)
{
    int c = *next;
    while (IsSpace(c))
        c = ReadTextChar(reader);
    bool negative = c == '-';
    if (c == '+' || c == '-')
        c = ReadTextChar(reader);

    int base = 10;
    bool digits = false;
    if (c == '0') {
        c = ReadTextChar(reader);
        if (c == 'x' || c == 'X') {
            base = 16;
            c = ReadTextChar(reader);
        } else {
            base = 8;
            digits = true;
        }
    }

    // The magnitude stops growing once it is past the 32-bit range.
    const int64_t limit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (int digit; (digit = DigitValue(c, base)) >= 0; c = ReadTextChar(reader)) {
        digits = true;
        if (magnitude <= limit)
            magnitude = magnitude * base + digit;
    }
    *next = c;
    if (!digits)
        return false;

    if (negative)
        *number = magnitude >= limit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    else
        *number = magnitude >= limit ? INT32_MAX : static_cast<int32_t>(magnitude);
    return true;
}

void ReadPowerOffTime(FileId file, int32_t* hour, int32_t* minute)
{
    TextReader reader;
    StartTextReader(&reader, file);
    int next = ReadTextChar(&reader);
    // A number that cannot be read leaves it and the one after it at 0.
    *hour = 0;
    *minute = 0;
    if (ReadScheduleNumber(&reader, &next, hour))
        ReadScheduleNumber(&reader, &next, minute);
}

void LoadPowerOffSchedule()
{
    FileId file = PowerOffPath[0] == '\0' ? NoFile : OpenFileForReading(PowerOffPath);
    if (file == NoFile) {
        PowerOffHour = 60;
        PowerOffMinute = 60;
        return;
    }
    int32_t hour;
    int32_t minute;
    ReadPowerOffTime(file, &hour, &minute);
    CloseFileId(file);
    PowerOffHour = hour;
    PowerOffMinute = minute;
}

bool PowerOffDue(int hour, int minute)
{
    return hour == PowerOffHour && minute == PowerOffMinute;
}

int32_t ScheduledMinute()
{
    uint32_t value = static_cast<uint32_t>(PowerOffHour) * 60u + static_cast<uint32_t>(PowerOffMinute);
    return static_cast<int32_t>(value);
}
