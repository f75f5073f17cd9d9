// SPDX-License-Identifier: Apache-2.0
// The test double behind platform.h: a virtual clock that Sleep advances, a
// control manager that records every status report and delivers scripted
// controls from a second thread, and a recorder of the power-off calls and of
// what the service tells the administrator. Each test starts from FakeReset().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeStatusReport {
    SERVICE_STATUS_HANDLE Handle;
    SERVICE_STATUS Status;
};

// What a test makes fail. Each failing call leaves its own last-error value.
struct FakeFailures {
    bool Registration;
    bool StatusReport;
    bool Dispatcher;
    bool Token;
    bool PrivilegeValue;
    bool PrivilegeNotAssigned;
    bool Shutdown;
    bool MessageText;
};

// The last-error values the failing calls leave.
const DWORD FakeRegistrationError = 1083;
const DWORD FakeStatusError = ERROR_INVALID_HANDLE;
const DWORD FakeTokenError = 5;
const DWORD FakePrivilegeValueError = 1313;
const DWORD FakeShutdownError = 1115;

extern FakeFailures FakeFail;
// The platform identifier GetVersionExA reports; 2 (NT) after a reset.
extern DWORD FakePlatformId;

void FakeReset();

void FakeSetLocalTime(int year, int month, int day, int hour, int minute, int second = 0);
// Has the virtual clock set and read in the process's time zone (TZ, see
// InZone) rather than in UTC, until the next reset.
void FakeUseLocalZone();
// Sets the virtual clock on by seconds, back when negative, as a hand or time
// sync sets a clock: no time passes.
void FakeStepClock(int64_t seconds);
// Virtual milliseconds since the clock was set.
uint64_t FakeElapsedMilliseconds();
// Virtual time slept since the reset, in calls to Sleep.
int FakeSleepCount();
// Makes each Sleep also pause the calling thread for this many real
// microseconds, so that real threads can race it.
void FakeSetRealSleep(unsigned microseconds);

void FakeSetModulePath(const char* path);

// Runs action on a second thread when the virtual clock reaches atMilliseconds
// during a Sleep; the sleeping thread waits for it to finish.
void FakeAtMoment(uint64_t atMilliseconds, std::function<void()> action);
// Delivers control to the registered handler at that moment, from a second
// thread, as the dispatcher does.
void FakeScheduleControl(uint64_t atMilliseconds, DWORD control);

std::vector<FakeStatusReport> FakeStatusReports();
// The calls made to the message, privilege and shutdown operations, in order,
// each with the arguments that matter, e.g. "OpenProcessToken 0x28".
std::vector<std::string> FakeCalls();
// What the service told the administrator, in order, each as its event number
// and its text, e.g. "4 can write /x/2026_12.log again".
std::vector<std::string> FakeEvents();
int FakeShutdownRequests();
// The service name and handler last registered.
std::string FakeRegisteredName();
LPHANDLER_FUNCTION FakeRegisteredHandler();
// The text FormatMessageA gives for code.
std::string FakeMessageText(DWORD code);
// Waits for the service thread that the double's dispatcher started.
void FakeJoinServiceThread();
