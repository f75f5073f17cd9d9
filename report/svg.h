// SPDX-License-Identifier: Apache-2.0
// The picture of the months: a timeline per month, one row per day, each run
// a bar coloured by how it ended.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <vector>

#include "report/model.h"

namespace report {

// Bounds on the months drawn, which run from the first run's month to the
// month of the last run's end.
struct MonthRange {
    std::optional<std::chrono::year_month> First;
    std::optional<std::chrono::year_month> Last;
};

// Writes one self-contained SVG document of the machines' months.
// Standalone adds the XML prolog; HTML embeds the document without it.
void PrintSvg(std::ostream& out, const std::vector<MachineReport>& machines, MonthRange range, bool standalone = true);

// Escapes text for XML character data and attribute values; bytes that are
// not UTF-8 become U+FFFD, so that a strange folder name cannot break the file.
std::string XmlEscape(std::string_view text);

}  // namespace report
