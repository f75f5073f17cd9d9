// SPDX-License-Identifier: Apache-2.0
// The uptime log's writer: append, rewrite in place, cut and pad.
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helpers.h"
#include "service_reset.h"
#include "tests/fake/fake.h"
#include "uptime/log.h"

namespace {

class LogTest : public ServiceTest {
protected:
    TempDir Dir;
    std::string Log;
    void SetUp() override
    {
        ServiceTest::SetUp();
        Log = Dir.Path("2011_3.log");
        snprintf(LogPath, sizeof LogPath, "%s", Log.c_str());
    }
};

TEST_F(LogTest, FirstAppendCreatesTheFileAndReturnsItsStoredLength)
{
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 14, 485), 11);
    EXPECT_EQ(ReadWholeFile(Log), "14 485 UP\r\n");
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 9, 0), 19);
    EXPECT_EQ(ReadWholeFile(Log), "14 485 UP\r\n9 0 UP\r\n");
}

// An append after a last line left without its end first ends that line,
// which stays as it was; the offset returned is the end of the new record.
TEST_F(LogTest, AppendStartsALineOfItsOwn)
{
    const struct {
        const char* Name;
        std::string Before;
        std::string After;
    } cases[] = {
        {"empty", "", "10 126 UP\r\n"},
        {"whole", "9 1020 DOWN    \r\n", "9 1020 DOWN    \r\n10 126 UP\r\n"},
        {"line feed alone", "9 1020 DOWN    \n", "9 1020 DOWN    \n10 126 UP\r\n"},
        {"unfinished", "9 1020 DOWN    ", "9 1020 DOWN    \r\n10 126 UP\r\n"},
        {"cut after CR", "9 10\r", "9 10\r\n10 126 UP\r\n"},
        {"CR alone", "\r", "\r\n10 126 UP\r\n"},
        {"zero bytes", std::string("8 600 UP\r\n\0\0", 12), std::string("8 600 UP\r\n\0\0\r\n10 126 UP\r\n", 25)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteWholeFile(Log, c.Before);
        EXPECT_EQ(WriteLogRecord(0, UpFormat, 10, 126), static_cast<int32_t>(c.After.size()));
        EXPECT_EQ(ReadWholeFile(Log), c.After);
    }
}

std::string CrLfs(int count)
{
    std::string stored;
    for (int i = 0; i < count; i++)
        stored += "\r\n";
    return stored;
}

TEST_F(LogTest, EveryKindAsStored)
{
    struct {
        int32_t Returned;
        std::string Stored;
    } const kinds[] = {
        {WriteLogRecord(0, UpFormat, 1, 0), "1 0 UP\r\n"},
        {WriteLogRecord(0, CrashFormat, 31, 1439), "31 1439 CRASH\r\n"},
        {WriteLogRecord(0, ApdownFormat, 2, -55, "/x/PowerOFF.txt"), "2 -55 /x/PowerOFF.txt APDOWN\r\n"},
        {WriteLogRecord(0, DownFormat, 8, 1020), "8 1020 DOWN    \r\n"},
        {WriteLogRecord(0, PdownFormat, 8, 1350), "8 1350 PDOWN\r\n"},
        // The longest path, all line feeds, each stored as CR LF.
        {WriteLogRecord(0, ApdownFormat, 8, 3660, std::string(MAX_PATH - 1, '\n').c_str()),
         "8 3660 " + CrLfs(MAX_PATH - 1) + " APDOWN\r\n"},
    };
    std::string whole;
    for (const auto& kind : kinds) {
        whole += kind.Stored;
        EXPECT_EQ(kind.Returned, static_cast<int32_t>(whole.size()));
    }
    EXPECT_EQ(ReadWholeFile(Log), whole);
}

// A heartbeat that keeps the log's length sets no length, yet what someone
// else appended behind the closing line since is cut all the same.
TEST_F(LogTest, RewriteOfTheSameLengthCutsWhatWasAppendedSince)
{
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    WriteLogRecord(RecordOffset, CrashFormat, 8, 600);
    WriteWholeFile(Log, ReadWholeFile(Log) + "stray\r\n");
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 601), 23);
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n8 601 CRASH\r\n");
}

TEST_F(LogTest, WriteAtTheOffsetCutsWhatFollows)
{
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    WriteLogRecord(RecordOffset, CrashFormat, 8, 600);
    WriteLogRecord(0, ApdownFormat, 8, 3660, "/svc/PowerOFF.txt");
    EXPECT_EQ(WriteLogRecord(RecordOffset, DownFormat, 8, 601), 26);
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n8 601 DOWN    \r\n");
    // The shorter CRASH line over the DOWN line leaves nothing behind.
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 602), 23);
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n8 602 CRASH\r\n");
}

TEST_F(LogTest, ShortenedFileIsPaddedWithZeroBytes)
{
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    WriteLogRecord(RecordOffset, CrashFormat, 8, 600);
    ASSERT_EQ(truncate(Log.c_str(), 3), 0);
    WriteLogRecord(RecordOffset, DownFormat, 8, 700);
    EXPECT_EQ(ReadWholeFile(Log), std::string("8 6\0\0\0\0\0\0\0", 10) + "8 700 DOWN    \r\n");
}

