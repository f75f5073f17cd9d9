// SPDX-License-Identifier: Apache-2.0
// The runs ranked, as --top and --last list them: the longest or the newest
// few, of one machine or of a fleet, kept as the machines come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/core/model.h"

namespace report {

// Longest: by minutes, the longer first, then the older. Newest: by start,
// the later first. Ties keep the order the runs came in.
enum class RunOrder { Longest, Newest };

struct RankedRun {
    size_t Rank = 0;  // from 1
    std::string Machine;
    std::string Folder;
    Run Of;
};

// Keeps at most Count runs of the machines added, the first in the order.
class RunRanking {
public:
    RunRanking(RunOrder order, size_t count) : Order(order), Count(count) {}
    void Add(const MachineReport& machine);
    // The runs kept, ranked, and none kept after.
    std::vector<RankedRun> Take();

private:
    struct Kept {
        RankedRun Entry;
        uint64_t Sequence;  // the order it came in
    };
    bool Before(const Kept& a, const Kept& b) const;
    // The first Count, in their order.
    void Cut();

    RunOrder Order;
    size_t Count;
    std::vector<Kept> Runs;
    uint64_t Added = 0;
};

}  // namespace report
