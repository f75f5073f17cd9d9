// SPDX-License-Identifier: Apache-2.0
// The names of the months' logs, read back with the service's own format.
#include "report/read/log-name.h"

#include <cctype>
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

std::string LogName(LogMonth month)
{
    char name[40];
    std::snprintf(name, sizeof name, LogNameFormat, month.Year, month.Month);
    return name;
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of the digits that end text before end, as many as there are,
// at most digits of them; moves end to their first.
std::optional<int> NumberBefore(std::string_view text, size_t& end, size_t digits)
{
    size_t first = end;
    while (first > 0 && end - first < digits && IsDigit(text[first - 1]))
        first--;
    if (first == end || (first > 0 && IsDigit(text[first - 1])))
        return std::nullopt;
    int value = 0;
    for (size_t i = first; i < end; i++)
        value = value * 10 + (text[i] - '0');
    end = first;
    return value;
}

}  // namespace

std::optional<std::string> NearLogName(std::string_view name)
{
    constexpr std::string_view Extension = ".log";
    if (ParseLogName(name) || name.size() <= Extension.size() || name.size() > 255)
        return std::nullopt;
    size_t end = name.size() - Extension.size();
    for (size_t i = 0; i < Extension.size(); i++)
        if (std::tolower(static_cast<unsigned char>(name[end + i])) != Extension[i])
            return std::nullopt;
    std::optional<int> month = NumberBefore(name, end, 2);
    if (!month || end == 0 || std::string_view("_-. ").find(name[end - 1]) == std::string_view::npos)
        return std::nullopt;
    end--;
    std::optional<int> year = NumberBefore(name, end, 4);
    if (!year || *year < 1 || *month < 1 || *month > 12)
        return std::nullopt;
    return LogName({*year, *month});
}

}  // namespace report
