// SPDX-License-Identifier: Apache-2.0
// The log's vocabulary, named once: the words of its records, the name of a
// month's log and that of the schedule beside the logs. The service writes
// them and verdimoor-report reads them; nothing here needs the host's
// headers.
#pragma once

#define UpWord "UP"
#define CrashWord "CRASH"
#define ApdownWord "APDOWN"
#define DownWord "DOWN"
// The DOWN line's four trailing blanks.
#define DownPadding "    "
#define PdownWord "PDOWN"
// A month's log: "<year>_<month>.log", the month 1 to 12 without a leading zero.
#define LogNameFormat "%i_%i.log"
// The daily power-off time, in the program's folder.
#define ScheduleFileName "PowerOFF.txt"
