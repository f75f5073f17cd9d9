// SPDX-License-Identifier: Apache-2.0
// The line framer: where lines end, and lines carried from one piece of
// bytes to the next.
#include "report/read/line-framer.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "report/read/line-ends.h"

namespace report {

namespace {

bool EndsLine(char c)
{
    return c == '\n' || c == '\0';
}

// The end of the line that starts at p: its LF or NUL, or end.
const char* LineEnd(const char* p, const char* end)
{
    while (p != end && !EndsLine(*p))
        ++p;
    return p;
}

// The first byte from p on that is not NUL, or end: a run of zeros, as a
// cut log's padding leaves it, is passed over 16 bytes at a time.
const char* PastZeros(const char* p, const char* end)
{
#if defined(__SSE2__)
    const __m128i nul = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, nul)));
        if (zeros != 0xFFFF)
            return p + std::countr_one(zeros);
    }
#endif
    while (p != end && *p == '\0')
        ++p;
    return p;
}

// Where the line after the one ended at stop starts, past the zeros.
const char* NextLine(const char* stop, const char* end)
{
    return *stop == '\0' ? PastZeros(stop + 1, end) : stop + 1;
}

}  // namespace

void LineFramer::BeginFile()
{
    Line = 1;
    ZerosLine = 0;
    Carrying = false;
    Overlong = false;
    Carried.clear();
}

void LineFramer::Feed(const char* data, size_t size)
{
    const char* p = data;
    const char* end = data + size;
    if (Carrying) {
        const char* stop = LineEnd(p, end);
        Carry(p, stop);
        if (stop == end)
            return;
        ReadCarriedLine(*stop);
        p = NextLine(stop, end);
    }
    // The lines whose ends lie in whole blocks of 64 bytes, then the rest.
    // A block of line ends alone that starts with a NUL is in a run of
    // zeros, which is passed over at once; the blocks go on after it. The
    // test is made once a block, not once a line.
    const char* block = p;
    while (end - block >= 64) {
        uint64_t ends = LineEnds(block);
        if (ends == ~uint64_t{0} && *block == '\0') [[unlikely]] {
            block = p = PassRunOfZeros(p, block, end);
            continue;
        }
        // Each line end of the block in turn, the lowest first: ends & (ends
        // - 1) clears the lowest bit set, the one just read.
        for (; ends != 0; ends &= ends - 1) {
            const char* stop = block + std::countr_zero(ends);
            ReadLine(p, stop, end);
            p = stop + 1;
        }
        block += 64;
    }
    for (const char* stop = LineEnd(block, end); stop != end; stop = LineEnd(p, end)) {
        ReadLine(p, stop, end);
        p = NextLine(stop, end);
    }
    if (p != end) {
        Carrying = true;
        Carry(p, end);
    }
}

void LineFramer::EndFile()
{
    if (Carrying)
        ReadCarriedLine(FileEnd);
    Flush();
}

void LineFramer::Flush()
{
    if (Batched > 0)
        Sink.AddRecords(Batch, Batched);
    Batched = 0;
}

inline void LineFramer::ReadLine(const char* p, const char* stop, const char* end)
{
    std::string_view text(p, static_cast<size_t>(stop - p));
    // A CR before the LF is not the line's own; a longer line is not read.
    if (end - stop > static_cast<ptrdiff_t>(RecordReadAhead) || text.size() > LongestRecord + 1) {
        ReadLineText(text, *stop);
        return;
    }
    // Near the end of the piece: a copy, with its line's end and NULs after it.
    Copied.assign(text);
    Copied.push_back(*stop);
    Copied.append(RecordReadAhead, '\0');
    ReadLineText(std::string_view(Copied.data(), text.size()), *stop);
}

inline void LineFramer::ReadLineText(std::string_view text, char terminator)
{
    if (terminator == '\n' && !text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    // Too long for a record, as when its bytes come in pieces.
    Record record = text.size() > LongestRecord ? Record{RecordKind::Damaged, 0, 0} : ParseRecord(text);
    if (record.Kind != RecordKind::Blank && terminator == '\n') {
        Add(record);
        Line++;
        return;
    }
    ReadOtherText(record, terminator);
}

// Text before a NUL, blank text or a last line without LF, out of the usual
// line's way: blank text is a line of its own only with no NUL beside it.
void LineFramer::ReadOtherText(const Record& record, char terminator)
{
    if (record.Kind != RecordKind::Blank || (terminator != '\0' && ZerosLine != Line))
        Add(record);
    if (terminator == '\0')
        PassZeros();
    Line += terminator == '\n';
}

// Out of the usual line's way, so that its loop keeps its registers.
[[gnu::noinline]] const char* LineFramer::PassRunOfZeros(const char* p, const char* zeros, const char* end)
{
    ReadLine(p, zeros, end);
    return PastZeros(zeros + 1, end);
}

void LineFramer::PassZeros()
{
    if (ZerosLine != Line)
        Add({RecordKind::Zeros, 0, 0});
    ZerosLine = Line;
}

void LineFramer::Carry(const char* from, const char* to)
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

void LineFramer::ReadCarriedLine(char terminator)
{
    Carrying = false;
    if (Overlong) {
        Overlong = false;
        Add({RecordKind::Damaged, 0, 0});
        if (terminator == '\0')
            PassZeros();
        Line += terminator == '\n';
        return;
    }
    // Followed by its line's end and the bytes ParseRecord may read.
    size_t length = Carried.size();
    Carried.push_back(terminator == FileEnd ? '\0' : terminator);
    Carried.append(RecordReadAhead, '\0');
    ReadLineText(std::string_view(Carried.data(), length), terminator);
    Carried.clear();
}

}  // namespace report
