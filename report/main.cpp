// SPDX-License-Identifier: Apache-2.0
// verdimoor-report: runs, availability and crashes, read from the logs of
// one or more machines' folders. It parses its options and lists the
// machines, then reads them one at a time, handing each to the printers of
// the outputs asked for, and puts the outputs in place at the end.
#include <optional>

#include "report/core/utf8.h"
#include "report/print/print.h"
#include "report/program/machines.h"
#include "report/program/options.h"
#include "report/program/output-file.h"
#include "report/read/machine-folder.h"

namespace {

using namespace report;

// "verdimoor-report: error: 'FILE': error", or "standard output: error".
bool Failed(const std::string& name, const std::string& error)
{
    SayError((name == "-" ? "standard output" : "'" + WithoutControls(name) + "'") + ": " + error);
    return false;
}

// The printed outputs that answer for every machine before they print one:
// the fleet's, and the metrics, whose families each hold every machine.
// They keep the machines, which hold no runs for them.
class Collected final : public MachinePrinter {
public:
    Collected(std::ostream& out, OutputKind kind, int runningWithin)
        : Out(out), Kind(kind), RunningWithin(runningWithin)
    {
    }
    void Print(const MachineReport& machine) override { Machines.push_back(machine); }
    void Finish() override
    {
        switch (Kind) {
        case OutputKind::OpenMetrics: PrintOpenMetrics(Out, Machines, RunningWithin); break;
        case OutputKind::Fleet: PrintFleetText(Out, Machines); break;
        case OutputKind::FleetCsv: PrintFleetCsv(Out, Machines); break;
        case OutputKind::FleetJson: PrintFleetJson(Out, Machines); break;
        default: break;
        }
    }

private:
    std::ostream& Out;
    OutputKind Kind;
    int RunningWithin;
    std::vector<MachineReport> Machines;
};

std::unique_ptr<MachinePrinter> PrinterFor(const Options& options, std::ostream& out, const MachineList& machines)
{
    OutputKind kind = options.Output;
    RunOrder order = options.Top > 0 ? RunOrder::Longest : RunOrder::Newest;
    size_t count = options.Top > 0 ? options.Top : options.Last;
    switch (kind) {
    case OutputKind::Summary: return TextPrinter(out, false);
    case OutputKind::Table: return TextPrinter(out, true);
    case OutputKind::Json: return JsonPrinter(out);
    case OutputKind::Csv: return CsvPrinter(out, machines.AnyScheduleKnown);
    case OutputKind::RunList: return TextRunList(out, order, count, options.Fleet);
    case OutputKind::RunListCsv: return CsvRunList(out, order, count, options.Fleet);
    case OutputKind::RunListJson: return JsonRunList(out, order, count, options.Fleet);
    default: return std::make_unique<Collected>(out, kind, options.RunningWithin);
    }
}

// The outputs asked for, open from the start: the picture and the page,
// each put together at the end from what the machines left in scratch
// files, and the printed output. With a picture or a page, the printed
// output waits in a scratch file too, so that the files come out whole and
// in order, as each would alone.
class Outputs {
public:
    bool Open(const Options& options, const MachineList& machines)
    {
        std::string error;
        Svg = options.SvgFile;
        Html = options.HtmlFile;
        Printed = options.Output == OutputKind::None ? "" : options.OutputFile.empty() ? "-" : options.OutputFile;
        if (!Svg.empty() && !SvgFile.Open(Svg, error))
            return Failed(Svg, error);
        if (!Html.empty() && !HtmlFile.Open(Html, error))
            return Failed(Html, error);
        if (!Printed.empty() && !PrintedFile.Open(Printed, error, PrintsHostLineEnds(options.Output)))
            return Failed(Printed, error);
        if (!Svg.empty() || (!Html.empty() && !options.Fleet)) {
            Body.Open(!Svg.empty() ? SvgFile : HtmlFile);
            Picture.emplace(Body.Stream(), options.Selected, machines.AnyScheduledMinute, options.Now);
        }
        if (!Html.empty() && !options.Fleet) {
            Text.Open(HtmlFile);
            Page.emplace(Text.Stream());
        }
        Waits = !Printed.empty() && (!Svg.empty() || !Html.empty());
        if (Waits)
            Waiting.Open(PrintedFile);
        if (!Printed.empty())
            Printer = PrinterFor(options, Waits ? Waiting.Stream() : PrintedFile.Stream(), machines);
        return true;
    }

