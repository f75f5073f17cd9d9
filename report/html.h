// SPDX-License-Identifier: Apache-2.0
// One self-contained web page: the picture of the months, then the text
// summary and the table of runs as the text output prints them.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "report/model.h"
#include "report/svg.h"

namespace report {

// Writes the page. Text is the summary and table, already printed; it is
// shown as it is, in a fixed-width font.
void PrintHtml(std::ostream& out, const std::vector<MachineReport>& machines, MonthRange range, std::string_view text);

}  // namespace report
