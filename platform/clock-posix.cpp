// SPDX-License-Identifier: Apache-2.0
// The civil time as the platform's SYSTEMTIME, for the POSIX host's clock
// and for the test double's virtual one.
#include "platform/platform.h"

void SystemTimeOf(const struct tm& civil, long milliseconds, SYSTEMTIME* time)
{
    *time = SYSTEMTIME{};
    time->wYear = static_cast<WORD>(civil.tm_year + 1900);
    time->wMonth = static_cast<WORD>(civil.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(civil.tm_wday);
    time->wDay = static_cast<WORD>(civil.tm_mday);
    time->wHour = static_cast<WORD>(civil.tm_hour);
    time->wMinute = static_cast<WORD>(civil.tm_min);
    time->wSecond = static_cast<WORD>(civil.tm_sec);
    time->wMilliseconds = static_cast<WORD>(milliseconds);
}
