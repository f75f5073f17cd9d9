// SPDX-License-Identifier: Apache-2.0
// The summary as metrics in the Prometheus text exposition format, for the
// textfile collectors of node_exporter and windows_exporter.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "report/model.h"

namespace report {

// Writes the metrics of every machine; names[i] labels machines[i]. The last
// crash and last scheduled power-off need the machines' runs.
void PrintOpenMetrics(std::ostream& out, const std::vector<MachineReport>& machines,
                      const std::vector<std::string>& names);

// The name a folder's metrics carry when none is given: the host's name for
// the report's own folder (where it is installed beside the service), else
// the folder's name.
std::string DefaultMachineName(const std::filesystem::path& folder, const std::filesystem::path& ownFolder);

// A local civil time as Unix time, read in the machine's time zone; none when
// the system cannot convert it.
std::optional<int64_t> UnixSeconds(LocalMinute moment);

}  // namespace report
