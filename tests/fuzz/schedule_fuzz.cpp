// SPDX-License-Identifier: Apache-2.0
// The schedule reader on arbitrary bytes. It must never misbehave, and where
// the C library is well defined and reads the numbers as we chose to, both
// must read the same two values from the text: "%i %i", or decimal numbers
// where the first is followed by a ':'.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "uptime/schedule.h"

// On tmpfs: the file is rewritten for every input.
static char SchedulePath[] = "/dev/shm/schedule-fuzz-XXXXXX";
static int ScheduleFile = -1;

static void RemoveScheduleFile()
{
    unlink(SchedulePath);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ScheduleFile = mkstemp(SchedulePath);
    if (ScheduleFile < 0) {
        perror("schedule_fuzz: mkstemp");
        exit(1);
    }
    atexit(RemoveScheduleFile);
    snprintf(PowerOffPath, sizeof PowerOffPath, "%s", SchedulePath);
    return 0;
}

// The bytes as the reader takes them as text: a UTF-8 byte-order mark
// skipped, UTF-16 after its mark decoded (a unit beyond ASCII as 0x80, which
// no number holds either), every CR dropped, and 0x1A ends them.
static std::string AsText(const uint8_t* data, size_t size)
{
    size_t start = 0;
    int unit = 1;
    bool little = false;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        start = 3;
    } else if (size >= 2 && (data[0] == 0xFF || data[0] == 0xFE) && data[0] + data[1] == 0xFF + 0xFE) {
        start = 2;
        unit = 2;
        little = data[0] == 0xFF;
    }
    std::string text;
    for (size_t i = start; i + unit <= size; i += unit) {
        unsigned c = unit == 1 ? data[i] : little ? data[i] | data[i + 1] << 8 : data[i] << 8 | data[i + 1];
        if (c == 0x1A)
            break;
        if (c != '\r')
            text += static_cast<char>(c < 0x80 ? c : 0x80);
    }
    return text;
}

// Reads one number at *text as strtoll does in base (0 for "%i"), moving
// *text past it; 0 when there is none. False when the C library's reading
// is undefined there or differs from ours by choice: a value beyond 32 bits,
// or "0x" with no hexadecimal digit after it.
static bool ReadNumber(const char** text, int base, long long* value)
{
    const char* start = *text;
    while (isspace(static_cast<unsigned char>(*start)))
        start++;
    const char* digits = start + (*start == '+' || *start == '-');
    if (base == 0 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') &&
        !isxdigit(static_cast<unsigned char>(digits[2])))
        return false;
    errno = 0;
    char* end;
    *value = strtoll(start, &end, base);
    *text = end == start ? *text : end;
    return errno != ERANGE && *value >= INT32_MIN && *value <= INT32_MAX;
}

// True when text begins, after white space, with a time written H:MM: a sign
// and at most sixteen decimal digits right before a ':'.
static bool TimeOfDay(const char* text)
{
    while (isspace(static_cast<unsigned char>(*text)))
        text++;
    text += *text == '+' || *text == '-';
    size_t digits = strspn(text, "0123456789");
    return digits > 0 && digits <= 16 && text[digits] == ':';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (ftruncate(ScheduleFile, 0) != 0 || pwrite(ScheduleFile, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    LoadPowerOffSchedule();
    if (!PowerOffReading.Opened || strlen(PowerOffReading.Word) > ScheduleWordLimit + 3)
        abort();

    // Where the first number is followed right away by a ':', the minute is
    // decimal, and so is the hour when it is written in decimal digits;
    // otherwise the C library's own "%i %i" is the reference.
    std::string text = AsText(data, size);
    const char* next = text.c_str();
    long long hour = 0;
    long long minute = 0;
    const char* start = next;
    if (!ReadNumber(&next, TimeOfDay(next) ? 10 : 0, &hour))
        return 0;
    if (next != start && *next == ':') {
        next++;
        if (!ReadNumber(&next, 10, &minute))
            return 0;
    } else {
        int scannedHour = 0;
        int scannedMinute = 0;
        if (!ReadNumber(&next, 0, &minute))
            return 0;
        if (sscanf(text.c_str(), "%i %i", &scannedHour, &scannedMinute) < 0) {
            scannedHour = 0;
            scannedMinute = 0;
        }
        hour = scannedHour;
        minute = scannedMinute;
    }
    if (hour != PowerOffHour || minute != PowerOffMinute) {
        fprintf(stderr, "read %d %d, the C library reads %lld %lld\n", PowerOffHour, PowerOffMinute, hour, minute);
        abort();
    }
    return 0;
}
