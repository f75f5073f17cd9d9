// SPDX-License-Identifier: Apache-2.0
// The warnings of a machine's logs: each counted, and a log's first
// WarningsPerLog passed on and kept.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "report/core/model.h"
#include "report/read/read-options.h"

namespace report {

class LogWarnings {
public:
    explicit LogWarnings(const ReadOptions& options) : OnWarning(options.OnWarning), Keep(options.KeepWarnings) {}

    void BeginLog(const std::string& name);
    // Counts a warning of the log's line, and passes it on while the log has
    // had no more than WarningsPerLog: problem is its text, or makes it then.
    template <typename Problem> void Warn(uint64_t line, const Problem& problem)
    {
        Count++;
        if (++LogCount > WarningsPerLog)
            return;
        if constexpr (std::is_invocable_v<Problem>)
            Pass(line, problem());
        else
            Pass(line, std::string(problem));
    }
    // A log that could not be read: a warning for line 0, and the report
    // incomplete, for this reason when it is the first.
    void Problem(const std::string& problem);
    // The number of the log's warnings that were not passed on, for line 0.
    void EndLog();

    int64_t Count = 0;
    std::string Incomplete;     // "FILE: problem" of the first log that could not be read, or empty
    std::vector<Warning> Kept;  // when the options keep them

private:
    void Pass(uint64_t line, std::string problem);

    std::function<void(const Warning&)> OnWarning;
    bool Keep;
    std::string LogName;
    int64_t LogCount = 0;
};

}  // namespace report
