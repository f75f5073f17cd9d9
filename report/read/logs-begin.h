// SPDX-License-Identifier: Apache-2.0
// Where a machine's logs begin: the moment of their first UP record, before
// which they tell nothing of the machine, whatever the selection.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "report/core/calendar.h"
#include "report/read/log-name.h"

namespace report {

// The first UP record of the oldest of the logs, as ListLogs lists them,
// that has one near its start, where the service writes it; none when none
// has. A log that cannot be opened is passed over: its reading says why.
std::optional<LocalMinute> LogsBegin(const std::filesystem::path& folder, const std::vector<LogFile>& logs);

}  // namespace report
