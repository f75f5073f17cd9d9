// SPDX-License-Identifier: Apache-2.0
// The schedule reader on arbitrary bytes. It must never misbehave, and where
// the C library's "%i %i" is well defined and reads the numbers as we chose
// to, both must read the same two values from the text as text mode gives it.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

// The bytes as text mode reads them: every CR dropped, and 0x1A ends them.
static std::string AsText(const uint8_t* data, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size && data[i] != 0x1A; i++)
        if (data[i] != '\r')
            text += static_cast<char>(data[i]);
    return text;
}

// False when either number that "%i %i" reads from text is one where the C
// library's reading is undefined or differs from ours by choice: a value
// beyond 32 bits, or "0x" with no hexadecimal digit after it.
static bool Comparable(const char* text)
{
    for (int number = 0; number < 2; number++) {
        while (isspace(static_cast<unsigned char>(*text)))
            text++;
        const char* digits = text + (*text == '+' || *text == '-');
        if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') &&
            !isxdigit(static_cast<unsigned char>(digits[2])))
            return false;
        errno = 0;
        char* end;
        long long value = strtoll(text, &end, 0);
        if (end == text)
            return true;
        if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
            return false;
        text = end;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (ftruncate(ScheduleFile, 0) != 0 || pwrite(ScheduleFile, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    LoadPowerOffSchedule();

    std::string text = AsText(data, size);
    if (!Comparable(text.c_str()))
        return 0;
    int hour = 0;
    int minute = 0;
    if (sscanf(text.c_str(), "%i %i", &hour, &minute) < 0) {
        hour = 0;
        minute = 0;
    }
    if (hour != PowerOffHour || minute != PowerOffMinute) {
        fprintf(stderr, "read %d %d, the C library reads %d %d\n", PowerOffHour, PowerOffMinute, hour, minute);
        abort();
    }
    return 0;
}
