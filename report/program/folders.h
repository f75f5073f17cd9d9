// SPDX-License-Identifier: Apache-2.0
// The machines' folders that the command line names, their logs, and the
// names the machines carry.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "report/core/model.h"
#include "report/read/log-name.h"

namespace report {

// A machine's folder and its logs, listed once.
struct MachineFolder {
    std::filesystem::path Path;
    std::vector<LogFile> Logs;
    std::string Name;     // the machine's name: no other machine's
    std::string Problem;  // why the folder cannot be listed, for a fleet; empty when it was
    // The files named nearly as logs, by name, which are not read.
    std::vector<std::string> Nearly;
    // Without logs, and not for a fleet: whether its subfolders hold
    // machines' folders, as a collection does, a level or two below it.
    bool HoldsMachines = false;
};

// Machines that cannot be named as asked: more names than folders, or two
// that carry one name whatever their folders show. Subject is the option or
// the name, in UTF-8, as it is shown.
class NamingError : public std::runtime_error {
public:
    NamingError(std::string subject, const std::string& message)
        : std::runtime_error(message), Subject(std::move(subject))
    {
    }
    std::string Subject;
};

// Says a warning on a folder's entry, as the warnings of its logs are said.
using FolderWarning = std::function<void(const std::filesystem::path& folder, const Warning& warning)>;

// The folders of the machines, in the order given, each read once however
// often it is named. An argument with * or ? in its last part that names no
// folder as it is stands for the folders whose names match, in the order of
// their names: cmd.exe on Windows hands such arguments over unexpanded.
//
// For a fleet, a folder that holds no logs but has subfolders is a
// collection: every folder below it, at any depth, that holds logs or a
// PowerOFF.txt is a machine, named by its path below the collection
// ("site2/pc-e"), and one that cannot be listed is a machine with a Problem;
// files named nearly as logs make a machine's folder too.
// A machine's own subfolders, and folders whose names start with a dot, are
// passed over, and so are symbolic links: with a warning for the folder that
// holds one, when it leads out of the collection or back into it. A
// collection in which no machine is found stands for itself.
//
// A machine's name is given (names, in the machines' order), else the host's
// for the program's own folder, else its folder's: machines of the same name
// are named by their parent folders as well, until no two share one.
// Throws FolderError, for a fleet only when an argument cannot be expanded,
// and NamingError.
std::vector<MachineFolder> MachineFolders(const std::vector<std::filesystem::path>& arguments, bool fleet,
                                          const std::vector<std::string>& names, const FolderWarning& warn);

// Whether name matches pattern, where * stands for any run of characters and
// ? for one.
bool MatchesWildcard(std::string_view pattern, std::string_view name, bool ignoreCase);

}  // namespace report
