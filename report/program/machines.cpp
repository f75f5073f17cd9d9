// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names read: its folder and logs, its
// schedule, its name, and for the fleet's page its days.
#include "report/program/machines.h"

#include <algorithm>
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

// The fleet's page draws at most this many days, the newest: a year.
constexpr int MostFleetDays = 366;

// A machine's days on the fleet's page: a period chosen with --since or
// --until only as far as its runs cover it, so that --since 1000-01-01 draws
// no empty centuries, and at most the newest MostFleetDays; none without
// runs. AlignFleetDays then gives every machine the days of them all.
std::pair<LocalDay, LocalDay> FleetDays(const Options& options, const std::vector<Run>& runs)
{
    using std::chrono::days;
    auto [first, last] = FleetDays(options);
    if (options.Selected.Since || options.Selected.Until) {
        if (runs.empty())
            return {last + days{1}, last};
        LocalMinute start = runs.front().Start;
        LocalMinute end = runs.front().End;
        for (const Run& run : runs) {
            start = std::min(start, run.Start);
            end = std::max(end, run.End);
        }
        first = std::max(first, std::chrono::floor<days>(start));
        last = std::min(last, std::chrono::floor<days>(end));
    }
    return {std::max(first, last - days{MostFleetDays - 1}), last};
}

// Every machine's days from the first that any machine has to the last, at
// most the newest MostFleetDays; off all day where its own do not reach. An
// unreadable machine has none.
void AlignFleetDays(std::vector<MachineReport>& machines)
{
    using std::chrono::days;
    std::optional<LocalDay> first;
    std::optional<LocalDay> last;
    for (const MachineReport& machine : machines) {
        if (machine.Days.empty())
            continue;
        first = std::min(first.value_or(LocalDay::max()), machine.Days.front().Date);
        last = std::max(last.value_or(LocalDay::min()), machine.Days.back().Date);
    }
    if (!last)
        return;
    first = std::max(*first, *last - days{MostFleetDays - 1});
    for (MachineReport& machine : machines) {
        if (!machine.Problem.empty())
            continue;
        std::vector<Day> aligned;
        for (LocalDay date = *first; date <= *last; date += days{1}) {
            const std::vector<Day>& own = machine.Days;
            bool within = !own.empty() && date >= own.front().Date && date <= own.back().Date;
            aligned.push_back(within ? own[static_cast<size_t>((date - own.front().Date).count())]
                                     : Day{date, DayState::OffAllDay, 0});
        }
        machine.Days = std::move(aligned);
    }
}

// Prints a folder's warnings as "FOLDER/FILE:LINE: problem" on standard
// error, or "FOLDER/FILE: problem" for the file as a whole (line 0).
std::function<void(const Warning&)> WarningPrinter(const std::filesystem::path& folder)
{
    std::string shown = WithoutControls(Utf8Of(folder));
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!shown.empty() && shown.back() != '/' && shown.back() != separator)
        shown += separator;
    return [shown](const Warning& warning) {
        std::string line = shown + warning.File;
        if (warning.Line > 0)
            line += ':' + std::to_string(warning.Line);
        line += ": " + warning.Problem + '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
    };
}

// Warnings may come by the million from a damaged log: written in blocks.
void BufferWarnings()
{
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

// The folder's schedule: --schedule's, else its PowerOFF.txt's, with a
// warning when that cannot be read.
PowerOffSchedule ScheduleOf(const Options& options, const MachineFolder& folder,
                            const std::function<void(const Warning&)>& warn)
{
    if (options.Schedule)
        return *options.Schedule;
    std::string problem;
    PowerOffSchedule schedule = ReadFolderSchedule(folder.Path, problem);
    if (!problem.empty())
        warn({"PowerOFF.txt", 0, "cannot be opened, so no schedule: " + problem});
    return schedule;
}

ReadOptions ReadOptionsFor(const Options& options, const MachineFolder& folder)
{
    std::function<void(const Warning&)> warn = WarningPrinter(folder.Path);
    return {options.Selected,
            ScheduleOf(options, folder, warn),
            options.Now,
            KeepsRuns(options),
            KeepsWarnings(options),
            warn};
}

// The fleet's page keeps each machine's days, not its runs.
void KeepDaysOnly(MachineReport& machine, const Options& options)
{
    auto [first, last] = FleetDays(options, machine.Runs);
    machine.Days = DaysOf(machine.Runs, machine.Schedule, first, last, options.Now);
    std::vector<Run>().swap(machine.Runs);
}

// A fleet's machine whose folder cannot be listed: a row that says so, and
// the system's reason on standard error.
MachineReport UnreadMachine(const MachineFolder& folder)
{
    MachineReport machine;
    machine.Folder = Utf8Of(folder.Path);
    machine.Name = folder.Name;
    machine.Problem = folder.Problem;
    std::string line = "verdimoor-report: error: '" + WithoutControls(machine.Folder) + "': " + folder.Problem + '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    return machine;
}

}  // namespace

std::vector<MachineReport> ReadMachines(const Options& options)
{
    std::vector<MachineFolder> folders = MachineFolders(options.Folders, options.Fleet, options.MachineNames);
    BufferWarnings();
    std::vector<MachineReport> machines;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!folders[i].Problem.empty()) {
            machines.push_back(UnreadMachine(folders[i]));
            continue;
        }
        MachineReport& machine =
            machines.emplace_back(ReadMachine(folders[i].Path, folders[i].Logs, ReadOptionsFor(options, folders[i])));
        machine.Name = folders[i].Name;
        if (options.Fleet && !options.HtmlFile.empty())
            KeepDaysOnly(machine, options);
    }
    if (options.Fleet && !options.HtmlFile.empty())
        AlignFleetDays(machines);
    return machines;
}

}  // namespace report
