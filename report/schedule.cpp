// SPDX-License-Identifier: Apache-2.0
// Each folder's power-off schedule: --schedule parsed, or PowerOFF.txt read
// with the service's own reader, so that the report and the service never
// disagree on what a file means.
#include "report/schedule.h"

#include "report/host.h"
#include "report/utf8.h"
#include "uptime/schedule.h"

namespace report {

std::optional<PowerOffSchedule> ParseScheduleOption(std::string_view text)
{
    if (text == "none")
        return PowerOffSchedule{true, std::nullopt};
    size_t colon = text.find(':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    int hour = 0;
    for (size_t i = 0; i < colon; i++) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        hour = hour * 10 + (text[i] - '0');
    }
    char tens = text[colon + 1];
    char ones = text[colon + 2];
    if (tens < '0' || tens > '5' || ones < '0' || ones > '9' || hour > 23)
        return std::nullopt;
    return PowerOffSchedule{true, hour * 60 + (tens - '0') * 10 + (ones - '0')};
}

PowerOffSchedule ReadFolderSchedule(const std::string& folder)
{
    FileId file = OpenFileToRead(PathOf(folder) / "PowerOFF.txt");
    if (file == NoFile)
        return {};
    int32_t hour;
    int32_t minute;
    ReadPowerOffTime(file, &hour, &minute);
    CloseFileId(file);
    // The service compares the local hour and minute with these: a time the
    // clock never shows is never due.
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return {true, std::nullopt};
    return {true, hour * 60 + minute};
}

}  // namespace report
