// SPDX-License-Identifier: Apache-2.0
// Folder arguments expanded into machines' folders: wildcards, and folders of
// folders.
#include "report/program/folders.h"

#include <algorithm>
#include <system_error>

#include "report/core/utf8.h"
#include "report/program/program-host.h"
#include "report/read/machine-folder.h"

namespace report {

namespace {

namespace fs = std::filesystem;

char Folded(char c, bool ignoreCase)
{
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The subfolders of folder whose names match pattern, sorted by name.
std::vector<fs::path> Subfolders(const fs::path& folder, std::string_view pattern)
{
    std::vector<std::pair<std::string, fs::path>> found;
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code statusError;
        std::string name = Utf8Of(entries->path().filename());
        if (entries->is_directory(statusError) && MatchesWildcard(pattern, name, FileNamesIgnoreCase))
            found.emplace_back(name, folder / entries->path().filename());
    }
    if (error)
        throw FolderError(Utf8Of(folder), FolderProblem(error));
    std::sort(found.begin(), found.end());
    std::vector<fs::path> folders;
    for (auto& [name, path] : found)
        folders.push_back(std::move(path));
    return folders;
}

// A folder argument whose last part holds a wildcard: the folders it matches.
std::vector<fs::path> Expand(const fs::path& argument)
{
    std::error_code error;
    std::string pattern = Utf8Of(argument.filename());
    if (pattern.find_first_of("*?") == std::string::npos || fs::exists(argument, error))
        return {argument};
    std::vector<fs::path> matches = Subfolders(argument.parent_path(), pattern);
    if (matches.empty())
        throw FolderError(Utf8Of(argument), "no folder matches");
    return matches;
}

// A fleet's folder without logs of its own: its subfolders that have some,
// none when there are none.
std::vector<MachineFolder> Collection(const fs::path& folder)
{
    std::vector<MachineFolder> machines;
    for (fs::path& subfolder : Subfolders(folder, "*")) {
        std::vector<LogFile> logs = ListLogs(subfolder);
        if (!logs.empty())
            machines.push_back({std::move(subfolder), std::move(logs)});
    }
    return machines;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name, bool ignoreCase)
{
    // The last * seen and where in name it has got to, to go back to.
    size_t p = 0;
    size_t n = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || Folded(pattern[p], ignoreCase) == Folded(name[n], ignoreCase))) {
            p++;
            n++;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        p++;
    return p == pattern.size();
}

std::vector<MachineFolder> MachineFolders(const std::vector<fs::path>& arguments, bool fleet)
{
    std::vector<MachineFolder> folders;
    for (const fs::path& argument : arguments) {
        for (fs::path& folder : Expand(argument)) {
            std::vector<LogFile> logs = ListLogs(folder);
            if (fleet && logs.empty()) {
                std::vector<MachineFolder> machines = Collection(folder);
                if (!machines.empty()) {
                    std::move(machines.begin(), machines.end(), std::back_inserter(folders));
                    continue;
                }
            }
            folders.push_back({std::move(folder), std::move(logs)});
        }
    }
    return folders;
}

std::string DefaultMachineName(const fs::path& folder)
{
    static const fs::path ownFolder = ProgramFolder();
    std::error_code error;
    if (fs::equivalent(folder, ownFolder, error)) {
        std::string host = HostName();
        if (!host.empty())
            return host;
    }
    fs::path full = fs::absolute(folder, error).lexically_normal();
    if (full.filename().empty())
        full = full.parent_path();  // "logs/" names "logs"
    std::string name = Utf8Of(full.filename());
    return name.empty() ? Utf8Of(folder) : name;
}

}  // namespace report
