// SPDX-License-Identifier: Apache-2.0
// The names of the model's words, as every output spells them.
#include "report/model.h"

namespace report {

std::string_view EndName(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Down: return "down";
    case RunEnd::Pdown: return "pdown";
    case RunEnd::Crash: return "crash";
    case RunEnd::Unknown: return "unknown";
    case RunEnd::Running: return "running";
    }
    return "unknown";
}

}  // namespace report
