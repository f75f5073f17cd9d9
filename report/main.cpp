// SPDX-License-Identifier: Apache-2.0
// verdimoor-report: runs, availability and crashes, read from the logs of
// one or more machines' folders.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "report/host.h"
#include "report/html.h"
#include "report/openmetrics.h"
#include "report/output.h"
#include "report/print.h"
#include "report/reader.h"
#include "report/svg.h"
#include "report/utf8.h"

namespace {

const char* const Program = "verdimoor-report";
const char Separator = static_cast<char>(std::filesystem::path::preferred_separator);

int Fail(const std::string& subject, const std::string& message)
{
    std::cerr << Program << ": error: '" << subject << "': " << message << '\n';
    return 2;
}

// Writes a file in one step; false, with a line on standard error, on failure.
bool WriteFile(const std::string& file, const std::string& bytes)
{
    std::string error;
    if (report::WriteOutputFile(report::PathOf(file), bytes, error))
        return true;
    std::cerr << Program << ": error: '" << file << "': cannot write: " << error << '\n';
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> folders;
    bool table = false;
    bool json = false;
    bool csv = false;
    std::string since;
    std::string until;
    std::string now;
    bool openmetrics = false;
    std::string svgFile;
    std::string htmlFile;
    std::string outputFile;
    std::vector<std::string> machineNames;

    CLI::App app{"Runs, availability and crashes of machines, read from Verdimoor's monthly logs.", Program};
    app.set_version_flag("--version", VERDIMOOR_VERSION);
    app.add_option("folder", folders, "Folders of logs, one per machine (default: the folder that holds this program)");
    CLI::Option* tableFlag = app.add_flag("--table", table, "After the summary, one row per run");
    CLI::Option* jsonFlag = app.add_flag("--json", json, "Print JSON: summary, runs and warnings of each folder");
    CLI::Option* csvFlag = app.add_flag("--csv", csv, "Print CSV: one row per run");
    jsonFlag->excludes(tableFlag);
    csvFlag->excludes(tableFlag)->excludes(jsonFlag);
    CLI::Option* metricsFlag = app.add_flag("--openmetrics", openmetrics,
                                            "Print the summaries as Prometheus metrics, for a textfile collector");
    metricsFlag->excludes(tableFlag)->excludes(jsonFlag)->excludes(csvFlag);
    app.add_option("--machine", machineNames,
                   "The metrics' machine label, once per folder in order (default: the host's name for "
                   "this program's own folder, else the folder's name)")
        ->type_name("NAME")
        ->allow_extra_args(false);
    app.add_option("--svg", svgFile, "Write the picture of the months to FILE")->type_name("FILE");
    app.add_option("--html", htmlFile, "Write a web page with the picture, the summary and the table to FILE")
        ->type_name("FILE");
    app.add_option("--output", outputFile, "Write the printed output to FILE in one step, not to standard output")
        ->type_name("FILE");
    app.add_option("--since", since, "Only the runs that start on or after this day")->type_name("YYYY-MM-DD");
    app.add_option("--until", until, "Only the runs that start on or before this day")->type_name("YYYY-MM-DD");
    app.add_option("--now", now, "The moment taken for now (default: the local clock)")->type_name("YYYY-MM-DDTHH:MM");

    std::vector<std::string> arguments = report::Utf8Arguments(argc, argv);
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

    report::ReadOptions options;
    if (!since.empty() && !(options.Since = report::ParseDay(since)))
        return Fail(since, "--since takes a day, YYYY-MM-DD");
    if (!until.empty() && !(options.Until = report::ParseDay(until)))
        return Fail(until, "--until takes a day, YYYY-MM-DD");
    if (!now.empty()) {
        std::optional<report::LocalMinute> moment = report::ParseMoment(now);
        if (!moment)
            return Fail(now, "--now takes a moment, YYYY-MM-DDTHH:MM");
        options.Now = *moment;
    } else {
        options.Now = report::LocalNow();
    }
    options.KeepRuns = table || json || csv || !svgFile.empty() || !htmlFile.empty();
    options.KeepWarnings = json;
    if (folders.empty())
        folders.push_back(report::ProgramFolder());
    if (machineNames.size() > folders.size())
        return Fail("--machine", "more names than folders");

    // Warnings may come by the million from a damaged log: written in blocks.
    static char warningBuffer[1 << 16];
    std::setvbuf(stderr, warningBuffer, _IOFBF, sizeof warningBuffer);
    std::vector<report::MachineReport> machines;
    try {
        // Every folder is listed before a line is printed.
        std::vector<std::vector<report::LogFile>> logs;
        for (const std::string& folder : folders)
            logs.push_back(report::ListLogs(folder));
        for (size_t i = 0; i < folders.size(); ++i) {
            const std::string& folder = folders[i];
            report::ReadOptions folderOptions = options;
            std::string shown = folder;
            if (!shown.empty() && shown.back() != '/' && shown.back() != Separator)
                shown += Separator;
            folderOptions.OnWarning = [&shown](const report::Warning& warning) {
                std::string line =
                    shown + warning.File + ':' + std::to_string(warning.Line) + ": " + warning.Problem + '\n';
                std::fwrite(line.data(), 1, line.size(), stderr);
            };
            machines.push_back(report::ReadMachine(folder, logs[i], folderOptions));
        }
    } catch (const report::FolderError& e) {
        return Fail(e.Folder, e.what());
    }

    // --since and --until choose the months drawn.
    report::MonthRange months;
    if (options.Since)
        months.First =
            std::chrono::year_month_day{*options.Since}.year() / std::chrono::year_month_day{*options.Since}.month();
    if (options.Until)
        months.Last =
            std::chrono::year_month_day{*options.Until}.year() / std::chrono::year_month_day{*options.Until}.month();
    if (!svgFile.empty()) {
        std::ostringstream svg;
        report::PrintSvg(svg, machines, months);
        if (!WriteFile(svgFile, svg.str()))
            return 1;
    }
    if (!htmlFile.empty()) {
        std::ostringstream text;
        report::PrintText(text, machines, true);
        std::ostringstream html;
        report::PrintHtml(html, machines, months, text.str());
        if (!WriteFile(htmlFile, html.str()))
            return 1;
    }
    // The files asked for alone print nothing else.
    bool filesOnly =
        (!svgFile.empty() || !htmlFile.empty()) && outputFile.empty() && !table && !json && !csv && !openmetrics;
    if (filesOnly)
        return 0;

    std::ostringstream buffered;
    std::ostream& out = outputFile.empty() ? std::cout : buffered;
    if (json) {
        report::PrintJson(out, machines);
    } else if (csv) {
        report::PrintCsv(out, machines);
    } else if (openmetrics) {
        std::vector<std::string> names;
        for (size_t i = 0; i < folders.size(); ++i)
            names.push_back(
                i < machineNames.size()
                    ? machineNames[i]
                    : report::DefaultMachineName(report::PathOf(folders[i]), report::PathOf(report::ProgramFolder())));
        report::PrintOpenMetrics(out, machines, names);
    } else {
        report::PrintText(out, machines, table);
    }
    if (!outputFile.empty())
        return WriteFile(outputFile, buffered.str()) ? 0 : 1;
    std::cout.flush();
    return std::cout ? 0 : 1;
}
