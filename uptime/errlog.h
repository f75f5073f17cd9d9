// SPDX-License-Identifier: Apache-2.0
// Err.log: a note for each failed handler registration or status report.
#pragma once

#include "platform/platform.h"

// "Err.log" in the current directory until start-up sets it to
// "<ProgramDir>Err.log"; empty when that name did not fit, and then no entry
// is written.
extern char ErrLogPath[PathSize];

// Appends "Error: <operation> <system message>" for the calling thread's last
// error, which must still be the failed call's.
void LogError(const char* operation);
