// SPDX-License-Identifier: Apache-2.0
// Folder arguments expanded into machines' folders: wildcards, and folders of
// folders; and the machines' names.
#include "report/program/folders.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "report/core/utf8.h"
#include "report/program/program-host.h"
#include "report/read/machine-folder.h"
#include "uptime/log-words.h"

namespace report {

namespace {

namespace fs = std::filesystem;

char Folded(char c, bool ignoreCase)
{
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Subfolder {
    std::string Name;
    fs::path Path;
    bool Link;  // a symbolic link to a folder
};

// The subfolders of folder whose names match pattern, sorted by name.
std::vector<Subfolder> Subfolders(const fs::path& folder, std::string_view pattern)
{
    std::vector<Subfolder> found;
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::string name = Utf8Of(entries->path().filename());
        if (!MatchesWildcard(pattern, name, FileNamesIgnoreCase))
            continue;
        EntryKind kind = KindOf(*entries);
        if (kind.Folder)
            found.push_back({name, folder / entries->path().filename(), kind.Link});
    }
    if (error)
        throw FolderError(Utf8Of(folder), ListingProblem(FolderProblem(error)));
    std::sort(found.begin(), found.end(), [](const Subfolder& a, const Subfolder& b) { return a.Name < b.Name; });
    return found;
}

bool HasWildcard(const fs::path& part)
{
    return Utf8Of(part).find_first_of("*?") != std::string::npos;
}

// A folder argument with wildcards that names no folder as it is: the
// folders it matches, a part at a time, each part's matches in the order of
// their names. The folder before the first wildcard must be listed; one a
// wildcard reached that cannot be is passed over, as are matches without
// the parts that follow the last wildcard.
std::vector<fs::path> Expand(const fs::path& argument)
{
    if (!HasWildcard(argument.relative_path()) || KindOf(argument).Exists)
        return {argument};
    std::vector<fs::path> reached{argument.root_path()};
    bool expanded = false;
    bool after = false;  // parts after the last wildcard
    for (const fs::path& part : argument.relative_path()) {
        if (!HasWildcard(part)) {
            for (fs::path& folder : reached)
                folder /= part;
            after = after || expanded;
            continue;
        }
        std::vector<fs::path> matches;
        for (const fs::path& folder : reached) {
            std::vector<Subfolder> subfolders;
            try {
                subfolders = Subfolders(folder, Utf8Of(part));
            } catch (const FolderError&) {
                if (!expanded)
                    throw;
            }
            for (Subfolder& subfolder : subfolders)
                matches.push_back(std::move(subfolder.Path));
        }
        reached = std::move(matches);
        expanded = true;
        after = false;
    }
    if (after)
        std::erase_if(reached, [](const fs::path& folder) { return !KindOf(folder).Folder; });
    if (reached.empty())
        throw FolderError(Utf8Of(argument), "no folder matches");
    return reached;
}

// A folder's absolute path, part by part: the last parts make its name.
std::vector<std::string> PartsOf(const fs::path& folder)
{
    std::error_code error;
    fs::path full = fs::absolute(folder, error).lexically_normal();
    std::vector<std::string> parts;
    if (full.has_root_name())
        parts.push_back(Utf8Of(full.root_name()));
    for (const fs::path& part : full.relative_path())
        if (!part.empty())
            parts.push_back(Utf8Of(part));
    if (parts.empty())
        parts.push_back(Utf8Of(folder));  // the root
    return parts;
}

std::string FoldedText(std::string text)
{
    for (char& c : text)
        c = Folded(c, FileNamesIgnoreCase);
    return text;
}

// What tells one folder from another, however it is named: links resolved.
std::string IdentityOf(const fs::path& folder)
{
    std::error_code error;
    fs::path canonical = fs::canonical(folder, error);
    return error ? ComparedPath(folder) : FoldedText(Utf8Of(canonical));
}

// A subfolder's identity: its folder's and its name.
std::string IdentityOf(const Subfolder& subfolder, const std::string& folder)
{
    return folder + static_cast<char>(fs::path::preferred_separator) + FoldedText(subfolder.Name);
}

// Whether the folder of identity lies below the folder of root's.
bool Below(const std::string& identity, std::string root)
{
    if (root.empty() || root.back() != static_cast<char>(fs::path::preferred_separator))
        root += static_cast<char>(fs::path::preferred_separator);
    return identity.size() > root.size() && identity.compare(0, root.size(), root) == 0;
}

// A machine's folder as it is found, and what may name it.
struct Found {
    MachineFolder Folder;  // its Name the last Shown parts of its path
    size_t Shown = 1;
    bool Fixed = false;
};

// Finds the machines of the arguments, each folder once.
class Finder {
public:
    Finder(bool fleet, const FolderWarning& warn) : Fleet(fleet), Warn(warn) {}

