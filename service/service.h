// SPDX-License-Identifier: Apache-2.0
// The service runtime: start-up, service main with its heartbeat, the control
// handler, the power-off request and the process entry.
#pragma once

#include "platform/platform.h"

#define ServiceName "Verdimoor"

// The heartbeat's pace.
const DWORD HeartbeatMilliseconds = 30000;

// The executable's directory, ending with its separator; empty when the
// executable's path could not be had in full.
extern char ProgramDir[PathSize];
extern SERVICE_STATUS ServiceStatus;
extern SERVICE_STATUS_HANDLE StatusHandle;

// Guards ServiceStatus, StatusHandle, RecordOffset and the record writes
// between the service thread and the thread that delivers controls. The
// process entry takes it and keeps it, so that the process never ends in the
// middle of a record write.
extern SRWLOCK RecordLock;

// Finds ProgramDir, names the files, writes the UP and CRASH records, loads
// the schedule and announces it in the APDOWN record.
void ServiceInitialization();

void WINAPI ServiceMain(DWORD argc, LPSTR* argv);
void WINAPI ServiceCtrlHandler(DWORD control);

// Enables the shutdown privilege where the platform needs it and requests the
// shutdown; false, with the failed call's last error in error, when the
// privilege could not be enabled or the request failed.
bool PowerOffSystem(DWORD* error);
