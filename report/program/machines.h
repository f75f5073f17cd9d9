// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names, read into the model the printers
// take.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/core/model.h"
#include "report/program/folders.h"
#include "report/program/options.h"

namespace report {

// The machines the command line names. Every one's folder and logs are
// listed before a line is read or printed: a folder that cannot be read
// fails the program before any output, or, for a fleet, is a machine with a
// Problem. Every one's schedule is read before a machine is printed too,
// for the outputs whose columns or legend answer for all of them.
struct MachineList {
    std::vector<MachineFolder> Folders;
    // Each folder's: --schedule's, else its PowerOFF.txt's, why that could
    // not be read, and what else its text holds, which are said when its
    // machine is read.
    std::vector<PowerOffSchedule> Schedules;
    std::vector<std::string> ScheduleProblems;
    std::vector<std::string> ScheduleNotes;
    bool AnyScheduleKnown = false;
    bool AnyScheduledMinute = false;
};
// Throws FolderError and NamingError.
MachineList ListMachines(const Options& options);

// Whether the outputs asked for print the machines over the selection; the
// fleet's page alone covers the days it shows.
bool PrintsSelection(const Options& options);
bool PrintsFleetPage(const Options& options);

// Reads the machines over the selection, handing each to print before the
// next is read, so that memory holds the runs of one; their warnings and
// the folders that cannot be read on standard error as they are found. A
// folder's own warnings come before its logs': its PowerOFF.txt's, the
// files named nearly as logs, and a folder without logs, which names the
// logs the service writes and, where its subfolders hold machines', --fleet.
void ReadMachines(const Options& options, const MachineList& machines,
                  const std::function<void(MachineReport&)>& print);
// The machines over the selection, as the fleet's text has them, with each
// one's days the fleet's page shows rather than its runs; on standard error only when printed is false, for
// the other outputs have said it.
std::vector<MachineReport> ReadFleetPage(const Options& options, const MachineList& machines, bool printed);

}  // namespace report
