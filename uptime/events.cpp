// SPDX-License-Identifier: Apache-2.0
// The texts of the service's events, formed without the heap and handed to
// the host.
#include "uptime/events.h"

#include <cstdarg>
#include <cstdio>

void SayServiceEvent(ServiceEvent event, const char* format, ...)
{
    char text[ServiceEventTextSize];
    va_list values;
    va_start(values, format);
    int length = vsnprintf(text, sizeof text, format, values);
    va_end(values);
    if (length >= 0)
        ReportServiceEvent(event, text);
}

void SystemMessage(DWORD error, char (&text)[SystemMessageSize])
{
    DWORD length = GetSystemMessage(error, text, sizeof text);
    if (length == 0 || length >= sizeof text) {
        snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
        return;
    }
    // The system's texts end with CR LF, and a few hold more lines.
    for (DWORD i = 0; i < length; i++) {
        if (text[i] == '\r' || text[i] == '\n')
            text[i] = ' ';
    }
    while (length > 0 && text[length - 1] == ' ')
        length--;
    text[length] = '\0';
}
