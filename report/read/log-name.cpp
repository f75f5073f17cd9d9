// SPDX-License-Identifier: Apache-2.0
// The names of the months' logs, read back with the service's own format.
#include "report/read/log-name.h"

#include <cstdio>

#include "uptime/log-words.h"

namespace report {

std::optional<LogMonth> ParseLogName(std::string_view name)
{
    // "9999_12.log" is the longest name of a year this reader takes.
    if (name.empty() || name.size() > 11)
        return std::nullopt;
    std::string text(name);
    int year = 0;
    int month = 0;
    int length = 0;
    if (std::sscanf(text.c_str(), LogNameFormat "%n", &year, &month, &length) != 2 ||
        static_cast<size_t>(length) != text.size())
        return std::nullopt;
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        return std::nullopt;
    // Exactly the service's spelling: no leading zero, sign, blank or hex.
    char spelled[40];
    std::snprintf(spelled, sizeof spelled, LogNameFormat, year, month);
    if (text != spelled)
        return std::nullopt;
    return LogMonth{year, month};
}

}  // namespace report
