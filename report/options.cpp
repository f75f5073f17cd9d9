// SPDX-License-Identifier: Apache-2.0
// verdimoor-report's command line with CLI11: the options, their help, and
// the checks of their values.
#include "report/options.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "report/host.h"
#include "report/moments.h"
#include "report/schedule.h"

namespace report {

namespace {

const char* const Program = "verdimoor-report";

// The flags that choose the output: at most one of them.
struct OutputFlags {
    bool Fleet = false;
    bool Table = false;
    bool Json = false;
    bool Csv = false;
    bool OpenMetrics = false;
};

OutputKind KindOf(const OutputFlags& flags, const Options& options)
{
    if (flags.Fleet && flags.Csv)
        return OutputKind::FleetCsv;
    if (flags.Fleet && flags.Json)
        return OutputKind::FleetJson;
    if (flags.Table)
        return OutputKind::Table;
    if (flags.Json)
        return OutputKind::Json;
    if (flags.Csv)
        return OutputKind::Csv;
    if (flags.OpenMetrics)
        return OutputKind::OpenMetrics;
    // The files asked for alone print nothing else.
    if ((!options.SvgFile.empty() || !options.HtmlFile.empty()) && options.OutputFile.empty())
        return OutputKind::None;
    return flags.Fleet ? OutputKind::Fleet : OutputKind::Summary;
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options)
{
    OutputFlags flags;
    std::string since;
    std::string until;
    std::string now;
    std::string schedule;

    CLI::App app{"Runs, availability and crashes of machines, read from Verdimoor's monthly logs.", Program};
    app.set_version_flag("--version", VERDIMOOR_VERSION);
    app.add_option("folder", options.Folders,
                   "Folders of logs, one per machine (default: the folder that holds this program)");
    CLI::Option* table = app.add_flag("--table", flags.Table, "After the summary, one row per run");
    CLI::Option* json = app.add_flag("--json", flags.Json, "Print JSON: summary, runs and warnings of each folder");
    CLI::Option* csv = app.add_flag("--csv", flags.Csv, "Print CSV: one row per run");
    json->excludes(table);
    csv->excludes(table)->excludes(json);
    CLI::Option* metrics = app.add_flag("--openmetrics", flags.OpenMetrics,
                                        "Print the summaries as Prometheus metrics, for a textfile collector");
    metrics->excludes(table)->excludes(json)->excludes(csv);
    app.add_option("--machine", options.MachineNames,
                   "The metrics' machine label, once per folder in order (default: the host's name for "
                   "this program's own folder, else the folder's name)")
        ->type_name("NAME")
        ->allow_extra_args(false);
    CLI::Option* svg =
        app.add_option("--svg", options.SvgFile, "Write the picture of the months to FILE")->type_name("FILE");
    app.add_option("--html", options.HtmlFile,
                   "Write a web page with the picture, the summary and the table to FILE; with --fleet, the fleet's "
                   "table and its days")
        ->type_name("FILE");
    app.add_flag("--fleet", flags.Fleet,
                 "One row per machine, in text, CSV or JSON; a folder without logs stands for its subfolders that "
                 "have some")
        ->excludes(table)
        ->excludes(metrics)
        ->excludes(svg);
    app.add_option("--output", options.OutputFile,
                   "Write the printed output to FILE in one step, not to standard output")
        ->type_name("FILE");
    app.add_option("--since", since, "Only the runs that start on or after this day")->type_name("YYYY-MM-DD");
    app.add_option("--until", until, "Only the runs that start on or before this day")->type_name("YYYY-MM-DD");
    app.add_option("--schedule", schedule,
                   "The daily power-off time of every folder, or none (default: each folder's PowerOFF.txt)")
        ->type_name("H:MM");
    app.add_option("--now", now, "The moment taken for now (default: the local clock)")->type_name("YYYY-MM-DDTHH:MM");

    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << Program << ": error: " << e.what() << '\n';
        return 2;
    }

    if (!since.empty() && !(options.Selected.Since = ParseDay(since)))
        return Fail(since, "--since takes a day, YYYY-MM-DD");
    if (!until.empty() && !(options.Selected.Until = ParseDay(until)))
        return Fail(until, "--until takes a day, YYYY-MM-DD");
    if (now.empty()) {
        options.Now = LocalNow();
    } else if (std::optional<LocalMinute> moment = ParseMoment(now)) {
        options.Now = *moment;
    } else {
        return Fail(now, "--now takes a moment, YYYY-MM-DDTHH:MM");
    }
    if (!schedule.empty() && !(options.Schedule = ParseScheduleOption(schedule)))
        return Fail(schedule, "--schedule takes a time of day, H:MM, or none");
    options.Fleet = flags.Fleet;
    options.Output = KindOf(flags, options);
    if (options.Folders.empty())
        options.Folders.push_back(ProgramFolder());
    return std::nullopt;
}

bool KeepsRuns(const Options& options)
{
    bool printsRuns =
        options.Output == OutputKind::Table || options.Output == OutputKind::Json || options.Output == OutputKind::Csv;
    return printsRuns || !options.SvgFile.empty() || !options.HtmlFile.empty();
}

bool KeepsWarnings(const Options& options)
{
    return options.Output == OutputKind::Json;
}

int Fail(const std::string& subject, const std::string& message)
{
    std::cerr << Program << ": error: '" << subject << "': " << message << '\n';
    return 2;
}

}  // namespace report
