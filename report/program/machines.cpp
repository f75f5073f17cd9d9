// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names read: its folder and logs, its
// schedule, its name, and for the fleet's page its days.
#include "report/program/machines.h"

#include <cstdio>
#include <filesystem>

#include "report/core/days.h"
#include "report/core/utf8.h"
#include "report/program/folder-schedule.h"
#include "report/program/folders.h"
#include "report/read/machine-folder.h"

namespace report {

namespace {

// The days the fleet's page draws: the selection, or the 31 days up to now.
std::pair<LocalDay, LocalDay> FleetDays(const Options& options)
{
    using std::chrono::days;
    LocalDay today = std::chrono::floor<days>(options.Now);
    const Selection& selected = options.Selected;
    LocalDay last = selected.Until ? *selected.Until : selected.Since ? std::max(today, *selected.Since) : today;
    LocalDay first = selected.Since ? *selected.Since : last - days{30};
    return {first, last};
}

// Prints a folder's warnings as "FOLDER/FILE:LINE: problem" on standard error.
std::function<void(const Warning&)> WarningPrinter(const std::filesystem::path& folder)
{
    std::string shown = Utf8Of(folder);
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!shown.empty() && shown.back() != '/' && shown.back() != separator)
        shown += separator;
    return [shown](const Warning& warning) {
        std::string line = shown + warning.File + ':' + std::to_string(warning.Line) + ": " + warning.Problem + '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
    };
}

// Warnings may come by the million from a damaged log: written in blocks.
void BufferWarnings()
{
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

ReadOptions ReadOptionsFor(const Options& options, const MachineFolder& folder, const Selection& selected, bool warn)
{
    return {selected,
            options.Schedule ? *options.Schedule : ReadFolderSchedule(folder.Path),
            options.Now,
            options.RunningWithin,
            KeepsRuns(options),
            KeepsWarnings(options),
            warn ? WarningPrinter(folder.Path) : nullptr};
}

std::vector<MachineReport> Read(const Options& options, const std::vector<MachineFolder>& folders,
                                const Selection& selected, bool warn)
{
    BufferWarnings();
    std::vector<MachineReport> machines;
    for (size_t i = 0; i < folders.size(); ++i) {
        MachineReport& machine = machines.emplace_back(
            ReadMachine(folders[i].Path, folders[i].Logs, ReadOptionsFor(options, folders[i], selected, warn)));
        machine.Name = i < options.MachineNames.size() ? options.MachineNames[i] : DefaultMachineName(folders[i].Path);
    }
    return machines;
}

}  // namespace

std::vector<MachineFolder> ListMachines(const Options& options)
{
    std::vector<MachineFolder> folders = MachineFolders(options.Folders, options.Fleet);
    if (options.MachineNames.size() > folders.size())
        throw FolderError("--machine", "more names than folders");
    return folders;
}

bool PrintsSelection(const Options& options)
{
    return options.Output != OutputKind::None || !options.SvgFile.empty() ||
           (!options.HtmlFile.empty() && !options.Fleet);
}

bool PrintsFleetPage(const Options& options)
{
    return options.Fleet && !options.HtmlFile.empty();
}

std::vector<MachineReport> ReadMachines(const Options& options, const std::vector<MachineFolder>& folders)
{
    return Read(options, folders, options.Selected, true);
}

std::vector<MachineReport> ReadFleetPage(const Options& options, const std::vector<MachineFolder>& folders,
                                         bool printed)
{
    auto [first, last] = FleetDays(options);
    std::vector<MachineReport> machines = Read(options, folders, {first, last}, !printed);
    // The page keeps each machine's days, not its runs.
    for (MachineReport& machine : machines) {
        machine.Days = DaysOf(machine.Runs, machine.Schedule, first, last, options.Now);
        std::vector<Run>().swap(machine.Runs);
    }
    return machines;
}

}  // namespace report
