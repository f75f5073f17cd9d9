// SPDX-License-Identifier: Apache-2.0
// What the service tells the administrator: each event's text is formed here,
// in the same words on every host, and handed to the host to say.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Formats the text of event and has the host report it.
void SayServiceEvent(ServiceEvent event, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Room for a system message.
const size_t SystemMessageSize = 512;

// The system's message for error on one line, without its line end; "error N"
// when the system has none that fits.
void SystemMessage(DWORD error, char (&text)[SystemMessageSize]);
