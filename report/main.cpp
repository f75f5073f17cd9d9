// SPDX-License-Identifier: Apache-2.0
// verdimoor-report: runs, availability and crashes, read from the logs of
// one or more machines' folders. It parses its options, reads every folder,
// then prints through one printer.
#include <functional>
#include <iostream>

#include "report/core/utf8.h"
#include "report/print/print.h"
#include "report/program/machines.h"
#include "report/program/options.h"
#include "report/program/output-file.h"
#include "report/read/machine-folder.h"

namespace {

using namespace report;

// Writes an output ("-": standard output); false, with a line on standard
// error, on failure.
bool Write(const std::string& name, const std::function<void(std::ostream&)>& print)
{
    std::string error;
    if (WriteOutput(name, print, error))
        return true;
    std::cerr << "verdimoor-report: error: ";
    if (name == "-")
        std::cerr << "standard output";
    else
        std::cerr << '\'' << WithoutControls(name) << '\'';
    std::cerr << ": cannot write: " << error << '\n';
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

// A metrics file that would count less than the logs hold: counters must
// never drop because a log was locked or unreadable.
bool PartialMetrics(const Options& options, const std::vector<MachineReport>& machines)
{
    if (options.Output != OutputKind::OpenMetrics || options.OutputFile.empty())
        return false;
    for (const MachineReport& machine : machines)
        if (machine.Incomplete || !machine.Problem.empty()) {
            Fail(options.OutputFile,
                 "left as it was: '" + WithoutControls(machine.Folder) + "' could not be read whole");
            return true;
        }
    return false;
}

}  // namespace

// Exit code 0 when the logs were read, 2 for a wrong option or a folder that
// cannot be read (a fleet's after its outputs), 1 when an output cannot be
// written.
int main(int argc, char** argv)
{
    Options options;
    if (std::optional<int> done = ParseOptions(argc, argv, options))
        return *done;
    std::vector<MachineReport> machines;
    std::vector<MachineReport> page;
    try {
        std::vector<MachineFolder> folders = ListMachines(options);
        if (PrintsSelection(options))
            machines = ReadMachines(options, folders);
        if (PrintsFleetPage(options))
            page = ReadFleetPage(options, folders, PrintsSelection(options));
    } catch (const FolderError& e) {
        return Fail(e.Folder, e.what());
    }
    if (PartialMetrics(options, machines))
        return 2;

    const Selection& selected = options.Selected;
    if (!options.SvgFile.empty() &&
        !Write(options.SvgFile, [&](std::ostream& out) { PrintSvg(out, machines, selected); }))
        return 1;
    auto html = [&](std::ostream& out) {
        options.Fleet ? PrintFleetHtml(out, page) : PrintHtml(out, machines, selected);
    };
    if (!options.HtmlFile.empty() && !Write(options.HtmlFile, html))
        return 1;
    if (options.Output != OutputKind::None &&
        !Write(options.OutputFile.empty() ? "-" : options.OutputFile,
               [&](std::ostream& out) { PrintOutput(out, options.Output, machines); }))
        return 1;
    // A fleet's machines that could not be read were printed as such.
    for (const std::vector<MachineReport>* printed : {&machines, &page})
        for (const MachineReport& machine : *printed)
            if (!machine.Problem.empty())
                return 2;
    return 0;
}
