// SPDX-License-Identifier: Apache-2.0
// verdimoor-report's command line with CLI11: the options, their help, and
// the checks of their values beside them.
#include "report/program/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "report/core/text-forms.h"
#include "report/core/utf8.h"
#include "report/program/folder-schedule.h"
#include "report/program/program-host.h"

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
    if (options.Top > 0 || options.Last > 0)
        return flags.Csv ? OutputKind::RunListCsv : flags.Json ? OutputKind::RunListJson : OutputKind::RunList;
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

// A check that reads an option's value with parse into where it goes; the
// value is wrong, and named so, when parse gives nothing.
template <typename Target, typename Parse> CLI::Validator Into(Target& target, Parse parse, const std::string& form)
{
    return CLI::Validator(
        [&target, parse, form](std::string& text) -> std::string {
            auto value = parse(text);
            if (!value)
                return "'" + text + "' is not " + form;
            target = *value;
            return {};
        },
        "");
}

// A check that a value names something: not empty, and not an option, which
// a value left out would hand over in its place (--output --json); "-", for
// standard output, only where it is a file's.
CLI::Validator Names(const std::string& form, bool file)
{
    return CLI::Validator(
        [form, file](std::string& text) -> std::string {
            if (text.empty())
                return "'' is not " + form;
            if (text[0] != '-' || (file && text == "-"))
                return {};
            std::string shown = WithoutControls(text);
            std::string message = "'" + shown + "' is an option, not " + form;
            return file ? message + ": ./" + shown + " names a file of that name" : message;
        },
        "");
}

// Whether two outputs' names name one file: their folders, resolved, and
// their names the same, whether the file exists yet or not.
bool SameOutput(const std::string& first, const std::string& second)
{
    if (first == "-" || second == "-")
        return first == second;
    std::string a = OutputPlace(PathOf(first));
    std::string b = OutputPlace(PathOf(second));
    // Where it cannot be told, as the names read.
    return !a.empty() && !b.empty() ? a == b : ComparedPath(PathOf(first)) == ComparedPath(PathOf(second));
}

