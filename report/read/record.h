// SPDX-License-Identifier: Apache-2.0
// One record of the log: the text of one line (or of the part of a line
// before or between NUL bytes), without its LF or the CR before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace report {

enum class RecordKind {
    Blank,    // empty, or blanks only: skipped with a warning when it is a whole line
    Damaged,  // anything that is not a record: skipped with a warning
    Zeros,    // NUL bytes in a line, as the padding of a cut log: the line framer's, never ParseRecord's
    Up,       // D M UP
    Crash,    // D M CRASH
    Down,     // D M DOWN, written with four trailing blanks
    Pdown,    // D M PDOWN
    Apdown,   // D V PATH APDOWN, an announcement
};
// Tables indexed by the kind hold this many entries.
inline constexpr int RecordKindCount = 8;

struct Record {
    RecordKind Kind = RecordKind::Blank;
    int Day = 0;        // 1 to 31
    int64_t Value = 0;  // the minute of the day, 0 to 1439; any 32-bit value in APDOWN
};

// How many bytes after the end of a line's text ParseRecord may read: the
// line framer keeps them readable.
inline constexpr size_t RecordReadAhead = 16;

// Reads a record: fields separated by single blanks, any blanks (spaces,
// tabs) after the last one. Every line of a log is read here. The byte just
// after text must end the line (CR, LF or NUL) or be a NUL of padding, and
// RecordReadAhead bytes after it must be readable.
Record ParseRecord(std::string_view text);

// The record kind's word, as the log spells it ("" for Blank and Damaged).
std::string_view KindWord(RecordKind kind);

}  // namespace report
