// SPDX-License-Identifier: Apache-2.0
// PowerOFF.txt: the hour and the minute read as "%i %i" reads them, or as a
// time written H:MM; what else the text holds; and the test for the
// scheduled minute.
#include "uptime/schedule.h"

#include <cstdio>

#include "uptime/log.h"
#include "uptime/text.h"

char PowerOffPath[PathSize];
int32_t PowerOffHour;
int32_t PowerOffMinute;
ScheduleReading PowerOffReading;
ScheduleClock PowerOffClock;

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
    // What the character taken last leaves open: the lead byte of a UTF-8
    // sequence before its first byte after it, and the bytes still to come;
    // or, in UTF-16, the unit taken last.
    int Open;
    int Awaited;
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

// True when c goes on the character taken before it: a byte that continues a
// UTF-8 sequence as far as it is well formed, or the second unit of a UTF-16
// pair. A byte that cannot continue one is a character of its own.
static bool ContinuesCharacter(ScheduleScan* scan, int c)
{
    if (scan->Reader.Encoding != TextBytes) {
        bool pair = scan->Open >= 0xD800 && scan->Open <= 0xDBFF && c >= 0xDC00 && c <= 0xDFFF;
        scan->Open = pair ? 0 : c;
        return pair;
    }
    int lead = scan->Open;
    int lowest = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    int highest = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (scan->Awaited > 0 && c >= lowest && c <= highest) {
        scan->Open = 0;
        scan->Awaited--;
        return true;
    }
    scan->Open = c;
    scan->Awaited = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    return false;
}

// Takes Next into the word and moves on to the character after it. A
// character is one '?' however many bytes or units it takes.
static void Take(ScheduleScan* scan)
{
    if (!ContinuesCharacter(scan, scan->Next)) {
        if (scan->WordLength < ScheduleWordLimit)
            scan->Word[scan->WordLength] = scan->Next > ' ' && scan->Next < 0x7F ? static_cast<char>(scan->Next) : '?';
        scan->WordLength++;
    }
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
    scan.Open = 0;
    scan.Awaited = 0;
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

void DescribeScheduleText(const ScheduleReading& reading, int32_t hour, int32_t minute, char (&text)[ScheduleTextSize])
{
    char time[32];
    snprintf(time, sizeof time, "%02d:%02d", static_cast<int>(hour), static_cast<int>(minute));
    text[0] = '\0';
    if (!reading.Opened)
        return;
    if (reading.Text == ScheduleTextEmpty)
        snprintf(text, sizeof text, "is empty, read as %s", time);
    else if (reading.Text == ScheduleWordFirst)
        snprintf(text, sizeof text, "begins with \"%s\", read as %s", reading.Word, time);
    else if (reading.Text == ScheduleWordAfter)
        snprintf(text, sizeof text, "has \"%s\" after the time, read as %s", reading.Word, time);
}

bool PowerOffDue(int hour, int minute)
{
    return hour == PowerOffHour && minute == PowerOffMinute;
}

// The days from 1970-01-01 to a civil date.
static int64_t DaysFromCivil(int year, int month, int day)
{
    int64_t y = month <= 2 ? year - 1 : year;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

static int64_t MinutesOf(const SYSTEMTIME& time)
{
    return DaysFromCivil(time.wYear, time.wMonth, time.wDay) * 1440 + MinuteOfDay(time);
}

// The most a change to summer time moves the clock on, in minutes, as cron
// takes it: an offset moved further is a zone switched by the administrator,
// whose skipped hours fire nothing.
static const int32_t LongestClockChange = 3 * 60;

// Local time minus UTC, to the nearest minute: the two readings may lie a
// moment apart.
static int32_t ZoneOffset(const SYSTEMTIME& local, const SYSTEMTIME& utc)
{
    int64_t apart = (MinutesOf(local) - MinutesOf(utc)) * 60000 + (local.wSecond - utc.wSecond) * 1000 +
                    (local.wMilliseconds - utc.wMilliseconds);
    int64_t rounded = apart + 30000;
    return static_cast<int32_t>(rounded >= 0 ? rounded / 60000 : -((-rounded + 59999) / 60000));
}

void SeePowerOffClock(const SYSTEMTIME& local, const SYSTEMTIME& utc)
{
    PowerOffClock.Seen = true;
    PowerOffClock.Minute = MinutesOf(local);
    PowerOffClock.Offset = ZoneOffset(local, utc);
}

bool PowerOffDueAt(const SYSTEMTIME& local, const SYSTEMTIME& utc)
{
    ScheduleClock& seen = PowerOffClock;
    int64_t minute = MinutesOf(local);
    int32_t offset = ZoneOffset(local, utc);
    int64_t day = DaysFromCivil(local.wYear, local.wMonth, local.wDay);
    bool due = false;
    if (OnTheClock(PowerOffHour, PowerOffMinute)) {
        // A second pass of the minute on the same day, with a smaller offset,
        // is the hour that the change back to standard time shows twice.
        if (PowerOffDue(local.wHour, local.wMinute)) {
            due = !seen.Fired || seen.FiredDay != day || offset >= seen.FiredOffset;
            if (due) {
                seen.Fired = true;
                seen.FiredDay = day;
                seen.FiredOffset = offset;
            }
        }
        // With the offset grown since a reading in the same UTC minute or the
        // one before, every local minute between the two was skipped by the
        // change, none passed over by the heartbeats. A gap may end past
        // midnight.
        int64_t passed = (minute - offset) - (seen.Minute - seen.Offset);
        if (seen.Seen && offset > seen.Offset && offset - seen.Offset <= LongestClockChange && passed <= 1) {
            int64_t scheduled = PowerOffHour * 60 + PowerOffMinute;
            const int64_t days[] = {day, day - 1};
            for (int64_t on : days) {
                int64_t at = on * 1440 + scheduled;
                if (seen.Minute < at && at < minute) {
                    seen.SkippedDue = true;
                    seen.SkippedDueMinute = minute;
                }
            }
        }
        due = due || (seen.SkippedDue && seen.SkippedDueMinute == minute);
    }
    SeePowerOffClock(local, utc);
    return due;
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
