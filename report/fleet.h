// SPDX-License-Identifier: Apache-2.0
// The fleet's table as people read it, a row of texts per machine and a line
// of totals: the text printer and the fleet's page both show it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/model.h"

namespace report {

constexpr size_t FleetColumns = 10;

// "Machine", "Schedule", ... "Now".
const std::array<const char*, FleetColumns>& FleetHeadings();
// Whether a column holds numbers, which line up on the right.
bool FleetColumnIsNumeric(size_t column);
// A machine's row: "-" stands for what it does not have.
std::array<std::string, FleetColumns> FleetRow(const MachineReport& machine);
// "3 machines: 2 crashes, 1 missed power-off, 3.7 hours past the schedule"
std::string FleetTotals(const std::vector<MachineReport>& machines);

}  // namespace report
