// SPDX-License-Identifier: Apache-2.0
// The CSV printer: one row per run, quoted as RFC 4180 says.
#include "report/print.h"

#include "report/moments.h"

namespace report {

namespace {

// A field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines)
{
    out << "folder,start,end,minutes,ended,file,line\n";
    for (const MachineReport& machine : machines) {
        std::string folder = CsvField(machine.Folder);
        for (const Run& run : machine.Runs)
            out << folder << ',' << FormatMoment(run.Start) << ',' << FormatMoment(run.End) << ',' << run.Minutes << ','
                << EndName(run.Ended) << ',' << CsvField(run.File) << ',' << run.Line << '\n';
    }
}

}  // namespace report
