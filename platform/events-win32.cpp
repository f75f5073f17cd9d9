// SPDX-License-Identifier: Apache-2.0
// What the service says, on Windows: events in the Application log under the
// source Verdimoor, whose texts are in this executable's message table.
#include "platform/platform.h"

#include "messages.h"

static_assert(EventStarted == MessageStarted && EventScheduleText == MessageScheduleText &&
                  EventRecordWriteFailed == MessageRecordWriteFailed &&
                  EventRecordWriteWorks == MessageRecordWriteWorks && EventPowerOffFailed == MessagePowerOffFailed,
              "each event is reported under its message's ID");

// The source is registered for each event and let go after it: events are
// rare, and no handle then lives between the two threads. The event log
// takes the event asynchronously.
void ReportServiceEvent(ServiceEvent event, const char* text)
{
    static const WORD Types[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
    WORD type = Types[LevelOf(event)];

    // Paths are in the system's ANSI code page, as the rest of the service
    // has them.
    wchar_t wide[ServiceEventTextSize];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, sizeof wide / sizeof wide[0]) == 0)
        return;
    HANDLE source = RegisterEventSourceW(nullptr, L"Verdimoor");
    if (source == nullptr)
        return;
    const wchar_t* strings[] = {wide};
    ReportEventW(source, type, 0, event, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
