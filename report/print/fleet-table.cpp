// SPDX-License-Identifier: Apache-2.0
// The fleet's table as people read it.
#include "report/print/fleet-table.h"

#include <algorithm>
#include <cstdio>

#include "report/core/text-forms.h"

namespace report {

const std::array<FleetColumn, FleetColumns>& FleetTable()
{
    static const std::array<FleetColumn, FleetColumns> columns = {{{"Machine", false},
                                                                   {"Schedule", false},
                                                                   {"Runs", true},
                                                                   {"Crashes", true},
                                                                   {"On schedule", true},
                                                                   {"Missed", true},
                                                                   {"Past schedule", true},
                                                                   {"Availability", true},
                                                                   {"Last seen", false},
                                                                   {"Now", false},
                                                                   {"Since", false},
                                                                   {"Ended", false},
                                                                   {"Last power-off", false}}};
    return columns;
}

std::array<std::string, FleetColumns> FleetRow(const MachineReport& machine)
{
    if (!machine.Problem.empty())
        return {machine.Name, "-", "-", "-", "-", "-", "-", "-", "-", "unreadable", "-", "-", "-"};
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
            totals.NewestEnded == RunEnd::Running ? "on" : "off",
            totals.StateSince ? FormatMomentForPeople(*totals.StateSince) : "-",
            totals.NewestEnded ? std::string(EndName(*totals.NewestEnded)) : "-",
            std::string(LastPowerOffName(totals.LastPowerOffAnswer))};
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
    return FormatCount(static_cast<int64_t>(machines.size()), "machine", "machines") + ": " +
           FormatCount(crashes, "crash", "crashes") + ", " +
           FormatCount(missed, "missed power-off", "missed power-offs") + ", " + hours + " hours past the schedule";
}

std::vector<const MachineReport*> FleetOrder(const std::vector<MachineReport>& machines)
{
    std::vector<const MachineReport*> order;
    for (const MachineReport& machine : machines)
        order.push_back(&machine);
    std::stable_partition(order.begin(), order.end(), [](const MachineReport* machine) {
        return machine->Totals.LastPowerOffAnswer == LastPowerOff::Missed;
    });
    return order;
}

}  // namespace report
