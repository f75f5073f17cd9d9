// SPDX-License-Identifier: Apache-2.0
// The service's process-wide variables and the test double, reset.
#include "service_reset.h"

#include <cstdio>

#include "service/service.h"
#include "tests/fake/fake.h"
#include "uptime/errlog.h"
#include "uptime/log.h"
#include "uptime/schedule.h"

void ResetService()
{
    FakeReset();
    LogPath[0] = '\0';
    RecordOffset = 0;
    RunStart = SYSTEMTIME{};
    RecordWritesFailing = false;
    LogEnd.Known = false;
    snprintf(ErrLogPath, sizeof ErrLogPath, "%s", "Err.log");
    PowerOffPath[0] = '\0';
    PowerOffHour = 0;
    PowerOffMinute = 0;
    PowerOffClock = ScheduleClock{};
    ProgramDir[0] = '\0';
    ServiceStatus = SERVICE_STATUS{};
    StatusHandle = 0;
}
