// SPDX-License-Identifier: Apache-2.0
// One record of the log parsed from its text, in the service's own words.
//
// Every line of every log comes through here, so the usual record is read
// straight from its bytes: the bytes after a short line are readable, and
// the closing word is looked up by its first letter and compared as one
// number rather than switched on. The kinds of successive lines come in no
// order the processor could learn, so a branch on the kind would be
// mispredicted often, and each misprediction costs about as much as reading
// the rest of the line.
#include "report/read/record.h"

#include <cstring>

#include "uptime/log-words.h"

namespace report {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

unsigned DigitOf(char c)
{
    return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}

uint64_t Load8(const char* bytes)
{
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

uint32_t Load4(const char* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The decimal number at q, which moves past its digits; false when there is
// no digit there or the number is larger than limit. The usual numbers, of
// up to four digits, are read before the first comparison with limit.
bool ReadNumber(const char*& q, uint64_t limit, uint64_t& value)
{
    unsigned digit = DigitOf(*q);
    if (digit > 9)
        return false;
    value = digit;
    if ((digit = DigitOf(*++q)) <= 9) {
        value = value * 10 + digit;
        if ((digit = DigitOf(*++q)) <= 9) {
            value = value * 10 + digit;
            if ((digit = DigitOf(*++q)) <= 9) {
                value = value * 10 + digit;
                while ((digit = DigitOf(*++q)) <= 9) {
                    value = value * 10 + digit;
                    if (value > limit)
                        return false;
                }
            }
        }
    }
    return value <= limit;
}

// A record's word as one number: its letters, and the mask of them.
struct Word {
    RecordKind Kind = RecordKind::Damaged;
    size_t Length = 0;
    uint64_t Letters = 0;  // no word's: a line holds no NUL
    uint64_t Mask = ~uint64_t{0};
};

// The words of the usual records, by their first letter.
struct Words {
    Word ByLetter[256];
    Words()
    {
        for (RecordKind kind : {RecordKind::Up, RecordKind::Crash, RecordKind::Down, RecordKind::Pdown}) {
            std::string_view text = KindWord(kind);
            char letters[8] = {};
            char mask[8] = {};
            text.copy(letters, text.size());
            std::memset(mask, 0xFF, text.size());
            ByLetter[static_cast<unsigned char>(text[0])] = {kind, text.size(), Load8(letters), Load8(mask)};
        }
    }
};
const Words RecordWords;

// The record's unusual forms, out of the usual one's way: blank text, other
// blanks after the word, an announcement, and damage. q is where the record's
// word begins, or null when the text does not begin as a record.
[[gnu::noinline]] Record ParseRest(std::string_view text, const char* q, int day, int64_t value, bool negative)
{
    const char* end = text.data() + text.size();
    const char* begin = q != nullptr ? q : text.data();
    while (end != begin && IsBlank(end[-1]))
        --end;
    const Record damaged{RecordKind::Damaged, 0, 0};
    if (q == nullptr)
        return end == begin ? Record{} : damaged;
    std::string_view rest(q, static_cast<size_t>(end - q));
    const Word& word = RecordWords.ByLetter[static_cast<unsigned char>(*q)];
    if (!negative && value <= 1439 && word.Length > 0 && rest == KindWord(word.Kind))
        return {word.Kind, day, value};
    // The path of PowerOFF.txt, not empty, may hold any character.
    std::string_view apdown = ApdownWord;
    if (rest.size() > apdown.size() + 1 && rest.substr(rest.size() - apdown.size()) == apdown &&
        rest[rest.size() - apdown.size() - 1] == ' ')
        return {RecordKind::Apdown, day, value};
    return damaged;
}

}  // namespace

Record ParseRecord(std::string_view text)
{
    // The bytes read past a number's digits or a word are, at the end of the
    // text, its line's end and the bytes after it: never a digit, a blank or
    // a letter of this line.
    const char* q = text.data();
    const char* end = q + text.size();
    uint64_t day = 0;
    uint64_t magnitude = 0;
    if (!ReadNumber(q, 31, day) || day == 0 || *q++ != ' ')
        return ParseRest(text, day == 0 && q == text.data() ? nullptr : end, 0, 0, true);
    // APDOWN's value is any 32-bit number, signed or not.
    bool negative = *q == '-';
    q += negative;
    if (!ReadNumber(q, negative ? UINT64_C(2147483648) : UINT64_C(4294967295), magnitude) || *q++ != ' ')
        return ParseRest(text, end, 0, 0, true);
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    // The usual word, then DOWN's four blanks or none. The eight bytes at q
    // are compared at once, under the mask of the word's length, with the
    // word its first letter names: one comparison for any word, and no
    // branch on its letters; those past the line's end are readable and
    // never letters of it. An unknown first letter names no word.
    const Word& word = RecordWords.ByLetter[static_cast<unsigned char>(*q)];
    const char* after = q + word.Length;
    after += 4 * (Load4(after) == Load4(DownPadding));
    if ((Load8(q) & word.Mask) == word.Letters && after == end && !negative && value <= 1439)
        return {word.Kind, static_cast<int>(day), value};
    return ParseRest(text, q, static_cast<int>(day), value, negative);
}

// The warning for a switch that misses a kind brings a new kind here, and
// the tables sized by RecordKindCount with it.
static_assert(static_cast<int>(RecordKind::Apdown) + 1 == RecordKindCount, "RecordKind::Apdown is the last kind");

std::string_view KindWord(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Up: return UpWord;
    case RecordKind::Crash: return CrashWord;
    case RecordKind::Down: return DownWord;
    case RecordKind::Pdown: return PdownWord;
    case RecordKind::Apdown: return ApdownWord;
    case RecordKind::Blank:
    case RecordKind::Damaged:
    case RecordKind::Zeros: break;
    }
    return {};
}

}  // namespace report
