// SPDX-License-Identifier: Apache-2.0
// Each folder's power-off schedule: --schedule parsed, or PowerOFF.txt read
// with the service's own reader, so that the report and the service never
// disagree on what a file means.
#include "report/program/folder-schedule.h"

#include "report/core/text-forms.h"
#include "report/read/input-file.h"
#include "uptime/log-words.h"
#include "uptime/schedule.h"

namespace report {

std::optional<PowerOffSchedule> ParseScheduleOption(std::string_view text)
{
    if (text == "none")
        return PowerOffSchedule{true, std::nullopt};
    if (std::optional<int> minute = ParseTimeOfDay(text))
        return PowerOffSchedule{true, *minute};
    return std::nullopt;
}

PowerOffSchedule ReadFolderSchedule(const std::filesystem::path& folder, std::string& problem)
{
    // Read as safely as a log: another user may have left it there.
    InputFile file;
    if (!file.Open(folder / ScheduleFileName, problem)) {
        if (file.Missing())
            problem.clear();
        return {};
    }
    int32_t hour;
    int32_t minute;
    ReadPowerOffTime(file.Handle(), &hour, &minute);
    if (!OnTheClock(hour, minute))
        return {true, std::nullopt};
    return {true, hour * 60 + minute};
}

}  // namespace report
