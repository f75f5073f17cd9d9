// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names, read into the model the printers
// take.
#pragma once

#include <vector>

#include "report/core/model.h"
#include "report/program/folders.h"
#include "report/program/options.h"

namespace report {

// The machines' folders and their logs, every one listed before a line is
// read or printed: a folder that cannot be read fails the program before any
// output, or, for a fleet, is a machine with a Problem. Throws FolderError.
std::vector<MachineFolder> ListMachines(const Options& options);

// Whether the outputs asked for print the machines over the selection; the
// fleet's page alone covers the days it shows.
bool PrintsSelection(const Options& options);
bool PrintsFleetPage(const Options& options);

// The machines' runs over the selection, their warnings and the folders
// that cannot be read on standard error as they are found.
std::vector<MachineReport> ReadMachines(const Options& options, const std::vector<MachineFolder>& folders);
// The machines over the days the fleet's page shows, with each one's days
// rather than its runs; on standard error only when printed is false, for
// the other outputs have said it.
std::vector<MachineReport> ReadFleetPage(const Options& options, const std::vector<MachineFolder>& folders,
                                         bool printed);

}  // namespace report
