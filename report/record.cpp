// SPDX-License-Identifier: Apache-2.0
// One record of the log parsed from its text.
#include "report/record.h"

#include "report/vocabulary.h"

namespace report {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The decimal number at text[at], at most limit; false when there is none or
// it is larger. at moves past its digits.
bool Number(std::string_view text, size_t& at, int64_t limit, int64_t& value)
{
    size_t first = at;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; at++) {
        value = value * 10 + (text[at] - '0');
        if (value > limit)
            return false;
    }
    return at > first;
}

bool Space(std::string_view text, size_t& at)
{
    if (at >= text.size() || text[at] != ' ')
        return false;
    at++;
    return true;
}

}  // namespace

Record ParseRecord(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return {};

    Record damaged{RecordKind::Damaged, 0, 0};
    size_t at = 0;
    int64_t day = 0;
    if (!Number(text, at, 31, day) || day < 1 || !Space(text, at))
        return damaged;
    bool negative = at < text.size() && text[at] == '-';
    if (negative)
        at++;
    int64_t value = 0;
    if (!Number(text, at, negative ? INT64_C(2147483648) : INT64_C(4294967295), value) || !Space(text, at))
        return damaged;
    if (negative)
        value = -value;
    std::string_view rest = text.substr(at);

    if (!negative && value <= 1439) {
        for (RecordKind kind : {RecordKind::Up, RecordKind::Crash, RecordKind::Down, RecordKind::Pdown}) {
            if (rest == KindWord(kind))
                return {kind, static_cast<int>(day), value};
        }
    }
    // The path of PowerOFF.txt, not empty, may hold any character.
    std::string_view word = words::Apdown;
    if (rest.size() > word.size() + 1 && rest.substr(rest.size() - word.size()) == word &&
        rest[rest.size() - word.size() - 1] == ' ')
        return {RecordKind::Apdown, static_cast<int>(day), value};
    return damaged;
}

std::string_view KindWord(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Up: return words::Up;
    case RecordKind::Crash: return words::Crash;
    case RecordKind::Down: return words::Down;
    case RecordKind::Pdown: return words::Pdown;
    case RecordKind::Apdown: return words::Apdown;
    case RecordKind::Blank:
    case RecordKind::Damaged: break;
    }
    return {};
}

}  // namespace report
