// SPDX-License-Identifier: Apache-2.0
// Every machine the command line names read: its folder and logs, its
// schedule, its name, and for the fleet's page its days.
#include "report/program/machines.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "report/core/days.h"
#include "report/core/text-forms.h"
#include "report/core/utf8.h"
#include "report/program/folder-schedule.h"
#include "report/program/program-host.h"
#include "report/read/machine-folder.h"
#include "uptime/log-words.h"

namespace report {

namespace {

using std::chrono::days;

// The fleet's page shows at most this many days, the newest: a year.
constexpr int MostFleetDays = 366;

// The days the fleet's page shows: the selection, or the 31 days up to now.
// A period chosen with --since or --until reaches only as far as the
// machines' logs, from the first day of the oldest to today or the end of
// the month after the newest, so that --since 1000-01-01 draws no empty
// centuries; and it is at most the newest MostFleetDays.
Selection FleetPeriod(const Options& options, const std::vector<MachineFolder>& folders)
{
    LocalDay today = std::chrono::floor<days>(options.Now);
    const Selection& selected = options.Selected;
    LocalDay last = selected.Until ? *selected.Until : selected.Since ? std::max(today, *selected.Since) : today;
    LocalDay first = selected.Since ? *selected.Since : last - days{30};
    if (selected.Since || selected.Until) {
        std::optional<LogMonth> oldest;
        std::optional<LogMonth> newest;
        auto order = [](const LogMonth& month) { return std::pair(month.Year, month.Month); };
        for (const MachineFolder& folder : folders) {
            if (folder.Logs.empty())
                continue;
            if (!oldest || order(folder.Logs.front().Month) < order(*oldest))
                oldest = folder.Logs.front().Month;
            if (!newest || order(folder.Logs.back().Month) > order(*newest))
                newest = folder.Logs.back().Month;
        }
        if (!oldest)
            return {last, last};
        using std::chrono::month;
        using std::chrono::year;
        LocalDay logsBegin = LocalDay{year{oldest->Year} / month{static_cast<unsigned>(oldest->Month)} / 1};
        LocalDay logsEnd =
            LocalDay{(year{newest->Year} / month{static_cast<unsigned>(newest->Month)} + std::chrono::months{2}) / 1} -
            days{1};
        first = std::max(first, logsBegin);
        last = std::min(last, std::max(logsEnd, today));
        if (last < first)
            last = first;
    }
    return {std::max(first, last - days{MostFleetDays - 1}), last};
}

// Prints a folder's warnings as "FOLDER/FILE:LINE: problem" on standard
// error, "FOLDER/FILE: problem" for the file as a whole (line 0), or
// "FOLDER: problem" for the folder (no file).
std::function<void(const Warning&)> WarningPrinter(const std::filesystem::path& folder)
{
    std::string shown = WithoutControls(Utf8Of(folder));
    std::string within = shown;
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!within.empty() && within.back() != '/' && within.back() != separator)
        within += separator;
    return [shown, within](const Warning& warning) {
        std::string line = warning.File.empty() ? shown : within + WithoutControls(warning.File);
        if (warning.Line > 0)
            line += ':' + std::to_string(warning.Line);
        line += ": " + warning.Problem + '\n';
        WriteToStandardError(line);
    };
}

// Warnings may come by the million from a damaged log: written in blocks,
// set before the first.
void BufferWarnings()
{
    static char buffer[1 << 16];
    static bool buffered = std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer) == 0;
    (void)buffered;
}

// The warnings of a folder's own, which come before its logs'.
std::vector<Warning> FolderWarnings(const Options& options, const MachineList& machines, size_t index)
{
    const MachineFolder& folder = machines.Folders[index];
    std::vector<Warning> warnings;
    if (!machines.ScheduleProblems[index].empty())
        warnings.push_back(
            {ScheduleFileName, 0, "cannot be opened, so no schedule: " + machines.ScheduleProblems[index]});
    if (!machines.ScheduleNotes[index].empty())
        warnings.push_back({ScheduleFileName, 0, machines.ScheduleNotes[index]});
    for (const std::string& name : folder.Nearly)
        warnings.push_back({name, 0, "not read: the service would have named it " + *NearLogName(name)});
    if (folder.Logs.empty()) {
        // Named for months of this year.
        int year = static_cast<int>(std::chrono::year_month_day(std::chrono::floor<days>(options.Now)).year());
        warnings.push_back(
            {"", 0,
             "no logs: the service names them as " + LogName({year, 3}) + " and " + LogName({year, 12}) +
                 ", one a month" +
                 (folder.HoldsMachines ? "; the folders below hold machines' logs: --fleet reads them" : "")});
    }
    return warnings;
}

