// SPDX-License-Identifier: Apache-2.0
// The warnings of a machine's logs, passed on and kept.
#include "report/read/log-warnings.h"

namespace report {

void LogWarnings::BeginLog(const std::string& name)
{
    LogName = name;
    LogCount = 0;
}

void LogWarnings::Problem(const std::string& problem)
{
    if (Incomplete.empty())
        Incomplete = LogName + ": " + problem;
    Warn(0, problem);
}

void LogWarnings::EndLog()
{
    if (LogCount > WarningsPerLog && OnWarning)
        OnWarning({LogName, 0, std::to_string(LogCount - WarningsPerLog) + " more warnings not shown"});
}

void LogWarnings::Pass(uint64_t line, std::string problem)
{
    Warning warning{LogName, line, std::move(problem)};
    if (OnWarning)
        OnWarning(warning);
    if (Keep)
        Kept.push_back(std::move(warning));
}

}  // namespace report
