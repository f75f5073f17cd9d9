// SPDX-License-Identifier: Apache-2.0
// The machines' folders that the command line names, their logs, and the
// names the machines carry.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "report/read/log-name.h"

namespace report {

// A machine's folder and its logs, listed once.
struct MachineFolder {
    std::filesystem::path Path;
    std::vector<LogFile> Logs;
};

// The folders of the machines, in the order given. An argument with * or ?
// in its last part that names no folder as it is stands for the folders whose
// names match, in the order of their names: cmd.exe on Windows hands such
// arguments over unexpanded. For a fleet, a folder that holds no logs but has
// subfolders that do stands for those subfolders, as a share that collects
// the logs of many machines does. Throws FolderError.
std::vector<MachineFolder> MachineFolders(const std::vector<std::filesystem::path>& arguments, bool fleet);

// Whether name matches pattern, where * stands for any run of characters and
// ? for one.
bool MatchesWildcard(std::string_view pattern, std::string_view name, bool ignoreCase);

// The name a folder's machine carries when none is given: the host's name for
// the program's own folder, where it is installed beside the service, else
// the folder's own name.
std::string DefaultMachineName(const std::filesystem::path& folder);

}  // namespace report
