// SPDX-License-Identifier: Apache-2.0
// PowerOFF.txt: the hour and the minute read as "%i %i" reads them, or as a
// time written H:MM; what else the text holds; and the test for the
// scheduled minute.
#include "uptime/schedule.h"

#include <cstdio>

#include "uptime/text.h"

char PowerOffPath[MAX_PATH];
int32_t PowerOffHour;
int32_t PowerOffMinute;
ScheduleReading PowerOffReading;

// The most digits of an hour that are looked at for the ':' of a time: an
// hour written longer is read as "%i" reads it, ':' or not.
static const int TimeDigitsLimit = 16;

// The text, one character at a time, with what was looked ahead at kept to
// be taken again, and the characters taken since the last word began.
struct ScheduleScan {
    TextReader Reader;
    // The first character not taken yet.
    int Next;
    // The characters after Next that were looked at, from AheadStart on.
    int Ahead[TimeDigitsLimit + 2];
    int AheadStart;
    int AheadCount;
    char Word[ScheduleWordLimit];
    int WordLength;
};

static bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool IsDecimal(int c)
{
    return c >= '0' && c <= '9';
}

// The value of c as a digit of base, or -1.
static int DigitValue(int c, int base)
{
    int value = -1;
    if (IsDecimal(c))
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// Takes Next into the word and moves on to the character after it.
static void Take(ScheduleScan* scan)
{
    if (scan->WordLength < ScheduleWordLimit)
        scan->Word[scan->WordLength] = scan->Next > ' ' && scan->Next < 0x7F ? static_cast<char>(scan->Next) : '?';
    scan->WordLength++;
    if (scan->AheadStart < scan->AheadCount)
        scan->Next = scan->Ahead[scan->AheadStart++];
    else
        scan->Next = ReadTextChar(&scan->Reader);
}

// The character at places after Next, looked at without taking it; at most
// TimeDigitsLimit + 2 places, and only before anything looked at was taken.
static int LookAhead(ScheduleScan* scan, int places)
{
    if (places == 0)
        return scan->Next;
    while (scan->AheadCount < places)
        scan->Ahead[scan->AheadCount++] = ReadTextChar(&scan->Reader);
    return scan->Ahead[places - 1];
}

static void SkipSpace(ScheduleScan* scan)
{
    while (IsSpace(scan->Next))
        Take(scan);
    scan->WordLength = 0;
}

// Takes the rest of the word that Next is in, as much of it as is kept and
// one character more, to tell that it was cut.
static void TakeWord(ScheduleScan* scan)
{
    while (scan->Next != TextEnd && !IsSpace(scan->Next) && scan->WordLength <= ScheduleWordLimit)
        Take(scan);
}

// True when the text at Next is a time written H:MM: an optional sign and
// decimal digits right before a ':'.
static bool TimeOfDayAhead(ScheduleScan* scan)
{
    int at = scan->Next == '+' || scan->Next == '-' ? 1 : 0;
    int digits = 0;
    while (digits <= TimeDigitsLimit && IsDecimal(LookAhead(scan, at + digits)))
        digits++;
    return digits > 0 && digits <= TimeDigitsLimit && LookAhead(scan, at + digits) == ':';
}

// Reads one integer at Next the way the "%i" input conversion does (base 0):
// an optional sign, then "0x" or "0X" for hexadecimal, a leading 0 for octal,
// decimal otherwise, up to the first character that is not a digit of that
// base, which stays in Next, as the conversion pushes it back; or, with base
// 10, as "%d" does. "0x" with no hexadecimal digit after it is no number at
// all (the reading of the C standard, which some C libraries do not follow):
// the conversion fails. Values beyond 32 bits saturate. Returns false when
// no number could be read.
static bool ReadScheduleNumber(ScheduleScan* scan, int base, int32_t* number)
{
    bool negative = scan->Next == '-';
    if (scan->Next == '+' || scan->Next == '-')
        Take(scan);

    bool digits = false;
    if (base == 0) {
        base = 10;
        if (scan->Next == '0') {
            Take(scan);
            if (scan->Next == 'x' || scan->Next == 'X') {
                base = 16;
                Take(scan);
            } else {
                base = 8;
                digits = true;
            }
        }
    }

    // The magnitude stops growing once it is past the 32-bit range.
    const int64_t limit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (int digit; (digit = DigitValue(scan->Next, base)) >= 0; Take(scan)) {
        digits = true;
        if (magnitude <= limit)
            magnitude = magnitude * base + digit;
    }
    if (!digits)
        return false;

    if (negative)
        *number = magnitude >= limit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    else
        *number = magnitude >= limit ? INT32_MAX : static_cast<int32_t>(magnitude);
    return true;
}

// Reads the two numbers and says what else the text holds. Past the second
// number, the text is read only as far as the word that follows it.
static ScheduleText ReadScheduleText(ScheduleScan* scan, int32_t* hour, int32_t* minute)
{
    SkipSpace(scan);
    if (scan->Next == TextEnd)
        return ScheduleTextEmpty;
    bool timeOfDay = TimeOfDayAhead(scan);
    if (!ReadScheduleNumber(scan, timeOfDay ? 10 : 0, hour)) {
        TakeWord(scan);
        return ScheduleWordFirst;
    }
    bool decimalMinute = scan->Next == ':';
    if (decimalMinute)
        Take(scan);
    SkipSpace(scan);
    if (scan->Next == TextEnd)
        return ScheduleTimeAlone;
    if (ReadScheduleNumber(scan, decimalMinute ? 10 : 0, minute))
        SkipSpace(scan);
    if (scan->Next == TextEnd && scan->WordLength == 0)
        return ScheduleTimeAlone;
    TakeWord(scan);
    return ScheduleWordAfter;
}

void ReadPowerOffTime(FileId file, int32_t* hour, int32_t* minute, ScheduleReading* reading)
{
    ScheduleScan scan;
    StartTextReader(&scan.Reader, file);
    scan.Next = ReadTextChar(&scan.Reader);
    scan.AheadStart = 0;
    scan.AheadCount = 0;
    scan.WordLength = 0;
    // A number that cannot be read leaves it and the one after it at 0.
    *hour = 0;
    *minute = 0;
    ScheduleText text = ReadScheduleText(&scan, hour, minute);
    if (reading == nullptr)
        return;
    reading->Opened = true;
    reading->OpenError = 0;
    reading->Text = text;
    int kept = scan.WordLength < ScheduleWordLimit ? scan.WordLength : ScheduleWordLimit;
    snprintf(reading->Word, sizeof reading->Word, "%.*s%s", kept, scan.Word,
             scan.WordLength > ScheduleWordLimit ? "..." : "");
}

void LoadPowerOffSchedule()
{
    FileId file = PowerOffPath[0] == '\0' ? NoFile : OpenFileForReading(PowerOffPath);
    if (file == NoFile) {
        PowerOffHour = 60;
        PowerOffMinute = 60;
        PowerOffReading = ScheduleReading{};
        PowerOffReading.OpenError = GetLastError();
        return;
    }
    int32_t hour;
    int32_t minute;
    ReadPowerOffTime(file, &hour, &minute, &PowerOffReading);
    CloseFileId(file);
    PowerOffHour = hour;
    PowerOffMinute = minute;
}

bool PowerOffDue(int hour, int minute)
{
    return hour == PowerOffHour && minute == PowerOffMinute;
}

bool OnTheClock(int32_t hour, int32_t minute)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

int32_t ScheduledMinute()
{
    uint32_t value = static_cast<uint32_t>(PowerOffHour) * 60u + static_cast<uint32_t>(PowerOffMinute);
    return static_cast<int32_t>(value);
}
