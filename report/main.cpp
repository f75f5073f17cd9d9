// SPDX-License-Identifier: Apache-2.0
// verdimoor-report: runs, availability and crashes, read from the logs of
// one or more machines' folders. It parses its options, reads every folder,
// then prints through one printer.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include "report/folders.h"
#include "report/host.h"
#include "report/options.h"
#include "report/output.h"
#include "report/print.h"
#include "report/reader.h"
#include "report/schedule.h"
#include "report/utf8.h"

namespace {

using namespace report;

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

// Every folder is listed before a line is printed: a folder that cannot be
// read fails the program before any output. The fleet's page keeps each
// machine's days, not its runs. Throws FolderError.
std::vector<MachineReport> ReadFolders(const Options& options)
{
    std::vector<std::string> folders = MachineFolders(options.Folders, options.Fleet);
    if (options.MachineNames.size() > folders.size())
        throw FolderError("--machine", "more names than folders");
    std::vector<std::vector<LogFile>> logs;
    for (const std::string& folder : folders)
        logs.push_back(ListLogs(folder));
    bool fleetPage = options.Fleet && !options.HtmlFile.empty();
    auto [firstDay, lastDay] = FleetDays(options);
    // Warnings may come by the million from a damaged log: written in blocks.
    static char warningBuffer[1 << 16];
    std::setvbuf(stderr, warningBuffer, _IOFBF, sizeof warningBuffer);
    std::vector<MachineReport> machines;
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string& folder = folders[i];
        std::string shown = folder;
        const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
        if (!shown.empty() && shown.back() != '/' && shown.back() != separator)
            shown += separator;
        PowerOffSchedule schedule = options.Schedule ? *options.Schedule : ReadFolderSchedule(folder);
        ReadOptions read{options.Selected,
                         schedule,
                         options.Now,
                         KeepsRuns(options),
                         KeepsWarnings(options),
                         [&shown](const Warning& warning) {
                             std::string line = shown + warning.File + ':' + std::to_string(warning.Line) + ": " +
                                                warning.Problem + '\n';
                             std::fwrite(line.data(), 1, line.size(), stderr);
                         }};
        MachineReport& machine = machines.emplace_back(ReadMachine(folder, logs[i], read));
        machine.Name = i < options.MachineNames.size() ? options.MachineNames[i] : DefaultMachineName(folder);
        if (fleetPage) {
            machine.Days = DaysOf(machine.Runs, machine.Schedule, firstDay, lastDay, options.Now);
            std::vector<Run>().swap(machine.Runs);
        }
    }
    return machines;
}

// Writes a file in one step; false, with a line on standard error, on failure.
bool WriteFile(const std::string& file, const std::function<void(std::ostream&)>& print)
{
    std::ostringstream bytes;
    print(bytes);
    std::string error;
    if (WriteOutputFile(PathOf(file), bytes.str(), error))
        return true;
    std::cerr << "verdimoor-report: error: '" << file << "': cannot write: " << error << '\n';
    return false;
}

void PrintOutput(std::ostream& out, OutputKind kind, const std::vector<MachineReport>& machines)
{
    switch (kind) {
    case OutputKind::Summary: PrintText(out, machines, false); break;
    case OutputKind::Table: PrintText(out, machines, true); break;
    case OutputKind::Json: PrintJson(out, machines); break;
    case OutputKind::Csv: PrintCsv(out, machines); break;
    case OutputKind::OpenMetrics: PrintOpenMetrics(out, machines); break;
    case OutputKind::Fleet: PrintFleetText(out, machines); break;
    case OutputKind::FleetCsv: PrintFleetCsv(out, machines); break;
    case OutputKind::FleetJson: PrintFleetJson(out, machines); break;
    case OutputKind::None: break;
    }
}

}  // namespace

// Exit code 0 when the logs were read, 2 for a wrong option or a folder that
// cannot be read, 1 when an output cannot be written.
int main(int argc, char** argv)
{
    Options options;
    if (std::optional<int> done = ParseOptions(argc, argv, options))
        return *done;
    std::vector<MachineReport> machines;
    try {
        machines = ReadFolders(options);
    } catch (const FolderError& e) {
        return Fail(e.Folder, e.what());
    }

    const Selection& selected = options.Selected;
    if (!options.SvgFile.empty() &&
        !WriteFile(options.SvgFile, [&](std::ostream& out) { PrintSvg(out, machines, selected); }))
        return 1;
    auto page = [&](std::ostream& out) {
        options.Fleet ? PrintFleetHtml(out, machines) : PrintHtml(out, machines, selected);
    };
    if (!options.HtmlFile.empty() && !WriteFile(options.HtmlFile, page))
        return 1;
    if (options.Output == OutputKind::None)
        return 0;
    if (!options.OutputFile.empty())
        return WriteFile(options.OutputFile, [&](std::ostream& out) { PrintOutput(out, options.Output, machines); })
                   ? 0
                   : 1;
    PrintOutput(std::cout, options.Output, machines);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