    void Argument(const fs::path& folder)
    {
        std::string name = PartsOf(folder).back();
        std::string identity = IdentityOf(folder);
        Root = identity;
        std::vector<LogFile> logs;
        std::vector<std::string> nearly;
        try {
            logs = ListLogs(folder, &nearly);
        } catch (const FolderError& e) {
            if (!Fleet)
                throw FolderError(e.Folder, ListingProblem(e.what()));
            Add(folder, identity, {}, ListingProblem(e.what()), name, 1);
            return;
        }
        if (Fleet && logs.empty() && nearly.empty() && Collection(folder, identity, "", 0) > 0)
            return;
        bool holdsMachines = !Fleet && logs.empty() && HoldsMachines(folder, 2);
        Add(folder, identity, std::move(logs), "", name, 1, std::move(nearly), holdsMachines);
    }

    std::vector<Found> Machines;

private:
    void Add(fs::path folder, const std::string& identity, std::vector<LogFile> logs, std::string problem,
             std::string name, size_t shown, std::vector<std::string> nearly = {}, bool holdsMachines = false)
    {
        std::sort(nearly.begin(), nearly.end());
        if (Identities.insert(identity).second)
            Machines.push_back({{std::move(folder), std::move(logs), std::move(name), std::move(problem),
                                 std::move(nearly), holdsMachines},
                                shown});
    }

    // Whether a folder's subfolders, down to depth levels below it, hold a
    // machine's: logs, a PowerOFF.txt, or files named nearly as logs. Only a
    // hint for --fleet: it looks no deeper, and stops at the first.
    static bool HoldsMachines(const fs::path& folder, int depth)
    {
        std::vector<Subfolder> subfolders;
        try {
            subfolders = Subfolders(folder, "*");
        } catch (const FolderError&) {
            return false;
        }
        for (const Subfolder& subfolder : subfolders) {
            if (subfolder.Name.front() == '.' || subfolder.Link)
                continue;
            std::vector<std::string> nearly;
            try {
                if (!ListLogs(subfolder.Path, &nearly).empty() || !nearly.empty())
                    return true;
            } catch (const FolderError&) {
                continue;
            }
            if (KindOf(subfolder.Path / ScheduleFileName).Exists ||
                (depth > 1 && HoldsMachines(subfolder.Path, depth - 1)))
                return true;
        }
        return false;
    }

    // A collection's links are not followed: the folders they lead to in it
    // are found by their own paths, and those out of it, or back to it, are
    // no part of it.
    void PassLink(const Subfolder& link, const fs::path& folder)
    {
        std::string target = IdentityOf(link.Path);
        if (Below(target, Root))
            return;
        if (Warn)
            Warn(folder,
                 {link.Name, 0,
                  Below(Root, target) || target == Root ? "a symbolic link back into the collection, not followed"
                                                        : "a symbolic link out of the collection, not followed"});
    }

