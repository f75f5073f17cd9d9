// verdimoor-report: runs, availability and crashes, read from the logs of
// one or more machines' folders.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "report/host.h"
#include "report/print.h"
#include "report/reader.h"

namespace {

const char* const Program = "verdimoor-report";
#ifdef _WIN32
const char Separator = '\\';
#else
const char Separator = '/';
#endif

int Fail(const std::string& subject, const std::string& message)
{
    std::cerr << Program << ": error: '" << subject << "': " << message << '\n';
    return 2;
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

    CLI::App app{"Runs, availability and crashes of machines, read from Verdimoor's monthly logs.", Program};
    app.set_version_flag("--version", VERDIMOOR_VERSION);
    app.add_option("folder", folders,
                   "Folders of logs, one per machine (default: the folder that holds this program)");
    CLI::Option* tableFlag = app.add_flag("--table", table, "After the summary, one row per run");
    CLI::Option* jsonFlag = app.add_flag("--json", json, "Print JSON: summary, runs and warnings of each folder");
    CLI::Option* csvFlag = app.add_flag("--csv", csv, "Print CSV: one row per run");
    jsonFlag->excludes(tableFlag);
    csvFlag->excludes(tableFlag)->excludes(jsonFlag);
    app.add_option("--since", since, "Only the runs that start on or after this day")->type_name("YYYY-MM-DD");
    app.add_option("--until", until, "Only the runs that start on or before this day")->type_name("YYYY-MM-DD");
    app.add_option("--now", now, "The moment taken for now (default: the local clock)")
        ->type_name("YYYY-MM-DDTHH:MM");

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
    options.KeepRuns = table || json || csv;
    options.KeepWarnings = json;
    if (folders.empty())
        folders.push_back(report::ProgramFolder());

    // Warnings may come by the million from a damaged log: written in blocks.
    static char warningBuffer[1 << 16];
    std::setvbuf(stderr, warningBuffer, _IOFBF, sizeof warningBuffer);
    std::vector<report::MachineReport> machines;
    try {
        // Every folder is checked before a line is printed.
        for (const std::string& folder : folders)
            report::ListLogs(folder);
        for (const std::string& folder : folders) {
            report::ReadOptions folderOptions = options;
            std::string shown = folder;
            if (!shown.empty() && shown.back() != '/' && shown.back() != Separator)
                shown += Separator;
            folderOptions.OnWarning = [&shown](const report::Warning& warning) {
                std::string line = shown + warning.File + ':' + std::to_string(warning.Line) + ": " +
                                   warning.Problem + '\n';
                std::fwrite(line.data(), 1, line.size(), stderr);
            };
            machines.push_back(report::ReadMachine(folder, folderOptions));
        }
    } catch (const report::FolderError& e) {
        return Fail(e.Folder, e.what());
    }

    if (json)
        report::PrintJson(std::cout, machines);
    else if (csv)
        report::PrintCsv(std::cout, machines);
    else
        report::PrintText(std::cout, machines, table);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
