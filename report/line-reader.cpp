// SPDX-License-Identifier: Apache-2.0
// The line framer: the fast path for the usual line, and lines carried from
// one piece of bytes to the next.
#include "report/line-reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "report/vocabulary.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace report {

namespace {

// Eight bytes as one number, in the order they are stored.
uint64_t Load8(const char* bytes)
{
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// A closing or opening word compared as one number: its letters, masked.
struct Word {
    RecordKind Kind;
    size_t Length;
    uint64_t Letters;
    uint64_t Mask;
};

Word WordOf(RecordKind kind)
{
    std::string_view word = KindWord(kind);
    char letters[8] = {};
    char mask[8] = {};
    for (size_t i = 0; i < word.size() && i < 8; i++) {
        letters[i] = word[i];
        mask[i] = '\xFF';
    }
    return {kind, word.size(), Load8(letters), Load8(mask)};
}

// The usual words, by their first letter.
const Word Up = WordOf(RecordKind::Up);
const Word Crash = WordOf(RecordKind::Crash);
const Word Down = WordOf(RecordKind::Down);
const Word Pdown = WordOf(RecordKind::Pdown);

// Looked up, not switched on: which closing word comes next follows no
// pattern.
struct WordsByLetter {
    const Word* Of[256] = {};
    WordsByLetter()
    {
        for (const Word* word : {&Up, &Crash, &Down, &Pdown})
            Of[static_cast<unsigned char>(KindWord(word->Kind)[0])] = word;
    }
};
const WordsByLetter Words;

const Word* WordStarting(char letter)
{
    return Words.Of[static_cast<unsigned char>(letter)];
}

// The end of the line that starts at p: its LF or NUL, or end.
const char* LineEnd(const char* p, const char* end)
{
    while (p != end && *p != '\n' && *p != '\0')
        ++p;
    return p;
}

// Room for the longest usual line, "31 1439 DOWN" with its blanks and CR LF:
// the usual line is read only where this many bytes are left in the piece,
// and no byte is read past them.
constexpr ptrdiff_t Window = 32;

unsigned DigitOf(char c)
{
    return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}

// Whether the line from p to its LF at lf is the usual one, "D M WORD" with
// trailing blanks and CR, read straight from the bytes, at least Window of
// them; anything else is for LineReader::ReadLine. Where the line ends is
// known beforehand, so nothing read here decides where the next one starts:
// the processor reads several lines at once.
[[gnu::always_inline]] inline bool ReadUsualLine(const char* p, const char* lf, Record& record)
{
    const char* q = p;
    unsigned digit = DigitOf(*q);
    if (digit > 9)
        return false;
    int day = static_cast<int>(digit);
    if ((digit = DigitOf(*++q)) <= 9) {
        day = day * 10 + static_cast<int>(digit);
        ++q;
    }
    if (day < 1 || day > 31 || *q != ' ')
        return false;
    // One to four digits: the minute of the day.
    unsigned minute = DigitOf(*++q);
    if (minute > 9)
        return false;
    if ((digit = DigitOf(*++q)) <= 9) {
        minute = minute * 10 + digit;
        if ((digit = DigitOf(*++q)) <= 9) {
            minute = minute * 10 + digit;
            if ((digit = DigitOf(*++q)) <= 9) {
                minute = minute * 10 + digit;
                ++q;
            }
        }
    }
    if (minute > 1439 || *q != ' ')
        return false;
    ++q;
    const Word* word = WordStarting(*q);
    if (word == nullptr || (Load8(q) & word->Mask) != word->Letters)
        return false;
    RecordKind kind = word->Kind;
    q += word->Length;
    // DOWN's four blanks at once, without a branch: which word comes follows
    // no pattern. Other blanks are for ReadLine.
    uint32_t four;
    std::memcpy(&four, q, sizeof four);
    q += 4 * (four == 0x20202020u);
    q += *q == '\r';
    record = {kind, day, static_cast<int64_t>(minute)};
    return q == lf;
}

// Where the LF bytes are among the 64 at p: bit i for p[i].
uint64_t LineFeeds(const char* p)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    uint64_t found = 0;
    for (int i = 0; i < 4; i++) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        found |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)))) << (16 * i);
    }
    return found;
#else
    uint64_t found = 0;
    for (int i = 0; i < 64; i++)
        found |= static_cast<uint64_t>(p[i] == '\n') << i;
    return found;
#endif
}

}  // namespace

void LineReader::BeginFile()
{
    Line = 1;
    Carrying = false;
    Overlong = false;
    Carried.clear();
}

void LineReader::Feed(const char* data, size_t size)
{
    const char* p = data;
    const char* end = data + size;
    if (Carrying) {
        const char* stop = LineEnd(p, end);
        Carry(p, stop);
        if (stop == end)
            return;
        ReadCarriedLine(*stop);
        p = stop + 1;
    }
    // The LF bytes found 64 at a time, while a Window is left after them:
    // each ends a line, read as the usual one when it is.
    for (const char* block = p; end - block >= 64 + Window; block += 64) {
        for (uint64_t feeds = LineFeeds(block); feeds != 0; feeds &= feeds - 1) {
            const char* lf = block + std::countr_zero(feeds);
            Record record;
            if (ReadUsualLine(p, lf, record)) {
                Add(record);
                Line++;
            } else {
                ReadLines(p, lf);
            }
            p = lf + 1;
        }
    }
    const char* usualEnd = end - std::min<ptrdiff_t>(end - p, Window);
    while (p != end) {
        const char* stop = LineEnd(p, end);
        if (stop == end) {
            Carrying = true;
            Carry(p, end);
            return;
        }
        Record record;
        if (p < usualEnd && *stop == '\n' && ReadUsualLine(p, stop, record)) {
            Add(record);
            Line++;
        } else {
            ReadLine(std::string_view(p, static_cast<size_t>(stop - p)), *stop);
        }
        p = stop + 1;
    }
}

void LineReader::ReadLines(const char* p, const char* lf)
{
    for (;;) {
        const char* stop = LineEnd(p, lf);
        ReadLine(std::string_view(p, static_cast<size_t>(stop - p)), *stop);
        if (stop == lf)
            return;
        p = stop + 1;
    }
}

void LineReader::EndFile()
{
    if (Carrying)
        ReadCarriedLine('\0');
    Flush();
}

void LineReader::Flush()
{
    if (Batched > 0)
        Sink.AddRecords(Batch, Batched);
    Batched = 0;
}

void LineReader::ReadLine(std::string_view text, char terminator)
{
    if (terminator == '\n' && !text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    // Too long for a record, as when its bytes come in pieces.
    Record record = text.size() > LongestRecord ? Record{RecordKind::Damaged, 0, 0} : ParseRecord(text);
    if (record.Kind != RecordKind::Blank)
        Add(record);
    if (terminator == '\n')
        Line++;
}

void LineReader::Carry(const char* from, const char* to)
{
    size_t count = static_cast<size_t>(to - from);
    // Room for the longest record and the CR before its LF.
    if (Overlong || Carried.size() + count > LongestRecord + 1) {
        Overlong = true;
        Carried.clear();
        Carried.shrink_to_fit();
        return;
    }
    Carried.append(from, count);
}

void LineReader::ReadCarriedLine(char terminator)
{
    Carrying = false;
    if (Overlong) {
        Overlong = false;
        Add({RecordKind::Damaged, 0, 0});
        if (terminator == '\n')
            Line++;
        return;
    }
    std::string text = std::move(Carried);
    Carried.clear();
    ReadLine(text, terminator);
}

}  // namespace report