// A machine read over the selection, its runs kept from the first of the
// page's days on; an unreadable PowerOFF.txt leaves it incomplete, as an
// unreadable log does.
MachineReport ReadOne(const Options& options, const MachineList& machines, size_t index,
                      const std::optional<Selection>& pageDays, bool warn)
{
    const MachineFolder& folder = machines.Folders[index];
    std::function<void(const Warning&)> printer = warn ? WarningPrinter(folder.Path) : nullptr;
    std::vector<Warning> own = FolderWarnings(options, machines, index);
    if (printer)
        for (const Warning& warning : own)
            printer(warning);
    ReadOptions read{
        options.Selected,   machines.Schedules[index], options.Now, options.NowInstant, options.RunningWithin,
        KeepsRuns(options), KeepsWarnings(options),    printer};
    if (pageDays)
        read.KeepFrom = *pageDays->Since;
    MachineReport machine = ReadMachine(folder.Path, folder.Logs, read);
    machine.Totals.Warnings += static_cast<int64_t>(own.size());
    if (KeepsWarnings(options))
        machine.Warnings.insert(machine.Warnings.begin(), own.begin(), own.end());
    const std::string& problem = machines.ScheduleProblems[index];
    if (!problem.empty())
        machine.Incomplete = "PowerOFF.txt: cannot be opened: " + problem;
    return machine;
}

// A fleet's machine whose folder cannot be listed: a row that says so, and
// the system's reason on standard error.
MachineReport UnreadMachine(const MachineFolder& folder, bool warn)
{
    MachineReport machine;
    machine.Folder = Utf8Of(folder.Path);
    machine.Name = folder.Name;
    machine.Problem = folder.Problem;
    if (warn)
        Fail(machine.Folder, folder.Problem + QuotingHint(machine.Folder));
    return machine;
}

// Each machine read over the selection and handed to each; with pageDays,
// its runs given up for its days as soon as it is read, so that memory does
// not grow with the fleet.
void Read(const Options& options, const MachineList& machines, const std::optional<Selection>& pageDays, bool warn,
          const std::function<void(MachineReport&)>& each)
{
    BufferWarnings();
    for (size_t i = 0; i < machines.Folders.size(); i++) {
        const MachineFolder& folder = machines.Folders[i];
        MachineReport machine =
            folder.Problem.empty() ? ReadOne(options, machines, i, pageDays, warn) : UnreadMachine(folder, warn);
        machine.Name = folder.Name;
        if (pageDays && folder.Problem.empty()) {
            machine.Days = DaysOf(machine.Runs, machine.Schedule, *pageDays->Since, *pageDays->Until, options.Now,
                                  machine.FirstLogged);
            machine.Days.shrink_to_fit();
            std::vector<Run>().swap(machine.Runs);
        }
        each(machine);
    }
}

}  // namespace

MachineList ListMachines(const Options& options)
{
    BufferWarnings();
    MachineList machines;
    machines.Folders = MachineFolders(
        options.Folders, options.Fleet, options.MachineNames,
        [](const std::filesystem::path& folder, const Warning& warning) { WarningPrinter(folder)(warning); });
    for (const MachineFolder& folder : machines.Folders) {
        std::string& problem = machines.ScheduleProblems.emplace_back();
        std::string& note = machines.ScheduleNotes.emplace_back();
        PowerOffSchedule schedule = options.Schedule         ? *options.Schedule
                                    : folder.Problem.empty() ? ReadFolderSchedule(folder.Path, problem, note)
                                                             : PowerOffSchedule{};
        machines.Schedules.push_back(schedule);
        machines.AnyScheduleKnown = machines.AnyScheduleKnown || schedule.Known;
        machines.AnyScheduledMinute = machines.AnyScheduledMinute || schedule.Minute;
    }
    return machines;
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

void ReadMachines(const Options& options, const MachineList& machines, const std::function<void(MachineReport&)>& print)
{
    Read(options, machines, std::nullopt, true, print);
}

std::vector<MachineReport> ReadFleetPage(const Options& options, const MachineList& machines, bool printed)
{
    std::vector<MachineReport> page;
    Read(options, machines, FleetPeriod(options, machines.Folders), !printed,
         [&](MachineReport& machine) { page.push_back(std::move(machine)); });
    return page;
}

}  // namespace report
