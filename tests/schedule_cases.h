// SPDX-License-Identifier: Apache-2.0
// The schedule file's contents with what each must yield: the unit test's
// table, and the fuzzer's first inputs.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "uptime/schedule.h"

struct ScheduleCase {
    const char* Name;
    std::string Content;
    int32_t Hour;
    int32_t Minute;
    int32_t Announced;
    // What else the text holds, and its word.
    ScheduleText Text = ScheduleTimeAlone;
    const char* Word = "";
};

// text in UTF-16 after its byte-order mark, little- or big-endian.
inline std::string Utf16(const std::u16string& text, bool little)
{
    std::string encoded = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        char low = static_cast<char>(unit & 0xFF);
        char high = static_cast<char>(unit >> 8);
        encoded += little ? std::string{low, high} : std::string{high, low};
    }
    return encoded;
}

inline const ScheduleCase ScheduleCases[] = {
    {"plain", "22 30", 22, 30, 1350},
    {"empty", "", 0, 0, 0, ScheduleTextEmpty},
    {"white space alone", " \r\n\t", 0, 0, 0, ScheduleTextEmpty},
    {"not a number", "at ten", 0, 0, 0, ScheduleWordFirst, "at"},
    {"hour alone", "23", 23, 0, 1380},
    {"leading zero is octal", "08 30", 0, 8, 8, ScheduleWordAfter, "30"},
    {"hexadecimal", "0x10 0", 16, 0, 960},
    {"hexadecimal capital", "0X1f\n7\n", 31, 7, 1867},
    {"0x1A ends the file", std::string("22\x1A") + "30", 22, 0, 1320},
    {"CR dropped inside a number", "2\r2 30", 22, 30, 1350},
    {"CR LF between the numbers", "22\r\n30\r\n", 22, 30, 1350},
    {"hour 24", "24 0", 24, 0, 1440},
    {"negative hour", "-1 5", -1, 5, -55},
    {"minute 60", "7 60", 7, 60, 480},
    {"signs", "+7 -0", 7, 0, 420},
    {"sign without digits", "- 5", 0, 0, 0, ScheduleWordFirst, "-"},
    {"second not a number", "7 x", 7, 0, 420, ScheduleWordAfter, "x"},
    {"stops at a letter", "7x 9", 7, 0, 420, ScheduleWordAfter, "x"},
    {"third number never read", "1 2 3", 1, 2, 62, ScheduleWordAfter, "3"},
    {"leading white space", " \t\n 5\f\v 6", 5, 6, 306},
    {"0x without a hexadecimal digit fails", "0x 5", 0, 0, 0, ScheduleWordFirst, "0x"},
    {"0x then a letter fails", "0xg", 0, 0, 0, ScheduleWordFirst, "0xg"},
    {"0x at the end of the second number", "3 0x", 3, 0, 180, ScheduleWordAfter, "0x"},
    {"octal digits", "017 010", 15, 8, 908},
    {"hour saturates", "99999999999 0", INT32_MAX, 0, -60},
    {"largest hour", "2147483647 0", INT32_MAX, 0, -60},
    {"hour saturates below", "-99999999999999999999 0", INT32_MIN, 0, 0},
    {"smallest hour", "-2147483648 1", INT32_MIN, 1, 1},
    {"hexadecimal saturates", "0xFFFFFFFFFFFF 0x7fffffff", INT32_MAX, INT32_MAX, 2147483587},
    {"minute saturates", "0 4294967296", 0, INT32_MAX, INT32_MAX},
    {"long word cut", "midnight-or-thereabouts-please 5", 0, 0, 0, ScheduleWordFirst, "midnight-or-thereabouts-..."},
    {"control and other bytes as ?", "\x01\xC3\xA9t\xC3\xA9", 0, 0, 0, ScheduleWordFirst, "??t?"},
    // One '?' a character, however many bytes or units it takes.
    {"full-width digits", "\uFF12\uFF12:\uFF13\uFF10", 0, 0, 0, ScheduleWordFirst, "??:??"},
    {"full-width minute", "22 \uFF13\uFF10", 22, 0, 1320, ScheduleWordAfter, "??"},
    {"UTF-16 full-width digits", Utf16(u"\uFF12\uFF12:\uFF13\uFF10", true), 0, 0, 0, ScheduleWordFirst, "??:??"},
    {"four bytes", "\U0001F551 22", 0, 0, 0, ScheduleWordFirst, "?"},
    {"UTF-16 pair", Utf16(u"\U0001F551\xD83D\xD83Dx", false), 0, 0, 0, ScheduleWordFirst, "???x"},
    {"ANSI bytes each a character", "caf\xE9 \xE9t\xE9", 0, 0, 0, ScheduleWordFirst, "caf?"},
    {"sequences cut or ill-formed", "\xE2\x82t\xE0\x80\xED\xA0\x80\xF4\x90\xC0\xAF\xF0\x90\x80", 0, 0, 0,
     ScheduleWordFirst, "?t??????????"},
    {"long word cut by characters",
     "\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5\u672C"
     "\u65E5\u672C\u65E5\u672C\u65E5\u672C\u65E5",
     0, 0, 0, ScheduleWordFirst, "????????????????????????..."},
    // As administrators write it: byte-order marks, UTF-16 from PowerShell.
    {"UTF-8 byte-order mark",
     "\xEF\xBB\xBF"
     "22 30\r\n",
     22, 30, 1350},
    {"UTF-8 byte-order mark alone", "\xEF\xBB\xBF", 0, 0, 0, ScheduleTextEmpty},
    {"byte-order mark cut short",
     "\xEF\xBB"
     "22 30",
     0, 0, 0, ScheduleWordFirst, "?22"},
    {"UTF-16LE", Utf16(u"22 30\r\n", true), 22, 30, 1350},
    {"UTF-16BE", Utf16(u"22 30\r\n", false), 22, 30, 1350},
    {"UTF-16 CR dropped inside a number", Utf16(u"2\r2 30", true), 22, 30, 1350},
    {"UTF-16 unit 0x1A ends the file", Utf16(u"22 \x1A 30", true), 22, 0, 1320},
    {"UTF-16 beyond ASCII is no number", Utf16(u"22\u00A030 \u0663", true), 22, 0, 1320, ScheduleWordAfter, "?30"},
    {"UTF-16 last byte without its pair", Utf16(u"22 3", false) + "0", 22, 3, 1323},
    {"UTF-16 without a byte-order mark is bytes",
     std::string("2\0"
                 "2\0",
                 4),
     2, 0, 120, ScheduleWordAfter, "?2?"},
    // A time written H:MM, both numbers decimal.
    {"time", "22:30", 22, 30, 1350},
    {"time with a one-digit hour", "9:05", 9, 5, 545},
    {"time with a leading zero", "08:30\r\n", 8, 30, 510},
    {"time with minute 08", "22:08", 22, 8, 1328},
    {"time with minute 09", "22:09", 22, 9, 1329},
    {"time with a sign", "-1:05", -1, 5, -55},
    {"time of 24:00", "24:00", 24, 0, 1440},
    {"time without its minute", "22:", 22, 0, 1320},
    {"time with seconds", "22:30:15", 22, 30, 1350, ScheduleWordAfter, ":15"},
    {"time with white space after the colon", "22: 30", 22, 30, 1350},
    {"colon after a hexadecimal hour", "0x10:30", 16, 30, 990},
    {"colon after white space is no time", "22 :30", 22, 0, 1320, ScheduleWordAfter, ":30"},
    {"time longer than sixteen digits is read as %i", "00000000000000000022:30", 18, 30, 1110},
    {"time saturates", "99999999999:99999999999", INT32_MAX, INT32_MAX, 2147483587},
};
