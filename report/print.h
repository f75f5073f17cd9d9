// SPDX-License-Identifier: Apache-2.0
// The printers of the reports: each takes the reports of the folders in
// the order given.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report/model.h"

namespace report {

// The short summary for people; with table, one row per run after it.
void PrintText(std::ostream& out, const std::vector<MachineReport>& machines, bool table);
// {"machines": [{"folder", "summary", "runs", "warnings"}]}
void PrintJson(std::ostream& out, const std::vector<MachineReport>& machines);
// folder,start,end,minutes,ended,file,line: one row per run.
void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines);

// A CSV field, quoted as RFC 4180 says when it holds a comma, a quote or a
// line end.
std::string CsvField(const std::string& text);

}  // namespace report
