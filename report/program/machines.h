// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names, read into the model the printers
// take.
#pragma once

#include <vector>

#include "report/core/model.h"
#include "report/program/options.h"

namespace report {

// Every folder is listed before a line is printed: a folder that cannot be
// read fails the program before any output, or, for a fleet, is a machine
// with a Problem, said on standard error. Warnings go to standard error as
// they are found. Throws FolderError.
std::vector<MachineReport> ReadMachines(const Options& options);

}  // namespace report
