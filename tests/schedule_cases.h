// SPDX-License-Identifier: Apache-2.0
// The schedule file's contents with what each must yield: the unit test's
// table, and the fuzzer's first inputs.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

struct ScheduleCase {
    const char* Name;
    std::string Content;
    int32_t Hour;
    int32_t Minute;
    int32_t Announced;
};

inline const ScheduleCase ScheduleCases[] = {
    {"plain", "22 30", 22, 30, 1350},
    {"empty", "", 0, 0, 0},
    {"not a number", "at ten", 0, 0, 0},
    {"hour alone", "23", 23, 0, 1380},
    {"leading zero is octal", "08 30", 0, 8, 8},
    {"hexadecimal", "0x10 0", 16, 0, 960},
    {"hexadecimal capital", "0X1f\n7\n", 31, 7, 1867},
    {"0x1A ends the file", std::string("22\x1A") + "30", 22, 0, 1320},
    {"CR dropped inside a number", "2\r2 30", 22, 30, 1350},
    {"CR LF between the numbers", "22\r\n30\r\n", 22, 30, 1350},
    {"hour 24", "24 0", 24, 0, 1440},
    {"negative hour", "-1 5", -1, 5, -55},
    {"minute 60", "7 60", 7, 60, 480},
    {"signs", "+7 -0", 7, 0, 420},
    {"sign without digits", "- 5", 0, 0, 0},
    {"second not a number", "7 x", 7, 0, 420},
    {"stops at a letter", "7x 9", 7, 0, 420},
    {"third number never read", "1 2 3", 1, 2, 62},
    {"leading white space", " \t\n 5\f\v 6", 5, 6, 306},
    {"0x without a hexadecimal digit fails", "0x 5", 0, 0, 0},
    {"0x then a letter fails", "0xg", 0, 0, 0},
    {"0x at the end of the second number", "3 0x", 3, 0, 180},
    {"octal digits", "017 010", 15, 8, 908},
    {"hour saturates", "99999999999 0", INT32_MAX, 0, -60},
    {"largest hour", "2147483647 0", INT32_MAX, 0, -60},
    {"hour saturates below", "-99999999999999999999 0", INT32_MIN, 0, 0},
    {"smallest hour", "-2147483648 1", INT32_MIN, 1, 1},
    {"hexadecimal saturates", "0xFFFFFFFFFFFF 0x7fffffff", INT32_MAX, INT32_MAX, 2147483587},
    {"minute saturates", "0 4294967296", 0, INT32_MAX, INT32_MAX},
};