    void Print(const MachineReport& machine)
    {
        if (Picture)
            Picture->Draw(machine);
        if (Page)
            Page->Add(machine);
        if (Printer)
            Printer->Print(machine);
    }

    // The fleet's page, when asked for, from its machines.
    bool Finish(const std::vector<MachineReport>& fleetPage)
    {
        if (!Svg.empty()) {
            Picture->WriteTo(SvgFile.Stream(), true);
            if (!Commit(SvgFile, Svg, {&Body}))
                return false;
        }
        if (!Html.empty()) {
            if (Page)
                Page->WriteTo(HtmlFile.Stream(), *Picture);
            else
                PrintFleetHtml(HtmlFile.Stream(), fleetPage);
            if (!Commit(HtmlFile, Html, {&Body, &Text}))
                return false;
        }
        if (Printer) {
            Printer->Finish();
            if (Waits)
                CopyFromStart(Waiting.Stream(), PrintedFile.Stream());
            return Commit(PrintedFile, Printed, {&Waiting});
        }
        return true;
    }

private:
    static bool Commit(OutputFile& file, const std::string& name, std::initializer_list<const ScratchFile*> parts)
    {
        std::string error;
        for (const ScratchFile* part : parts)
            if (!part->Error().empty())
                return Failed(name, part->Error());
        return file.Commit(error) || Failed(name, error);
    }

    std::string Svg, Html, Printed;
    OutputFile SvgFile, HtmlFile, PrintedFile;
    ScratchFile Body, Text, Waiting;
    std::optional<SvgPicture> Picture;
    std::optional<HtmlPage> Page;
    std::unique_ptr<MachinePrinter> Printer;
    bool Waits = false;
};

}  // namespace

// Exit code 0 when the logs were read, 2 for a wrong option or a folder that
// cannot be read, or, after the outputs, a fleet's folder, a log or a
// PowerOFF.txt; 1 when an output cannot be written.
int main(int argc, char** argv)
{
    Options options;
    if (std::optional<int> done = ParseOptions(argc, argv, options))
        return *done;
    MachineList machines;
    try {
        machines = ListMachines(options);
    } catch (const FolderError& e) {
        return Fail(e.Folder, e.what());
    } catch (const NamingError& e) {
        return Fail(e.Subject, e.what());
    }
    Outputs outputs;
    if (!outputs.Open(options, machines))
        return 1;
    std::optional<std::string> partial;  // the first machine not read whole
    std::vector<MachineReport> page;
    try {
        if (PrintsSelection(options))
            ReadMachines(options, machines, [&](MachineReport& machine) {
                if (!partial && (!machine.Incomplete.empty() || !machine.Problem.empty()))
                    partial = machine.Folder;
                outputs.Print(machine);
            });
        if (PrintsFleetPage(options))
            page = ReadFleetPage(options, machines, PrintsSelection(options));
    } catch (const std::exception& e) {
        SayError(e.what());
        return 1;
    }
    // A metrics file that would count less than the logs hold: counters must
    // never drop because a log was locked or unreadable.
    if (partial && options.Output == OutputKind::OpenMetrics && !options.OutputFile.empty())
        return Fail(options.OutputFile, "left as it was: '" + WithoutControls(*partial) + "' could not be read whole");
    if (!outputs.Finish(page))
        return 1;
    // The machines that could not be read whole were printed as such.
    for (const MachineReport& machine : page)
        if (!partial && (!machine.Incomplete.empty() || !machine.Problem.empty()))
            partial = machine.Folder;
    return partial ? 2 : 0;
}
