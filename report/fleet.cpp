// SPDX-License-Identifier: Apache-2.0
// The fleet's table as people read it.
#include "report/fleet.h"

#include <cstdio>

#include "report/moments.h"

namespace report {

namespace {

std::string Count(int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

const std::array<const char*, FleetColumns>& FleetHeadings()
{
    static const std::array<const char*, FleetColumns> headings = {
        "Machine", "Schedule",      "Runs",         "Crashes",   "On schedule",
        "Missed",  "Past schedule", "Availability", "Last seen", "Now"};
    return headings;
}

bool FleetColumnIsNumeric(size_t column)
{
    return column >= 2 && column <= 7;
}

std::array<std::string, FleetColumns> FleetRow(const MachineReport& machine)
{
    const Summary& totals = machine.Totals;
    const PowerOffSchedule& schedule = machine.Schedule;
    bool scheduled = schedule.Minute.has_value();
    return {machine.Name,
            scheduled        ? FormatTimeOfDay(*schedule.Minute)
            : schedule.Known ? "none"
                             : "-",
            std::to_string(totals.Runs),
            std::to_string(totals.Crash),
            std::to_string(totals.Pdown),
            scheduled ? std::to_string(totals.PoweroffsMissed) : "-",
            scheduled ? FormatDuration(totals.MinutesPastSchedule) : "-",
            totals.Availability ? FormatPercent(*totals.Availability) : "-",
            totals.LastEnd ? FormatMomentForPeople(*totals.LastEnd) : "-",
            totals.Running > 0 ? "on" : "off"};
}

std::string FleetTotals(const std::vector<MachineReport>& machines)
{
    int64_t crashes = 0;
    int64_t missed = 0;
    int64_t minutesPast = 0;
    for (const MachineReport& machine : machines) {
        crashes += machine.Totals.Crash;
        missed += machine.Totals.PoweroffsMissed;
        minutesPast += machine.Totals.MinutesPastSchedule;
    }
    char hours[32];
    std::snprintf(hours, sizeof hours, "%.1f", static_cast<double>(minutesPast) / 60);
    return Count(static_cast<int64_t>(machines.size()), "machine", "machines") + ": " +
           Count(crashes, "crash", "crashes") + ", " + Count(missed, "missed power-off", "missed power-offs") + ", " +
           hours + " hours past the schedule";
}

}  // namespace report
