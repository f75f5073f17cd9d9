// SPDX-License-Identifier: Apache-2.0
// verdimoor-report's command line, parsed into one plain struct.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "report/core/model.h"

namespace report {

// What the program prints, to standard output or to --output's file.
enum class OutputKind {
    Summary,
    Table,
    Json,
    Csv,
    OpenMetrics,
    Fleet,  // one row per machine
    FleetCsv,
    FleetJson,
    RunList,  // --top or --last
    RunListCsv,
    RunListJson,
    None,  // only the --svg or --html file
};

struct Options {
    std::vector<std::filesystem::path> Folders;  // one per machine, as given
    bool Fleet = false;                          // a row per machine; --html draws the fleet's days
    OutputKind Output = OutputKind::Summary;
    std::string OutputFile;  // written in one step instead of standard output
    std::string SvgFile;
    std::string HtmlFile;
    Selection Selected;
    LocalMinute Now{};
    std::optional<int64_t> NowInstant;         // the clock's, in Unix minutes, without --now
    int RunningWithin = 2;                     // minutes: the newest run seen this recently is running
    std::optional<PowerOffSchedule> Schedule;  // --schedule, for every folder; else each folder's own
    std::vector<std::string> MachineNames;     // --machine, in the folders' order
    size_t Top = 0;                            // --top N, the N longest runs; 0 without
    size_t Last = 0;                           // --last N, the N newest runs; 0 without
};

// Parses the command line; the exit code when the program is done already:
// after --help or --version, or with a line on standard error for a wrong
// option.
std::optional<int> ParseOptions(int argc, char** argv, Options& options);

// Whether the outputs asked for print the runs, or the warnings. The others
// need only the totals, so that memory does not grow with the logs.
bool KeepsRuns(const Options& options);
bool KeepsWarnings(const Options& options);

// Whether the printed output of a kind ends its lines as the host's text
// files do, CR LF on Windows, wherever it goes: the text, the table and
// CSV, which people and spreadsheets open. JSON and the metrics end them
// with LF on every host, as programs and the textfile collectors read them.
bool PrintsHostLineEnds(OutputKind kind);

// "verdimoor-report: error: text" on standard error.
void SayError(const std::string& text);
// "verdimoor-report: error: 'subject': message" on standard error; returns 2.
int Fail(const std::string& subject, const std::string& message);

}  // namespace report
