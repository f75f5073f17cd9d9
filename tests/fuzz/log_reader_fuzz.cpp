// SPDX-License-Identifier: Apache-2.0
// The log reading on arbitrary bytes. It must never misbehave, and it must
// read the same whatever the pieces the bytes come in: fed one byte at a
// time every line is carried from piece to piece, fed whole most are read
// where they lie, and both must agree; and a run of zeros reads as one NUL,
// which is how a hole in a file is fed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "report/core/text-forms.h"
#include "report/read/line-framer.h"
#include "report/read/read-options.h"
#include "report/read/run-pairer.h"
#include "report/read/run-totals.h"

namespace {

// The bytes as the logs of February 2024 (a leap month) and March 2024, fed
// in pieces of the given size.
report::MachineReport Read(const uint8_t* data, size_t size, size_t piece)
{
    report::ReadOptions options;
    options.KeepRuns = true;
    options.KeepWarnings = true;
    options.Now = *report::ParseMoment("2024-03-31T23:59");
    report::LogWarnings warnings(options);
    report::RunTotals totals(options, warnings);
    report::RunPairer runs(totals, warnings);
    report::LineFramer lines(runs);
    for (report::LogFile file : {report::LogFile{"2024_2.log", {2024, 2}}, report::LogFile{"2024_3.log", {2024, 3}}}) {
        runs.BeginLog(file);
        lines.BeginFile();
        for (size_t at = 0; at < size; at += piece)
            lines.Feed(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at));
        lines.EndFile();
        runs.EndLog();
    }
    return totals.Finish();
}

void Check(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "%s\n", what);
        abort();
    }
}

// The summary agrees with the runs it counts, whose parts inside the period
// it sums (and a running run's minutes up to now), and with the warnings, of
// which each of the two logs keeps at most WarningsPerLog.
void CheckConsistent(const report::MachineReport& machine)
{
    const report::Summary& totals = machine.Totals;
    int64_t uptime = 0;
    for (const report::Run& run : machine.Runs) {
        Check(run.End.Instant >= run.Start.Instant && run.Minutes == run.End.Instant - run.Start.Instant &&
                  run.Line > 0,
              "a run");
        uptime += run.Minutes;
    }
    Check(totals.Runs == static_cast<int64_t>(machine.Runs.size()) && totals.UptimeMinutes >= 0 &&
              totals.UptimeMinutes <= uptime + totals.UnseenMinutes &&
              totals.Warnings >= static_cast<int64_t>(machine.Warnings.size()) &&
              static_cast<int64_t>(machine.Warnings.size()) <= 2 * report::WarningsPerLog &&
              totals.DowntimeMinutes >= 0 &&
              totals.Down + totals.Pdown + totals.Crash + totals.Unknown + totals.Running == totals.Runs,
          "the summary");
}

bool Same(const report::MachineReport& a, const report::MachineReport& b)
{
    if (a.Runs.size() != b.Runs.size() || a.Warnings.size() != b.Warnings.size() || a.Totals.Runs != b.Totals.Runs ||
        a.Totals.DowntimeMinutes != b.Totals.DowntimeMinutes || a.Totals.Availability != b.Totals.Availability)
        return false;
    for (size_t i = 0; i < a.Runs.size(); i++) {
        const report::Run& x = a.Runs[i];
        const report::Run& y = b.Runs[i];
        if (x.Start.Local != y.Start.Local || x.End.Local != y.End.Local || x.Minutes != y.Minutes ||
            x.Ended != y.Ended || x.File != y.File || x.Line != y.Line)
            return false;
    }
    for (size_t i = 0; i < a.Warnings.size(); i++) {
        const report::Warning& x = a.Warnings[i];
        const report::Warning& y = b.Warnings[i];
        if (x.File != y.File || x.Line != y.Line || x.Problem != y.Problem)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    report::MachineReport whole = Read(data, size, size == 0 ? 1 : size);
    CheckConsistent(whole);
    Check(Same(Read(data, size, 1), whole), "read differently one byte at a time");
    std::vector<uint8_t> holes;
    for (size_t i = 0; i < size; i++)
        if (data[i] != 0 || i == 0 || data[i - 1] != 0)
            holes.push_back(data[i]);
    Check(Same(Read(holes.data(), holes.size(), holes.empty() ? 1 : holes.size()), whole),
          "read differently with each run of zeros as one");
    return 0;
}
