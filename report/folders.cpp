// SPDX-License-Identifier: Apache-2.0
// Folder arguments expanded into machines' folders: wildcards, and folders of
// folders.
#include "report/folders.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "report/host.h"
#include "report/reader.h"
#include "report/utf8.h"

namespace report {

namespace {

namespace fs = std::filesystem;

char Folded(char c, bool ignoreCase)
{
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The subfolders of folder whose names match pattern, sorted by name.
std::vector<std::string> Subfolders(const std::string& folder, std::string_view pattern)
{
    std::vector<std::pair<std::string, std::string>> found;
    std::error_code error;
    fs::path base = PathOf(folder);
    fs::directory_iterator entries(base.empty() ? fs::path(".") : base, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code statusError;
        std::string name = Utf8Of(entries->path().filename());
        if (entries->is_directory(statusError) && MatchesWildcard(pattern, name, FileNamesIgnoreCase))
            found.emplace_back(name, Utf8Of(base / entries->path().filename()));
    }
    if (error)
        throw FolderError(folder, error.message());
    std::sort(found.begin(), found.end());
    std::vector<std::string> folders;
    for (auto& [name, path] : found)
        folders.push_back(std::move(path));
    return folders;
}

// A folder argument whose last part holds a wildcard: the folders it matches.
std::vector<std::string> Expand(const std::string& argument)
{
    std::error_code error;
    fs::path path = PathOf(argument);
    std::string pattern = Utf8Of(path.filename());
    if (pattern.find_first_of("*?") == std::string::npos || fs::exists(path, error))
        return {argument};
    std::vector<std::string> matches = Subfolders(Utf8Of(path.parent_path()), pattern);
    if (matches.empty())
        throw FolderError(argument, "no folder matches");
    return matches;
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

std::vector<std::string> MachineFolders(const std::vector<std::string>& arguments, bool fleet)
{
    std::vector<std::string> folders;
    for (const std::string& argument : arguments) {
        for (std::string& folder : Expand(argument)) {
            if (fleet && ListLogs(folder).empty()) {
                std::vector<std::string> machines;
                for (std::string& subfolder : Subfolders(folder, "*"))
                    if (!ListLogs(subfolder).empty())
                        machines.push_back(std::move(subfolder));
                if (!machines.empty()) {
                    folders.insert(folders.end(), machines.begin(), machines.end());
                    continue;
                }
            }
            folders.push_back(std::move(folder));
        }
    }
    return folders;
}

std::string DefaultMachineName(const std::string& folder)
{
    static const fs::path ownFolder = PathOf(ProgramFolder());
    std::error_code error;
    if (fs::equivalent(PathOf(folder), ownFolder, error)) {
        std::string host = HostName();
        if (!host.empty())
            return host;
    }
    fs::path full = fs::absolute(PathOf(folder), error).lexically_normal();
    if (full.filename().empty())
        full = full.parent_path();  // "logs/" names "logs"
    std::string name = Utf8Of(full.filename());
    return name.empty() ? folder : name;
}

}  // namespace report