TEST_F(LogTest, RemovedFileIsNotRecreatedByWritesAtTheOffset)
{
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    ASSERT_EQ(unlink(Log.c_str()), 0);
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 601), -1);
    WriteDownRecord();
    EXPECT_FALSE(FileExists(Log));
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 8, 602), 10);
}

TEST_F(LogTest, NegativeOffsetWritesNothingAndZeroAppends)
{
    WriteLogRecord(0, UpFormat, 8, 600);
    EXPECT_EQ(WriteLogRecord(-1, CrashFormat, 8, 601), -1);
    EXPECT_EQ(WriteLogRecord(INT32_MIN, DownFormat, 8, 601), -1);
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n");
    RecordOffset = 0;
    WriteDownRecord();
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n1 0 DOWN    \r\n");
}

// An append that fails adds nothing, so that trying again leaves no piece of
// a line in the log; the first failure is reported with its error, and the
// write that works after it.
TEST_F(LogTest, FailedAppendAddsNothing)
{
    const std::string before = "8 600 UP\r\n8 601 DOWN    \r\n";
    WriteWholeFile(Log, before);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limit = {before.size() + 4, saved.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    int32_t cutShort = WriteLogRecord(0, UpFormat, 9, 480);
    int32_t again = WriteLogRecord(0, UpFormat, 9, 480);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(cutShort, -1);
    EXPECT_EQ(again, -1);
    EXPECT_EQ(ReadWholeFile(Log), before);

    // Nor is a line written whose offset would be past the 32-bit range.
    ASSERT_EQ(truncate(Log.c_str(), INT32_MAX - 4), 0);
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 9, 480), -1);
    struct stat status;
    ASSERT_EQ(stat(Log.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, INT32_MAX - 4);

    ASSERT_EQ(truncate(Log.c_str(), static_cast<off_t>(before.size())), 0);
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 9, 480), static_cast<int32_t>(before.size() + 10));
    EXPECT_EQ(FakeEvents(),
              (std::vector<std::string>{"3 cannot write " + Log + ": Message " + std::to_string(EFBIG) + ".",
                                        "4 can write " + Log + " again"}));
}

// A rewrite that fails keeps the run's closing line as it was: one cut short
// by the file's size limit puts the old bytes back, one that would end past
// the 32-bit range writes nothing. Each failure is said once, and so is the
// write that works after it; an APDOWN line with no room left is not said.
TEST_F(LogTest, FailedRewriteKeepsTheOldLine)
{
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    WriteLogRecord(RecordOffset, CrashFormat, 8, 999);
    const std::string before = "8 600 UP\r\n8 999 CRASH\r\n";
    struct rlimit limit = {before.size(), saved.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    int32_t cutShort = WriteLogRecord(RecordOffset, CrashFormat, 8, 1000);
    int32_t again = WriteLogRecord(RecordOffset, DownFormat, 8, 1000);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(cutShort, -1);
    EXPECT_EQ(again, -1);
    EXPECT_EQ(ReadWholeFile(Log), before);
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 1001), 24);
    EXPECT_EQ(ReadWholeFile(Log), "8 600 UP\r\n8 1001 CRASH\r\n");

    // The CRASH line ends right at the 32-bit limit, the longer DOWN line
    // would pass it, and so would the APDOWN line after the CRASH line.
    ASSERT_EQ(truncate(Log.c_str(), INT32_MAX - 26), 0);
    RecordOffset = WriteLogRecord(0, UpFormat, 8, 600);
    ASSERT_EQ(RecordOffset, INT32_MAX - 14);
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 999), INT32_MAX - 1);
    WriteApdownRecord(8, 3660, "/x/PowerOFF.txt");
    EXPECT_EQ(WriteLogRecord(RecordOffset, DownFormat, 8, 999), -1);
    struct stat status;
    ASSERT_EQ(stat(Log.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, INT32_MAX - 1);
    EXPECT_EQ(WriteLogRecord(RecordOffset, CrashFormat, 8, 999), INT32_MAX - 1);
    std::string failed = "3 cannot write " + Log + ": Message " + std::to_string(EFBIG) + ".";
    std::string works = "4 can write " + Log + " again";
    EXPECT_EQ(FakeEvents(), (std::vector<std::string>{failed, works, failed, works}));
}

TEST_F(LogTest, NoLogNameWritesNothing)
{
    LogPath[0] = '\0';
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 8, 600), -1);
    EXPECT_EQ(WriteLogRecord(10, CrashFormat, 8, 600), -1);
}

TEST_F(LogTest, ReadOnlyFolderFailsWithoutWriting)
{
    ASSERT_EQ(chmod(Dir.Path().c_str(), 0500), 0);
    WithoutFileOverride asUser;
    EXPECT_EQ(WriteLogRecord(0, UpFormat, 8, 600), -1);
    EXPECT_FALSE(FileExists(Log));
}

TEST_F(LogTest, DownRecordCarriesTheCurrentTime)
{
    FakeSetLocalTime(2011, 5, 31, 23, 59);
    RecordOffset = WriteLogRecord(0, UpFormat, 31, 1439);
    Sleep(60000);
    WriteDownRecord();
    EXPECT_EQ(ReadWholeFile(Log), "31 1439 UP\r\n1 0 DOWN    \r\n");
}

}  // namespace
