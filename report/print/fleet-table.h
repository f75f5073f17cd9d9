// SPDX-License-Identifier: Apache-2.0
// The fleet's table as people read it, a row of texts per machine and a line
// of totals: the text printer and the fleet's page both show it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/core/model.h"

namespace report {

struct FleetColumn {
    const char* Heading;
    bool Numeric;  // lined up on the right
};

constexpr size_t FleetColumns = 13;

// "Machine", "Schedule", ... "Now", "Since", "Ended", "Last power-off", in
// their order.
const std::array<FleetColumn, FleetColumns>& FleetTable();
// A machine's row: "-" stands for what it does not have, and for all of it,
// its state "unreadable", when its folder cannot be read.
std::array<std::string, FleetColumns> FleetRow(const MachineReport& machine);
// "3 machines: 2 crashes, 1 missed power-off, 3.7 hours past the schedule"
std::string FleetTotals(const std::vector<MachineReport>& machines);
// The machines in the order people read them: those that missed the last
// scheduled power-off first, each group in the order given.
std::vector<const MachineReport*> FleetOrder(const std::vector<MachineReport>& machines);

}  // namespace report
