// SPDX-License-Identifier: Apache-2.0
// The one parser of a log's lines: each line, as the line framer hands it
// over, and the records it gives; and where lines end, found 64 bytes at a
// time.
#include <cstring>
#include <string>

#include "report/read/line-ends.h"
#include "report/read/line-framer.h"
#include "tests/helpers.h"

namespace {

using namespace std::string_literals;

// The records of a log, described one after another: "UP 8 600", "damaged".
class Described : public report::RecordSink {
public:
    void AddRecords(const report::LineRecord* records, size_t count) override
    {
        for (size_t i = 0; i < count; i++) {
            const report::Record& record = records[i].Fields;
            Text += Text.empty() ? "" : ", ";
            switch (record.Kind) {
            case report::RecordKind::Blank: Text += "blank"; break;
            case report::RecordKind::Damaged: Text += "damaged"; break;
            case report::RecordKind::Zeros: Text += "zeros"; break;
            default:
                Text += std::string(report::KindWord(record.Kind)) + ' ' + std::to_string(record.Day) + ' ' +
                        std::to_string(record.Value);
            }
        }
    }
    std::string Text;
};

std::string RecordsOf(const std::string& bytes)
{
    Described records;
    report::LineFramer lines(records);
    lines.BeginFile();
    lines.Feed(bytes.data(), bytes.size());
    lines.EndFile();
    return records.Text;
}

const struct {
    std::string Line;
    const char* Records;
} Lines[] = {
    {"8 600 UP\r\n", "UP 8 600"},
    {"8 600 UP\n", "UP 8 600"},
    {"8 1231 CRASH\r\n", "CRASH 8 1231"},
    {"8 1320 PDOWN\r\n", "PDOWN 8 1320"},
    // DOWN is written with four blanks after it; with none, or other blanks,
    // it is DOWN all the same, and so is any word with blanks after it.
    {"8 1020 DOWN    \r\n", "DOWN 8 1020"},
    {"8 1020 DOWN\r\n", "DOWN 8 1020"},
    {"8 1020 DOWN \r\n", "DOWN 8 1020"},
    {"8 1020 DOWN     \r\n", "DOWN 8 1020"},
    {"8 1020 DOWN\t\r\n", "DOWN 8 1020"},
    {"8 600 UP    \r\n", "UP 8 600"},
    {"8 600 UP \t \r\n", "UP 8 600"},
    {"8 1020 DOWN    x\r\n", "damaged"},
    {"8 1020 DOWNDOWN\r\n", "damaged"},
    // Fields are parted by one space, never a tab or two blanks, and the
    // line starts with its day.
    {"8\t600 UP\r\n", "damaged"},
    {"8 600\tUP\r\n", "damaged"},
    {"8  600 UP\r\n", "damaged"},
    {"8 600  UP\r\n", "damaged"},
    {" 8 600 UP\r\n", "damaged"},
    // The words as the service writes them, and nothing like them.
    {"8 600 up\r\n", "damaged"},
    {"8 600 U\r\n", "damaged"},
    {"8 600 UPS\r\n", "damaged"},
    {"8 600 CRASHED\r\n", "damaged"},
    {"8 600 \r\n", "damaged"},
    {"8 600\r\n", "damaged"},
    {"8\r\n", "damaged"},
    {"hello\r\n", "damaged"},
    // One CR before the LF is the line end's; any other is the line's.
    {"8 600 UP\r\r\n", "damaged"},
    {"8 600 UP\r9 600 UP\r\n", "damaged"},
    // The last day and minute a record may carry, and the first it may not;
    // a minute before midnight is no minute of the day before.
    {"1 1439 UP\r\n", "UP 1 1439"},
    {"1 1440 DOWN    \r\n", "damaged"},
    {"31 0 UP\r\n", "UP 31 0"},
    {"32 0 CRASH\r\n", "damaged"},
    {"0 5 UP\r\n", "damaged"},
    {"8 -5 UP\r\n", "damaged"},
    {"8 -0 UP\r\n", "damaged"},
    {"8 +5 UP\r\n", "damaged"},
    {"99999999999999999999 5 UP\r\n", "damaged"},
    {"8 99999999999999999999 UP\r\n", "damaged"},
    // An announcement: the day, any 32-bit value, signed or not, a path that
    // is not empty, and APDOWN after a blank.
    {"5 3660 C:\\Program Files\\Verdimoor\\PowerOFF.txt APDOWN\r\n", "APDOWN 5 3660"},
    {"6 -1 /opt/verdimoor/PowerOFF.txt APDOWN  \r\n", "APDOWN 6 -1"},
    {"6 1 x APDOWN\t\r\n", "APDOWN 6 1"},
    {"6 4294967295 x APDOWN\r\n", "APDOWN 6 4294967295"},
    {"6 -2147483648 x APDOWN\r\n", "APDOWN 6 -2147483648"},
    {"6 4294967296 x APDOWN\r\n", "damaged"},
    {"6 -2147483649 x APDOWN\r\n", "damaged"},
    {"6 1 /x/PowerOFF.txtAPDOWN\r\n", "damaged"},
    {"6 1 xyAPDOWN\r\n", "damaged"},
    {"6 1  APDOWN\r\n", "damaged"},
    {"6 1 APDOWN\r\n", "damaged"},
    // Blank lines, and the NUL bytes of a log cut short: the text before
    // them is read as a line of its own.
    {"\r\n", "blank"},
    {" \t \r\n", "blank"},
    {"5 600 UP\0\0\0\r\n"s, "UP 5 600, zeros"},
    {"\0\0\0\n"s, "zeros"},
    {"3 6\0\0\0"s, "damaged, zeros"},
};

// Each line alone, where its bytes end with the piece, and followed by more
// lines, where the parser reads ahead into them.
TEST(ParseRecord, EachLineAndItsRecords)
{
    std::string more;
    for (int i = 0; i < 10; i++)
        more += "1 0 UP\r\n";
    for (const auto& line : Lines) {
        SCOPED_TRACE(line.Line);
        EXPECT_EQ(RecordsOf(line.Line), line.Records);
        std::string followed = line.Records;
        for (int i = 0; i < 10; i++)
            followed += ", UP 1 0";
        EXPECT_EQ(RecordsOf(line.Line + more), followed);
    }
}

// Where lines end among 64 bytes, as the host's instructions find them and
// byte by byte: bytes of every value, with and without the top bit.
TEST(LineEnds, AsFoundByteByByte)
{
    std::string bytes(256 + 64, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<char>(i);
    std::string lines;
    for (int i = 0; i < 20; i++)
        lines += "8 " + std::to_string(i * 7) + " UP\r\n" + std::string(static_cast<size_t>(i % 3), '\0');
    for (const std::string& text : {bytes, lines, std::string(64, '\n'), std::string(64, '\0'), std::string(64, 'x')})
        for (size_t at = 0; at + 64 <= text.size(); at++)
            EXPECT_EQ(report::LineEnds(text.data() + at), report::LineEndsByteByByte(text.data() + at)) << at;
}

}  // namespace
