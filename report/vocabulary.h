// SPDX-License-Identifier: Apache-2.0
// The log's vocabulary as the service writes it (uptime/log.h), for the
// reader: the record kinds' words and the name of a month's log.
#pragma once

#include <optional>
#include <string_view>

namespace report {

namespace words {
extern const std::string_view Up;
extern const std::string_view Crash;
extern const std::string_view Down;
extern const std::string_view Pdown;
extern const std::string_view Apdown;
}  // namespace words

struct LogMonth {
    int Year = 0;
    int Month = 0;
};

// The year and month of a log named exactly as the service names it
// ("2026_3.log"), the month 1 to 12 without a leading zero; none for any
// other name ("Err.log", "2011_13.log", "2011_03.log").
std::optional<LogMonth> ParseLogName(std::string_view name);

}  // namespace report
