// SPDX-License-Identifier: Apache-2.0
// The name of a month's log, as the service names it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace report {

struct LogMonth {
    int Year = 0;
    int Month = 0;
};

// A month's log found in a folder.
struct LogFile {
    std::string Name;  // "2026_3.log"
    LogMonth Month;
    std::optional<int64_t> Modified = std::nullopt;  // its modification time, in Unix seconds
};

// The year and month of a log named exactly as the service names it
// ("2026_3.log"), the month 1 to 12 without a leading zero; none for any
// other name ("Err.log", "2011_13.log", "2011_03.log").
std::optional<LogMonth> ParseLogName(std::string_view name);

}  // namespace report