    // The machines below a collection, named by their paths below it after
    // prefix, depth parts deep; as many as were found when it is met again.
    size_t Collection(const fs::path& folder, const std::string& identity, const std::string& prefix, size_t depth)
    {
        auto [scanned, first] = Scanned.emplace(identity, 0);
        if (!first)
            return scanned->second;
        std::vector<Subfolder> subfolders;
        try {
            subfolders = Subfolders(folder, "*");
        } catch (const FolderError& e) {
            Add(folder, identity, {}, e.what(),
                prefix.empty() ? PartsOf(folder).back() : prefix.substr(0, prefix.size() - 1),
                std::max<size_t>(depth, 1));
            return scanned->second = 1;
        }
        size_t found = 0;
        for (Subfolder& subfolder : subfolders) {
            if (subfolder.Name.front() == '.')
                continue;
            if (subfolder.Link) {
                PassLink(subfolder, folder);
                continue;
            }
            std::string name = prefix + subfolder.Name;
            std::string subidentity = IdentityOf(subfolder, identity);
            // A machine's folder is not searched further, as it is not when
            // it is given.
            std::vector<LogFile> logs;
            std::vector<std::string> nearly;
            try {
                logs = ListLogs(subfolder.Path, &nearly);
            } catch (const FolderError& e) {
                Add(std::move(subfolder.Path), subidentity, {}, ListingProblem(e.what()), name, depth + 1);
                found++;
                continue;
            }
            if (logs.empty() && nearly.empty() && !KindOf(subfolder.Path / ScheduleFileName).Exists) {
                found += Collection(subfolder.Path, subidentity, name + '/', depth + 1);
                continue;
            }
            Add(std::move(subfolder.Path), subidentity, std::move(logs), "", name, depth + 1, std::move(nearly));
            found++;
        }
        return scanned->second = found;
    }

    bool Fleet;
    const FolderWarning& Warn;
    std::string Root;                       // the identity of the argument's folder
    std::set<std::string> Identities;       // of the machines' folders
    std::map<std::string, size_t> Scanned;  // the collections, and the machines found in them
};

std::string Joined(const std::vector<std::string>& parts, size_t last)
{
    std::string name;
    for (size_t i = parts.size() - last; i < parts.size(); i++)
        name += (name.empty() ? "" : "/") + parts[i];
    return name;
}

// Names every machine, each name once: a given one, or the host's, stays;
// others take on their parent folders while they share a name.
void Name(std::vector<Found>& machines, const std::vector<std::string>& names)
{
    if (names.size() > machines.size())
        throw NamingError("--machine", "more names than folders");
    static const fs::path ownFolder = ProgramFolder();
    for (size_t i = 0; i < machines.size(); i++) {
        Found& machine = machines[i];
        std::error_code error;
        std::string host = i < names.size()                                        ? names[i]
                           : fs::equivalent(machine.Folder.Path, ownFolder, error) ? HostName()
                                                                                   : "";
        machine.Fixed = !host.empty();
        if (machine.Fixed)
            machine.Folder.Name = host;
    }
    for (bool grown = true; grown;) {
        grown = false;
        std::map<std::string, std::vector<Found*>> byName;
        for (Found& machine : machines)
            byName[machine.Folder.Name].push_back(&machine);
        for (auto& [name, same] : byName) {
            for (Found* machine : same) {
                if (same.size() < 2 || machine->Fixed)
                    continue;
                std::vector<std::string> parts = PartsOf(machine->Folder.Path);
                if (machine->Shown == parts.size())
                    continue;
                machine->Folder.Name = Joined(parts, ++machine->Shown);
                grown = true;
            }
        }
        if (!grown && byName.size() < machines.size())
            for (auto& [name, same] : byName)
                if (same.size() > 1)
                    throw NamingError(name, "two machines carry this name");
    }
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

std::vector<MachineFolder> MachineFolders(const std::vector<fs::path>& arguments, bool fleet,
                                          const std::vector<std::string>& names, const FolderWarning& warn)
{
    Finder finder(fleet, warn);
    for (const fs::path& argument : arguments) {
        try {
            for (const fs::path& folder : Expand(argument))
                finder.Argument(folder);
        } catch (const FolderError& e) {
            throw FolderError(e.Folder, e.what() + QuotingHint(Utf8Of(argument)));
        }
    }
    Name(finder.Machines, names);
    std::vector<MachineFolder> folders;
    for (Found& found : finder.Machines)
        folders.push_back(std::move(found.Folder));
    return folders;
}

}  // namespace report
