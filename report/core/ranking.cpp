// SPDX-License-Identifier: Apache-2.0
// The runs ranked, the longest or the newest few kept.
#include "report/core/ranking.h"

#include <algorithm>

namespace report {

bool RunRanking::Before(const Kept& a, const Kept& b) const
{
    const Run& x = a.Entry.Of;
    const Run& y = b.Entry.Of;
    if (Order == RunOrder::Longest && x.Minutes != y.Minutes)
        return x.Minutes > y.Minutes;
    if (x.Start.Instant != y.Start.Instant)
        return Order == RunOrder::Longest ? x.Start.Instant < y.Start.Instant : x.Start.Instant > y.Start.Instant;
    return a.Sequence < b.Sequence;
}

void RunRanking::Add(const MachineReport& machine)
{
    for (const Run& run : machine.Runs)
        Runs.push_back({{0, machine.Name, machine.Folder, run}, Added++});
    // Cut back to the first Count once twice as many are held: so that a
    // fleet's runs are not held, nor sorted once a machine.
    if (Runs.size() > 2 * Count)
        Cut();
}

void RunRanking::Cut()
{
    auto before = [this](const Kept& a, const Kept& b) { return Before(a, b); };
    if (Runs.size() > Count) {
        std::nth_element(Runs.begin(), Runs.begin() + static_cast<ptrdiff_t>(Count), Runs.end(), before);
        Runs.resize(Count);
    }
    std::sort(Runs.begin(), Runs.end(), before);
}

std::vector<RankedRun> RunRanking::Take()
{
    Cut();
    std::vector<RankedRun> ranked;
    ranked.reserve(Runs.size());
    for (Kept& kept : Runs) {
        kept.Entry.Rank = ranked.size() + 1;
        ranked.push_back(std::move(kept.Entry));
    }
    Runs.clear();
    return ranked;
}

}  // namespace report
