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

// The name the service gives a month's log: "2026_3.log".
std::string LogName(LogMonth month);

// The service's name for a file named nearly as a log, "2026_3.log" for
// "2026_03.log", "2026-3.log", "2026_3.LOG" or "copy of 2026_3.log": a year
// and a month 1 to 12 before ".log" in any case, apart by '_', '-', '.' or a
// blank, with leading zeros, after anything; none for a log's own name and
// for every other.
std::optional<std::string> NearLogName(std::string_view name);

}  // namespace report
