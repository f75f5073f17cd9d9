// SPDX-License-Identifier: Apache-2.0
// Where lines end among 64 bytes of a log, found all at once: with SSE2 where
// the host has it, else a byte at a time, which the tests hold the SSE2 form
// to.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace report {

// Where lines end among the 64 bytes at p, LF or NUL: bit i for p[i].
inline uint64_t LineEndsByteByByte(const char* p)
{
    uint64_t found = 0;
    for (int i = 0; i < 64; i++)
        found |= static_cast<uint64_t>(p[i] == '\n' || p[i] == '\0') << i;
    return found;
}

// The same, sixteen bytes to an instruction where the host has SSE2. Found
// all at once, so that where a line ends never waits on reading the line
// before it, and with no branch a byte: a search that stops at each line's
// end would leave the processor to guess, byte by byte, where a line of no
// fixed length ends, and it guesses wrong once a line.
inline uint64_t LineEnds(const char* p)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    uint64_t found = 0;
    for (int i = 0; i < 4; i++) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, nul));
        found |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(ends))) << (16 * i);
    }
    return found;
#else
    return LineEndsByteByByte(p);
#endif
}

}  // namespace report
