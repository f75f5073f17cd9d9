// SPDX-License-Identifier: Apache-2.0
// What the service says, on Windows: events in the Application log under the
// source Verdimoor, whose texts are in this executable's message table; the
// service's UTF-8 taken to UTF-16 for them, and the system's messages back.
#include "platform/platform.h"

#include "messages.h"

static_assert(EventStarted == MessageStarted && EventScheduleText == MessageScheduleText &&
                  EventRecordWriteFailed == MessageRecordWriteFailed &&
                  EventRecordWriteWorks == MessageRecordWriteWorks && EventPowerOffFailed == MessagePowerOffFailed,
              "each event is reported under its message's ID");

DWORD GetSystemMessage(DWORD error, char* text, DWORD size)
{
    wchar_t wide[512];
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), wide, sizeof wide / sizeof wide[0], nullptr);
    int bytes = length == 0 || size == 0 ? 0
                                         : WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text,
                                                               static_cast<int>(size - 1), nullptr, nullptr);
    if (bytes <= 0)
        return 0;
    text[bytes] = '\0';
    return static_cast<DWORD>(bytes);
}

// The source is registered for each event and let go after it: events are
// rare, and no handle then lives between the two threads. The event log
// takes the event asynchronously.
void ReportServiceEvent(ServiceEvent event, const char* text)
{
    static const WORD Types[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
    WORD type = Types[LevelOf(event)];

    wchar_t wide[ServiceEventTextSize];
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, sizeof wide / sizeof wide[0]) == 0)
        return;
    HANDLE source = RegisterEventSourceW(nullptr, L"Verdimoor");
    if (source == nullptr)
        return;
    const wchar_t* strings[] = {wide};
    ReportEventW(source, type, 0, event, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
