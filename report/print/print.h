// SPDX-License-Identifier: Apache-2.0
// The printers, one file per format, each format's fleet variant beside it:
// they write the machines' reports, knowing the model and nothing else of
// how it was read or asked for.
#pragma once

#include <ostream>
#include <vector>

#include "report/core/model.h"

namespace report {

// The short summary for people; with table, one row per run after it.
void PrintText(std::ostream& out, const std::vector<MachineReport>& machines, bool table);
// {"machines": [{"folder", "summary", "runs", "warnings"}]}
void PrintJson(std::ostream& out, const std::vector<MachineReport>& machines);
// folder,start,end,minutes,ended,file,line: one row per run.
void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines);
// One self-contained SVG document of the machines' months: from the first
// selected run's month to that of the last one's end, within the selection.
// Standalone adds the XML prolog; a page embeds the document without it.
void PrintSvg(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected,
              bool standalone = true);
// One self-contained web page: the picture, then the summary and the table.
void PrintHtml(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected);
// The summaries as metrics in the Prometheus text format, for the textfile
// collectors; each machine's Name is its label.
void PrintOpenMetrics(std::ostream& out, const std::vector<MachineReport>& machines);

// The fleet: one row per machine, named by its Name, and the fleet's totals.
void PrintFleetText(std::ostream& out, const std::vector<MachineReport>& machines);
// A machine whose folder cannot be read (its Problem) is a row that says so
// in each of them.
//
// machine,schedule,runs,crash,pdown,poweroffs_missed,minutes_past_schedule,
// uptime_minutes,availability,last_end,running,last_poweroff; an empty field
// stands for a value that does not exist, all but the machine's for an unread
// one.
void PrintFleetCsv(std::ostream& out, const std::vector<MachineReport>& machines);
// {"machines": [{"folder", "machine", "summary"}]}: the summaries, no runs;
// an unread machine's "error" in place of its summary.
void PrintFleetJson(std::ostream& out, const std::vector<MachineReport>& machines);
// One self-contained page: the fleet's table, and a strip of each machine's
// Days under it, the machines that missed a power-off first.
void PrintFleetHtml(std::ostream& out, const std::vector<MachineReport>& machines);

}  // namespace report