// The checks that take more than one option; false, with a line on standard
// error, when one fails.
bool Consistent(const Options& options)
{
    const Selection& selected = options.Selected;
    if (selected.Since && selected.Until && *selected.Since > *selected.Until) {
        SayError("--since " + FormatDay(*selected.Since) + " is after --until " + FormatDay(*selected.Until));
        return false;
    }
    // Two outputs into one file would leave the last one alone.
    std::vector<std::pair<std::string, std::string>> outputs;  // the option, the file
    if (!options.SvgFile.empty())
        outputs.emplace_back("--svg", options.SvgFile);
    if (!options.HtmlFile.empty())
        outputs.emplace_back("--html", options.HtmlFile);
    if (options.Output != OutputKind::None && options.OutputFile.empty())
        outputs.emplace_back("the printed output", "-");
    else if (options.Output != OutputKind::None)
        outputs.emplace_back("--output", options.OutputFile);
    for (size_t i = 0; i < outputs.size(); i++)
        for (size_t j = i + 1; j < outputs.size(); j++)
            if (SameOutput(outputs[i].second, outputs[j].second)) {
                Fail(outputs[j].second, outputs[i].first + " and " + outputs[j].first + " name one file");
                return false;
            }
    const std::vector<std::string>& names = options.MachineNames;
    for (size_t i = 0; i < names.size(); i++) {
        if (std::find(names.begin(), names.begin() + static_cast<ptrdiff_t>(i), names[i]) !=
            names.begin() + static_cast<ptrdiff_t>(i)) {
            SayError("--machine: '" + WithoutControls(names[i]) + "' given twice");
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options)
{
    OutputFlags flags;
    std::optional<LocalMinute> now;

    CLI::App app{"Runs, availability and crashes of machines, read from Verdimoor's monthly logs.", Program};
    // An argument that starts with / is a folder or a value, whatever the
    // host: Windows' own tools take /? alone for the help, and no more.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string(Program) + " " + VERDIMOOR_VERSION,
                         "Print the name and version and exit");
    std::vector<std::string> folders;
    app.add_option("folder", folders, "Folders of logs, one per machine (default: the folder that holds this program)")
        ->each([&options](const std::string& folder) { options.Folders.push_back(PathOf(folder)); });
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
        ->allow_extra_args(false)
        ->check(Names("a name", false));
    CLI::Option* svg = app.add_option("--svg", options.SvgFile, "Write the picture of the months to FILE")
                           ->type_name("FILE")
                           ->check(Names("a file name", true));
    app.add_option("--html", options.HtmlFile,
                   "Write a web page with the picture, the summary and the table to FILE; with --fleet, the fleet's "
                   "table and its days")
        ->type_name("FILE")
        ->check(Names("a file name", true));
    CLI::Option* top = app.add_option("--top", options.Top,
                                      "Print the N longest runs, longest first: of each folder, or with --fleet of all")
                           ->type_name("N")
                           ->check(CLI::Range(1, 1000000))
                           ->excludes(table)
                           ->excludes(metrics);
    app.add_option("--last", options.Last,
                   "Print the N newest runs, newest first: of each folder, or with --fleet of all")
        ->type_name("N")
        ->check(CLI::Range(1, 1000000))
        ->excludes(table)
        ->excludes(metrics)
        ->excludes(top);
    app.add_flag("--fleet", flags.Fleet,
                 "One row per machine, in text, CSV or JSON; a folder without logs stands for the machines' folders "
                 "below it")
        ->excludes(table)
        ->excludes(metrics)
        ->excludes(svg);
    app.add_option("--output", options.OutputFile,
                   "Write the printed output to FILE instead, a regular file in one step (- is standard output)")
        ->type_name("FILE")
        ->check(Names("a file name", true));
    app.add_option("--since", "The period from this day's first minute: the runs on since then, counted from then")
        ->type_name("YYYY-MM-DD")
        ->check(Into(options.Selected.Since, ParseDay, "a day, YYYY-MM-DD"));
    app.add_option("--until", "The period up to this day's end: the runs started by then, counted up to then")
        ->type_name("YYYY-MM-DD")
        ->check(Into(options.Selected.Until, ParseDay, "a day, YYYY-MM-DD"));
    app.add_option("--schedule", "The daily power-off time of every folder, H:MM or as PowerOFF.txt holds it (H MM), "
                                 "or none (default: each folder's PowerOFF.txt)")
        ->type_name("H:MM")
        ->check(Into(options.Schedule, ParseScheduleOption, "a time of day, H:MM or H MM, or none"));
    app.add_option("--running-within", options.RunningWithin,
                   "The newest run counts as running when last seen at most this many minutes before now, for "
                   "logs read from a share (default: 2)")
        ->type_name("MINUTES")
        ->check(CLI::Range(0, 1000000));
    app.add_option("--now", "The moment taken for now (default: the local clock)")
        ->type_name("YYYY-MM-DDTHH:MM")
        ->check(Into(now, ParseMoment, "a moment, YYYY-MM-DDTHH:MM"));

    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    if (arguments.size() == 2 && *HelpArgument != '\0' && arguments[1] == HelpArgument)
        arguments[1] = "--help";
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
        SayError(WithoutControls(e.what()));
        return 2;
    }

    if (now) {
        options.Now = *now;
    } else {
        // One reading of the clock, as local time and as the instant.
        auto clock = static_cast<int64_t>(std::time(nullptr));
        options.Now = LocalZone::LocalOf(clock);
        options.NowInstant = clock / 60;
    }
    options.Fleet = flags.Fleet;
    options.Output = KindOf(flags, options);
    if (!Consistent(options))
        return 2;
    if (options.Folders.empty())
        options.Folders.push_back(ProgramFolder());
    return std::nullopt;
}

bool KeepsRuns(const Options& options)
{
    bool printsRuns = options.Output == OutputKind::Table || options.Output == OutputKind::Json ||
                      options.Output == OutputKind::Csv || options.Top > 0 || options.Last > 0;
    return printsRuns || !options.SvgFile.empty() || !options.HtmlFile.empty();
}

bool KeepsWarnings(const Options& options)
{
    return options.Output == OutputKind::Json;
}

bool PrintsHostLineEnds(OutputKind kind)
{
    return kind == OutputKind::Summary || kind == OutputKind::Table || kind == OutputKind::Csv ||
           kind == OutputKind::Fleet || kind == OutputKind::FleetCsv || kind == OutputKind::RunList ||
           kind == OutputKind::RunListCsv;
}

void SayError(const std::string& text)
{
    WriteToStandardError(std::string(Program) + ": error: " + text + '\n');
    std::fflush(stderr);
}

int Fail(const std::string& subject, const std::string& message)
{
    SayError("'" + WithoutControls(subject) + "': " + message);
    return 2;
}

}  // namespace report
