// SPDX-License-Identifier: Apache-2.0
// The line framer: turns the bytes of one log, in whatever pieces they come,
// into its records, each with the number of its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/read/record.h"

namespace report {

// A record with the number of its line.
struct LineRecord {
    Record Fields;
    uint64_t Line;
};

// Receives the records of a log in their order, a batch at a time.
class RecordSink {
public:
    virtual void AddRecords(const LineRecord* records, size_t count) = 0;

protected:
    ~RecordSink() = default;
};

// A line ends with LF, the CR before it dropped, or with a NUL, as the zeros
// of a cut log leave it; a NUL does not start a new line number, and a long
// run of them is passed over at once. Every line
// is read by ParseRecord, whole, however its bytes were cut into pieces: a
// line near the end of a piece, or carried from one piece to the next, is
// read from a copy followed by the bytes ParseRecord may read. A blank line
// is passed on as a Blank record, and a line's first NUL as a Zeros record
// after the text before it; a blank text beside a NUL is no line of its own.
class LineFramer {
public:
    explicit LineFramer(RecordSink& sink) : Sink(sink) {}

    void BeginFile();
    void Feed(const char* data, size_t size);
    // The last line, when it has no LF.
    void EndFile();
    // Hands the records framed so far on, which go in batches otherwise.
    void Flush();

    // The longest record the framer takes; a longer line is damaged.
    static constexpr size_t LongestRecord = 65536;

private:
    void Add(const Record& record)
    {
        Batch[Batched++] = {record, Line};
        if (Batched == BatchSize)
            Flush();
    }
    // The line from p to its end at stop, in bytes that can be read up to end.
    void ReadLine(const char* p, const char* stop, const char* end);
    void ReadLineText(std::string_view text, char terminator);
    void ReadOtherText(const Record& record, char terminator);
    void PassZeros();
    // The line from p ended by the NUL at zeros; where the run of zeros ends.
    const char* PassRunOfZeros(const char* p, const char* zeros, const char* end);
    void Carry(const char* from, const char* to);
    void ReadCarriedLine(char terminator);

    // Ends the last line when it has no LF; no byte of a log ends a line so.
    static constexpr char FileEnd = 1;

    RecordSink& Sink;
    // Records go to the sink in batches: one call for many lines.
    static constexpr size_t BatchSize = 256;
    LineRecord Batch[BatchSize];
    size_t Batched = 0;
    uint64_t Line = 1;
    uint64_t ZerosLine = 0;  // the line whose NULs were passed on
    bool Carrying = false;
    bool Overlong = false;  // the carried line is too long to be a record; its bytes are gone
    std::string Carried;
    std::string Copied;  // a line near the end of a piece, and the bytes after it
};

}  // namespace report
