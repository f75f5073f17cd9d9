// SPDX-License-Identifier: Apache-2.0
// The Linux daemon end to end: the real binary, started in a folder of its
// own and stopped by its process id, pass or fail. No test gives it a
// schedule that can fall due.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/capability.h>
#include <sched.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "helpers.h"
#ifdef VERDIMOOR_REPORT_TESTS
#include "report/core/calendar.h"
#include "report/read/machine-folder.h"
#endif

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The local day of the month and minute of the day, that many seconds on.
std::pair<int, int> Now(time_t later = 0)
{
    time_t now = time(nullptr) + later;
    struct tm local;
    localtime_r(&now, &local);
    return {local.tm_mday, local.tm_hour * 60 + local.tm_min};
}

std::string Line(std::pair<int, int> at, const std::string& rest)
{
    return std::to_string(at.first) + " " + std::to_string(at.second) + " " + rest + "\r\n";
}

// Becomes the daemon copied to binary, without the capability to shut the
// machine down: no schedule a test gives can fall due, and none could act.
// A process that no longer runs as root has no capability to drop.
[[noreturn]] void ExecDaemon(const std::string& binary, const std::vector<std::string>& options = {})
{
    if (prctl(PR_CAPBSET_DROP, CAP_SYS_BOOT, 0, 0, 0) != 0 && geteuid() == 0)
        _exit(97);
    std::vector<char*> arguments = {const_cast<char*>("verdimoor")};
    for (const std::string& option : options)
        arguments.push_back(const_cast<char*>(option.c_str()));
    arguments.push_back(nullptr);
    execv(binary.c_str(), arguments.data());
    _exit(98);
}

void PlaceBinary(const TempDir& dir)
{
    WriteWholeFile(dir.Path("verdimoor"), ReadWholeFile(VERDIMOOR_BINARY));
    chmod(dir.Path("verdimoor").c_str(), 0755);
}

std::vector<std::string> FolderEntries(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A notify socket such as systemd gives a Type=notify service.
class NotifySocket {
public:
    NotifySocket()
    {
        chmod(Dir.Path().c_str(), 0755);
        Fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", Path().c_str());
        bind(Fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address);
        chmod(Path().c_str(), 0777);
        struct timeval patience = {5, 0};
        setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    ~NotifySocket() { close(Fd); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    std::string Path() const { return Dir.Path("notify"); }
    // The next message, or "" after five seconds without one.
    std::string Receive()
    {
        char message[256];
        ssize_t length = recv(Fd, message, sizeof message, 0);
        return length < 0 ? "" : std::string(message, static_cast<size_t>(length));
    }

private:
    TempDir Dir;
    int Fd;
};

// In the process about to become the daemon: the shim, which paces its
// heartbeats through the socket heartbeats, and starts its clock at clock
// unless that is 0.
void PaceHeartbeats([[maybe_unused]] int heartbeats, [[maybe_unused]] time_t clock)
{
#ifdef VERDIMOOR_CRASH_SHIM
    setenv("LD_PRELOAD", VERDIMOOR_CRASH_SHIM, 1);
    setenv("VERDIMOOR_HEARTBEATS", std::to_string(dup(heartbeats)).c_str(), 1);
    if (clock != 0)
        setenv("VERDIMOOR_CLOCK", std::to_string(clock).c_str(), 1);
#endif
}

// This month's log in dir.
std::string MonthLog(const TempDir& dir)
{
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return dir.Path(std::to_string(local.tm_year + 1900) + "_" + std::to_string(local.tm_mon + 1) + ".log");
}

// A lock on path, taken by another user (nobody) and held until the test
// ends, when its process is ended by its id: on the folder itself, or on a
// file of its own that it creates at path.
class LockedByNobody {
public:
    LockedByNobody(const std::string& path, bool create)
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            return;
        Pid = fork();
        if (Pid == 0) {
            char held = 'n';
            int fd = -1;
            if (setgid(65534) == 0 && setuid(65534) == 0)
                fd = create ? open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666) : open(path.c_str(), O_RDONLY);
            if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
                held = 'y';
            if (write(ready[1], &held, 1) != 1)
                _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char held = 'n';
        Held = Pid > 0 && read(ready[0], &held, 1) == 1 && held == 'y';
        close(ready[0]);
    }
    ~LockedByNobody()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
    LockedByNobody(const LockedByNobody&) = delete;
    LockedByNobody& operator=(const LockedByNobody&) = delete;

    pid_t Pid = -1;
    bool Held = false;
};

// How a run of the daemon is started.
struct DaemonSetup {
    bool AsNobody = false;
    std::string NotifySocket;
    // A socket through which the preloaded shim paces its heartbeats.
    int Heartbeats = -1;
    // Where the paced daemon's clock starts, in seconds since the epoch; 0
    // for now.
    time_t Clock = 0;
    std::vector<std::string> Options;
    // A folder that stands for /etc in a mount namespace of the daemon's own,
    // which ends with it.
    std::string Etc;
    // JOURNAL_STREAM, as systemd sets it; "standard error" for the device
    // and inode of the daemon's.
    std::string JournalStream;
};

// One run of the daemon, copied into dir unless it is there; ended by its
// process id when the test is over, whatever happened. What it prints goes to
// a file of its own.
class Daemon {
public:
    explicit Daemon(const TempDir& dir, const DaemonSetup& setup = {}) : Dir(dir)
    {
        if (!FileExists(dir.Path("verdimoor")))
            PlaceBinary(dir);
        std::string binary = dir.Path("verdimoor");
        std::string output = Output.Path("output");
        Started = Now();
        Pid = fork();
        if (Pid == 0) {
            int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            dup2(fd, 1);
            dup2(fd, 2);
            struct stat printed;
            if (setup.JournalStream == "standard error" && fstat(fd, &printed) == 0)
                setenv("JOURNAL_STREAM",
                       (std::to_string(printed.st_dev) + ":" + std::to_string(printed.st_ino)).c_str(), 1);
            else if (!setup.JournalStream.empty())
                setenv("JOURNAL_STREAM", setup.JournalStream.c_str(), 1);
            else
                unsetenv("JOURNAL_STREAM");
            if (!setup.NotifySocket.empty())
                setenv("NOTIFY_SOCKET", setup.NotifySocket.c_str(), 1);
            if (setup.Heartbeats >= 0)
                PaceHeartbeats(setup.Heartbeats, setup.Clock);
            if (!setup.Etc.empty() &&
                (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 mount(setup.Etc.c_str(), "/etc", nullptr, MS_BIND, nullptr) != 0))
                _exit(96);
            if (setup.AsNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(99);
            ExecDaemon(binary, setup.Options);
        }
    }
    ~Daemon()
    {
        if (Pid > 0 && !Ended) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Sends signal and waits for the process to end; its exit code, or -1.
    int Stop(int signal = SIGTERM)
    {
        StopAt = Now();
        kill(Pid, signal);
        return Wait();
    }
    // Waits ten seconds at most for the process to end; its exit code, or -1.
    int Wait()
    {
        int status = 0;
        for (int i = 0; i < 1000; i++) {
            if (waitpid(Pid, &status, WNOHANG) == Pid) {
                Ended = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    std::string Printed() const { return ReadWholeFile(Output.Path("output")); }
    std::string Log() const { return ReadWholeFile(LogName()); }
    std::string LogName() const { return MonthLog(Dir); }
    // Waits until the log ends with text.
    bool LogEndsWith(const std::string& text, std::chrono::milliseconds patience = 5s) const
    {
        for (auto end = std::chrono::steady_clock::now() + patience; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(10ms)) {
            std::string log = Log();
            if (log.size() >= text.size() && log.compare(log.size() - text.size(), text.size(), text) == 0)
                return true;
        }
        return false;
    }
    // The start lines, for a daemon that found no schedule.
    std::string StartLines() const
    {
        return Line(Started, "UP") + Line(Started, "CRASH") +
               Line({Started.first, 3660}, Dir.Path("PowerOFF.txt") + " APDOWN");
    }
    // What it says at start of no schedule.
    std::string NoSchedule() const
    {
        return "verdimoor: no scheduled power-off (no " + Dir.Path("PowerOFF.txt") + ")\n";
    }

    pid_t Pid;
    std::pair<int, int> Started;
    std::pair<int, int> StopAt;

private:
    const TempDir& Dir;
    TempDir Output;
    bool Ended = false;
};

// The tests compare whole logs on the assumption that no minute turns between
// start and stop; when one did, the test runs again.
bool MinuteTurned(const Daemon& daemon)
{
    return daemon.Started != Now() || daemon.StopAt != daemon.Started;
}

TEST(Daemon, EachStopSignalClosesTheRunWithDown)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        for (int attempt = 0; attempt < 3; attempt++) {
            TempDir dir;
            Daemon daemon(dir);
            ASSERT_TRUE(daemon.LogEndsWith(" APDOWN\r\n"));
            std::string started = daemon.Log();
            EXPECT_EQ(daemon.Stop(signal), 1);
            if (MinuteTurned(daemon))
                continue;
            EXPECT_EQ(started, daemon.StartLines());
            EXPECT_EQ(daemon.Log(), Line(daemon.Started, "UP") + Line(daemon.Started, "DOWN    "));
            EXPECT_EQ(daemon.Printed(), daemon.NoSchedule());
            EXPECT_FALSE(FileExists(dir.Path("Err.log")));
            break;
        }
    }
}

TEST(Daemon, SecondRunAppendsAndAShortenedLogIsPadded)
{
    TempDir dir;
    std::string first;
    {
        Daemon daemon(dir);
        ASSERT_TRUE(daemon.LogEndsWith(" APDOWN\r\n"));
        EXPECT_EQ(daemon.Stop(), 1);
        first = daemon.Log();
    }
    // A schedule that is never due.
    WriteWholeFile(dir.Path("PowerOFF.txt"), "24 0");
    Daemon daemon(dir);
    ASSERT_TRUE(daemon.LogEndsWith(dir.Path("PowerOFF.txt") + " APDOWN\r\n"));
    std::string up = Line(daemon.Started, "UP");
    EXPECT_EQ(daemon.Log(), first + up + Line(daemon.Started, "CRASH") +
                                Line({daemon.Started.first, 1440}, dir.Path("PowerOFF.txt") + " APDOWN"));
    EXPECT_EQ(daemon.Printed(), "verdimoor: no scheduled power-off: " + dir.Path("PowerOFF.txt") + " reads as 24:00\n");

    ASSERT_EQ(truncate(daemon.LogName().c_str(), 3), 0);
    EXPECT_EQ(daemon.Stop(), 1);
    std::string log = daemon.Log();
    size_t offset = first.size() + up.size();
    ASSERT_GT(log.size(), offset);
    EXPECT_EQ(log.substr(0, offset), first.substr(0, 3) + std::string(offset - 3, '\0'));
    EXPECT_EQ(log.substr(offset), Line(daemon.StopAt, "DOWN    "));
}

// One daemon a folder, whole lines, and the options: the options write
// nothing; another user who holds the folder locked, or a lock file of their
// own in a folder anyone can write, keeps no daemon from starting, and the
// lock file is the daemon's, 0600; the new run's UP line starts a line of its
// own after an unfinished one; a second daemon in the folder writes nothing
// and leaves the first's run whole; and the first says the schedule it read.
TEST(Daemon, OneAFolderWholeLinesAndTheOptions)
{
    for (int attempt = 0; attempt < 3; attempt++) {
        TempDir dir;
        PlaceBinary(dir);
        // Never due, however it is read.
        WriteWholeFile(dir.Path("PowerOFF.txt"), "24:00\r\n");
        // A run whose closing line a full disk cut short.
        const std::string cut = "9 540 UP\r\n9 1020 DO";
        WriteWholeFile(MonthLog(dir), cut);
        const std::vector<std::string> files = FolderEntries(dir);
        const struct {
            std::vector<std::string> Options;
            int Code;
            std::string Printed;
        } options[] = {
            {{"--help"}, 0, "Usage: verdimoor [--help | --version]\n\nKeeps a monthly log"},
            {{"--version"}, 0, "verdimoor " + std::string(VERDIMOOR_VERSION) + "\n"},
            {{"--now"}, 2, "usage: verdimoor [--help | --version]\n"},
            {{"--help", "--version"}, 2, "usage: verdimoor [--help | --version]\n"},
        };
        for (const auto& o : options) {
            SCOPED_TRACE(o.Options[0]);
            Daemon asked(dir, {.Options = o.Options});
            EXPECT_EQ(asked.Wait(), o.Code);
            EXPECT_EQ(asked.Printed().substr(0, o.Printed.size()), o.Printed);
            EXPECT_EQ(FolderEntries(dir), files);
            EXPECT_EQ(ReadWholeFile(MonthLog(dir)), cut);
        }

        ASSERT_EQ(chmod(dir.Path().c_str(), 01777), 0);
        LockedByNobody folder(dir.Path(), false);
        LockedByNobody planted(dir.Path("verdimoor.lock"), true);
        ASSERT_TRUE(folder.Held);
        ASSERT_TRUE(planted.Held);
        std::vector<std::string> locked = files;
        locked.insert(std::upper_bound(locked.begin(), locked.end(), "verdimoor.lock"), "verdimoor.lock");
        ASSERT_EQ(FolderEntries(dir), locked);
        Daemon first(dir);
        ASSERT_TRUE(first.LogEndsWith(" APDOWN\r\n"));
        std::string started = first.Log();
        struct stat lock;
        ASSERT_EQ(lstat(dir.Path("verdimoor.lock").c_str(), &lock), 0);
        EXPECT_TRUE(S_ISREG(lock.st_mode));
        EXPECT_EQ(lock.st_mode & 07777, 0600u);
        EXPECT_EQ(lock.st_uid, geteuid());
        Daemon second(dir);
        EXPECT_EQ(second.Wait(), 1);
        EXPECT_EQ(second.Printed(),
                  "verdimoor: another verdimoor is running in " + dir.Path().substr(0, dir.Path().size() - 1) + "\n");
        EXPECT_EQ(first.Log(), started);
        EXPECT_EQ(FolderEntries(dir), locked);
        EXPECT_EQ(first.Stop(), 1);
        EXPECT_EQ(first.Printed(),
                  "verdimoor: no scheduled power-off: " + dir.Path("PowerOFF.txt") + " reads as 24:00\n");
        if (MinuteTurned(first))
            continue;
        EXPECT_EQ(started, cut + "\r\n" + Line(first.Started, "UP") + Line(first.Started, "CRASH") +
                               Line({first.Started.first, 1440}, dir.Path("PowerOFF.txt") + " APDOWN"));
        EXPECT_EQ(first.Log(), cut + "\r\n" + Line(first.Started, "UP") + Line(first.Started, "DOWN    "));
#ifdef VERDIMOOR_REPORT_TESTS
        // The report keeps the two runs apart and warns of the cut line once.
        report::ReadOptions read;
        read.KeepRuns = true;
        read.KeepWarnings = true;
        read.Now = report::LocalZone::LocalOf(std::time(nullptr));
        report::MachineReport machine = report::ReadMachine(dir.Path(), report::ListLogs(dir.Path()), read);
        ASSERT_EQ(machine.Runs.size(), 2u);
        EXPECT_EQ(machine.Runs[0].Ended, report::RunEnd::Unknown);
        EXPECT_EQ(machine.Runs[1].Ended, report::RunEnd::Down);
        ASSERT_EQ(machine.Warnings.size(), 1u);
        EXPECT_EQ(machine.Warnings[0].Problem, "damaged line");
        EXPECT_EQ(machine.Warnings[0].Line, 2u);
#endif
        break;
    }
}

// A read-only folder: the daemon runs and writes nothing, and says so. Where
// JOURNAL_STREAM names its standard error, as systemd's journal does, each
// line starts with its priority: errors, the schedule's warning, and the
// start-up line; anywhere else the lines are as they are. A character of
// the schedule's word beyond ASCII is one '?'.
TEST(Daemon, ReadOnlyFolderRunsAndStopsWithoutWriting)
{
    const struct {
        const char* Name;
        std::string JournalStream;
        std::string Error, Warning, Information;
    } streams[] = {
        {"a terminal", "", "", "", ""},
        {"the journal", "standard error", "<3>", "<4>", "<6>"},
        {"the journal's name passed on", "1:1", "", "", ""},
    };
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream.Name);
        TempDir dir;
        ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
        PlaceBinary(dir);
        WriteWholeFile(dir.Path("PowerOFF.txt"), "24:00 x\uFF12\uFF12");
        ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
        NotifySocket notify;
        Daemon daemon(dir, {.AsNobody = true, .NotifySocket = notify.Path(), .JournalStream = stream.JournalStream});
        std::string failure = "cannot write " + daemon.LogName() + ": Permission denied";
        EXPECT_EQ(notify.Receive(), "STATUS=" + failure);
        EXPECT_EQ(notify.Receive(), "READY=1");
        EXPECT_EQ(daemon.Stop(), 1);
        EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"PowerOFF.txt", "verdimoor"}));
        std::string schedule = dir.Path("PowerOFF.txt");
        EXPECT_EQ(daemon.Printed(), stream.Error + "verdimoor: cannot lock " + dir.Path("verdimoor.lock") +
                                        ": Permission denied\n" + stream.Error + "verdimoor: " + failure + "\n" +
                                        stream.Information + "verdimoor: no scheduled power-off: " + schedule +
                                        " reads as 24:00\n" + stream.Warning + "verdimoor: " + schedule +
                                        " has \"x??\" after the time, read as 24:00\n");
    }
}

TEST(Daemon, TellsSystemdWhenReadyAndWhenStopping)
{
    TempDir dir;
    NotifySocket notify;
    Daemon daemon(dir, {.NotifySocket = notify.Path()});
    EXPECT_EQ(notify.Receive(), "READY=1");
    // Ready only once the start lines are written.
    EXPECT_EQ(daemon.Log().find(" APDOWN\r\n"), daemon.Log().size() - 9);
    EXPECT_EQ(daemon.Stop(), 1);
    EXPECT_EQ(notify.Receive(), "STOPPING=1");
}

TEST(DaemonSlow, FirstHeartbeatDropsTheAnnouncement)
{
    TempDir dir;
    Daemon daemon(dir);
    ASSERT_TRUE(daemon.LogEndsWith(" APDOWN\r\n"));
    ASSERT_TRUE(daemon.LogEndsWith(" CRASH\r\n", 40s));
    std::pair<int, int> beat = Now();
    std::string log = daemon.Log();
    std::string up = Line(daemon.Started, "UP");
    EXPECT_TRUE(log == up + Line(beat, "CRASH") || log == up + Line({beat.first, beat.second - 1}, "CRASH")) << log;
    EXPECT_EQ(daemon.Stop(), 1);
    EXPECT_EQ(daemon.Log(), up + Line(daemon.StopAt, "DOWN    "));
}

// Kills the daemon on entering each call of the file operations that its
// start-up, two heartbeats and its DOWN record make, one run per call, and
// checks that the log it leaves holds the run's UP line with a closing line
// from the moment the first closing line is written.
#ifdef VERDIMOOR_CRASH_SHIM
struct CrashRun {
    std::string Log;
    std::pair<int, int> Before;
    std::pair<int, int> After;
};

// One run in a fresh folder with the shim preloaded, killed at call killAt
// (none for 0); ended by its process id if it is still running after five
// seconds.
CrashRun RunKilledAt(long killAt, const std::string& calls = "")
{
    TempDir dir;
    PlaceBinary(dir);
    CrashRun run;
    run.Before = Now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("LD_PRELOAD", VERDIMOOR_CRASH_SHIM, 1);
        setenv("VERDIMOOR_KILL_AT", std::to_string(killAt).c_str(), 1);
        if (!calls.empty())
            setenv("VERDIMOOR_CALLS", calls.c_str(), 1);
        ExecDaemon(dir.Path("verdimoor"));
    }
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; i++)
        std::this_thread::sleep_for(10ms);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "the daemon did not end by itself";
    }
    if (killAt > 0)
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    else
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    run.After = Now();
    // The month's log, whichever month the run started in.
    run.Log = "<missing>";
    for (const std::string& name : FolderEntries(dir))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
            run.Log = ReadWholeFile(dir.Path(name));
    return run;
}

// The last word of each line: the kinds of the records, or "<missing>".
// Checks the times on the way: the UP line's within the run, and each
// closing line's not before it.
std::vector<std::string> RecordKinds(const CrashRun& run)
{
    if (run.Log == "<missing>")
        return {run.Log};
    std::vector<std::string> kinds;
    std::pair<int, int> up;
    size_t start = 0;
    for (size_t end; (end = run.Log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = run.Log.substr(start, end - start);
        std::pair<int, int> at;
        char kind[16] = "";
        if (sscanf(line.c_str(), "%d %d %*s %15s", &at.first, &at.second, kind) != 3)
            sscanf(line.c_str(), "%d %d %15s", &at.first, &at.second, kind);
        kinds.push_back(kind);
        if (kinds.back() == "UP") {
            up = at;
            EXPECT_TRUE(run.Before <= at && at <= run.After) << line;
        } else if (kinds.back() != "APDOWN") {
            EXPECT_TRUE(up <= at && at <= run.After) << line;
        }
    }
    EXPECT_EQ(start, run.Log.size()) << "a line without its end";
    return kinds;
}

TEST(Daemon, KilledAtAnyCallOfARecordWriteKeepsAClosingLine)
{
    using Kinds = std::vector<std::string>;
    // Five calls a heartbeat, none of which reads the log; only an append to
    // a log that is not empty reads its last byte. A record that leaves the
    // log as long as the last one did only asks its length, for setting it
    // would cost the disk a journal commit; one that makes it longer first
    // sets its room aside.
    const Kinds cut = {"open", "pwrite", "ftruncate", "fdatasync", "close"};
    const Kinds same = {"open", "pwrite", "fstat", "fdatasync", "close"};
    const Kinds longer = {"open", "fallocate", "pwrite", "ftruncate", "fdatasync", "close"};
    Kinds calls = {
        "open",  "fstat",                                                      // the lock file, in the folder, checked
        "close",                                                               // the folder
        "open",  "open",      "open",      "fsync",     "close",               // the log is created, its folder flushed
        "lseek", "pwrite",    "fdatasync", "close",                            // the UP line
        "open",  "fallocate", "pwrite",    "ftruncate", "fdatasync", "close",  // the CRASH line at the saved offset
        "open",                                                                // no PowerOFF.txt
        "open",  "lseek",     "pread",     "pwrite",    "fdatasync", "close",  // the APDOWN line, after a whole line
    };
    // Unless TZ names the zone, the first reading of the clock opens the
    // mount table, which the heartbeat's sleep waits on.
    const long zone = getenv("TZ") == nullptr ? 1 : 0;
    if (zone != 0)
        calls.insert(calls.begin() + 3, "open");
    // The first heartbeat drops the APDOWN line, the second keeps the length,
    // and the DOWN line is longer than the CRASH line.
    for (const Kinds* record : {&cut, &same, &longer})
        calls.insert(calls.end(), record->begin(), record->end());

    TempDir traced;
    CrashRun whole = RunKilledAt(0, traced.Path("calls"));
    std::string expectedCalls;
    for (const std::string& call : calls)
        expectedCalls += call + "\n";
    ASSERT_EQ(ReadWholeFile(traced.Path("calls")), expectedCalls);
    EXPECT_EQ(RecordKinds(whole), (Kinds{"UP", "DOWN"}));

    // What a kill on entering each call leaves, up to the call numbered Last.
    const struct {
        long Last;
        Kinds Left;
    } outcomes[] = {
        {zone + 5, {"<missing>"}},
        {zone + 10, {}},
        {zone + 15, {"UP"}},
        {zone + 23, {"UP", "CRASH"}},
        {zone + 28, {"UP", "CRASH", "APDOWN"}},  // the first heartbeat's line is in, the cut not yet
        {zone + 38, {"UP", "CRASH"}},
        {zone + 41, {"UP", "DOWN"}},
    };
    long call = 1;
    for (const auto& outcome : outcomes) {
        for (; call <= outcome.Last; call++) {
            SCOPED_TRACE("killed entering call " + std::to_string(call) + ", " + calls[call - 1]);
            EXPECT_EQ(RecordKinds(RunKilledAt(call)), outcome.Left);
        }
    }
    EXPECT_EQ(call, static_cast<long>(calls.size()) + 1);
}

// The daemon's heartbeats one at a time, through the shim: the daemon stops
// at each sleep until the test lets it go, and its clock then moves on by the
// 30 seconds it did not sleep.
class Heartbeats {
public:
    Heartbeats()
    {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Ends);
        struct timeval patience = {5, 0};
        setsockopt(Ends[0], SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    ~Heartbeats()
    {
        close(Ends[0]);
        close(Ends[1]);
    }
    Heartbeats(const Heartbeats&) = delete;
    Heartbeats& operator=(const Heartbeats&) = delete;
    int DaemonEnd() const { return Ends[1]; }
    // Waits until the daemon sleeps, its start-up or last heartbeat done.
    bool Asleep()
    {
        char beat;
        return recv(Ends[0], &beat, 1, 0) == 1;
    }
    bool Beat()
    {
        char beat = 0;
        return send(Ends[0], &beat, 1, MSG_NOSIGNAL) == 1 && Asleep();
    }

private:
    int Ends[2];
};

// A small tmpfs for one test, unmounted when the test ends, pass or fail. It
// lives in a mount namespace of the test process's own, so that even a test
// that dies leaves no mount behind.
class SmallDisk {
public:
    SmallDisk()
    {
        static const bool OwnNamespace =
            unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        Mounted = OwnNamespace && mount("verdimoor-test", Dir.Path().c_str(), "tmpfs", 0, "size=1m,mode=0755") == 0;
    }
    ~SmallDisk()
    {
        if (Mounted)
            umount2(Dir.Path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Remount(unsigned long flags)
    {
        return mount(nullptr, Dir.Path().c_str(), nullptr, MS_REMOUNT | flags, nullptr) == 0;
    }
    // Takes up all the free space with one file.
    void Fill()
    {
        int fd = open(Dir.Path("filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::string block(65536, 'x');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
    }

    TempDir Dir;
    bool Mounted;
};

// A full disk at start: the log is created but the run's lines cannot be
// written. Once space is freed, a heartbeat writes the UP line with the
// start's minute and the closing line with its own; standard error and the
// unit's status say when writes fail and when they work again.
TEST(Daemon, FullDiskAtStartRecordsTheRunOnceSpaceComesBack)
{
    for (int attempt = 0; attempt < 3; attempt++) {
        SmallDisk disk;
        if (!disk.Mounted)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        PlaceBinary(disk.Dir);
        disk.Fill();
        Heartbeats beats;
        NotifySocket notify;
        Daemon daemon(disk.Dir, {.NotifySocket = notify.Path(), .Heartbeats = beats.DaemonEnd()});
        std::pair<int, int> beat = Now(90);
        ASSERT_TRUE(beats.Asleep());
        std::string failure = "cannot write " + daemon.LogName() + ": No space left on device";
        std::string started = "verdimoor: " + failure + "\n" + daemon.NoSchedule();
        EXPECT_EQ(daemon.Log(), "");
        EXPECT_EQ(daemon.Printed(), started);
        ASSERT_TRUE(beats.Beat());
        ASSERT_TRUE(beats.Beat());
        EXPECT_EQ(daemon.Log(), "");
        EXPECT_EQ(daemon.Printed(), started);

        ASSERT_EQ(unlink(disk.Dir.Path("filler").c_str()), 0);
        ASSERT_TRUE(beats.Beat());
        std::string recorded = daemon.Log();
        EXPECT_EQ(daemon.Stop(), 1);
        EXPECT_EQ(daemon.Printed(), started + "verdimoor: can write " + daemon.LogName() + " again\n");
        for (const std::string& message :
             {"STATUS=" + failure, std::string("READY=1"), std::string("STATUS="), std::string("STOPPING=1")})
            EXPECT_EQ(notify.Receive(), message);
        if (MinuteTurned(daemon) || Now(90) != beat)
            continue;
        EXPECT_EQ(recorded, Line(daemon.Started, "UP") + Line(beat, "CRASH"));
        EXPECT_EQ(daemon.Log(), Line(daemon.Started, "UP") + Line(beat, "DOWN    "));
        break;
    }
}

// A disk read-only for ten heartbeats: one line says so, and the heartbeats
// and the DOWN line go on once it is writable again.
TEST(Daemon, ReadOnlyDiskForTenHeartbeatsIsSaidOnce)
{
    for (int attempt = 0; attempt < 3; attempt++) {
        SmallDisk disk;
        if (!disk.Mounted)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        Heartbeats beats;
        Daemon daemon(disk.Dir, {.Heartbeats = beats.DaemonEnd()});
        std::pair<int, int> beat = Now(330);
        ASSERT_TRUE(beats.Asleep());
        std::string started = daemon.Log();
        ASSERT_TRUE(disk.Remount(MS_RDONLY));
        for (int i = 0; i < 10; i++)
            ASSERT_TRUE(beats.Beat());
        std::string failing = daemon.Printed();
        EXPECT_EQ(failing,
                  daemon.NoSchedule() + "verdimoor: cannot write " + daemon.LogName() + ": Read-only file system\n");
        EXPECT_EQ(daemon.Log(), started);

        ASSERT_TRUE(disk.Remount(0));
        ASSERT_TRUE(beats.Beat());
        std::string beaten = daemon.Log();
        EXPECT_EQ(daemon.Stop(), 1);
        EXPECT_EQ(daemon.Printed(), failing + "verdimoor: can write " + daemon.LogName() + " again\n");
        if (MinuteTurned(daemon) || Now(330) != beat)
            continue;
        EXPECT_EQ(started, daemon.StartLines());
        EXPECT_EQ(beaten, Line(daemon.Started, "UP") + Line(beat, "CRASH"));
        EXPECT_EQ(daemon.Log(), Line(daemon.Started, "UP") + Line(beat, "DOWN    "));
        break;
    }
}

// The log ends on a page boundary of a full disk when the minute moves from
// 999 to 1000, which makes the closing line a byte longer: the old line
// stays whole, which a SIGKILL then finds, and the failure is said once.
TEST(Daemon, FullDiskDuringAGrowingRewriteKeepsTheOldLine)
{
    SmallDisk disk;
    if (!disk.Mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    PlaceBinary(disk.Dir);
    // 16:39:05 today, the heartbeats at 16:39:35, 16:40:05 and 16:40:35.
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    local.tm_hour = 16;
    local.tm_min = 39;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    time_t start = mktime(&local);
    std::string run = Line({local.tm_mday, 999}, "UP") + Line({local.tm_mday, 999}, "CRASH");
    // Earlier runs, the last of which ended within its first 30 seconds.
    std::string before;
    while (before.size() < 3000)
        before += Line({1, 600}, "UP") + Line({1, 1020}, "DOWN    ");
    std::string last = Line({1, 600}, "UP") + Line({1, 600}, "CRASH") + Line({1, 3660}, "/ APDOWN");
    before += last.insert(last.size() - 9, 4096 - before.size() - last.size() - run.size(), 'x');
    WriteWholeFile(MonthLog(disk.Dir), before);
    Heartbeats beats;
    Daemon daemon(disk.Dir, {.Heartbeats = beats.DaemonEnd(), .Clock = start});
    ASSERT_TRUE(beats.Asleep());
    ASSERT_TRUE(beats.Beat());
    ASSERT_EQ(daemon.Log(), before + run);
    ASSERT_EQ(daemon.Log().size(), 4096u);
    disk.Fill();
    ASSERT_TRUE(beats.Beat());
    ASSERT_TRUE(beats.Beat());
    EXPECT_EQ(daemon.Stop(SIGKILL), -1);
    EXPECT_EQ(daemon.Log(), before + run);
    EXPECT_EQ(daemon.Printed(),
              daemon.NoSchedule() + "verdimoor: cannot write " + daemon.LogName() + ": No space left on device\n");
}

// The day of the month and the minute of the day at t in a zone that many
// minutes east of UTC.
std::pair<int, int> ZoneTime(time_t t, int east)
{
    t += east * 60;
    struct tm civil;
    gmtime_r(&t, &civil);
    return {civil.tm_mday, civil.tm_hour * 60 + civil.tm_min};
}

// Binds source over target in the mount namespace of process pid, from a
// child process of its own that enters it; true when it did.
bool BindInNamespaceOf(pid_t pid, const std::string& source, const std::string& target)
{
    pid_t child = fork();
    if (child == 0) {
        int ns = open(("/proc/" + std::to_string(pid) + "/ns/mnt").c_str(), O_RDONLY | O_CLOEXEC);
        _exit(ns >= 0 && setns(ns, CLONE_NEWNS) == 0 &&
                      mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0
                  ? 0
                  : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The zone followed as it changes, without a restart: the start in UTC; then
// /etc/localtime replaced as timedatectl replaces it, by a new link renamed
// over it (Tokyo); then the file it names rewritten in place (Kolkata); then
// a zone's file bound over it, as a container's zone is (Kathmandu). The
// heartbeat after each change, and the DOWN line, carry the new zone's
// minute. A folder of the test's stands for /etc in a mount namespace of the
// daemon's own, which the bind mount enters and which ends with it.
TEST(Daemon, FollowsTheZoneAsItChanges)
{
    for (int attempt = 0; attempt < 3; attempt++) {
        TempDir dir;
        TempDir etc;
        TempDir zones;
        for (const char* zone : {"UTC", "Asia/Tokyo", "Asia/Kolkata", "Asia/Kathmandu"}) {
            std::string copy = zones.Path(std::filesystem::path(zone).filename());
            WriteWholeFile(copy, ReadWholeFile(std::string("/usr/share/zoneinfo/") + zone));
            // A rewrite within the same second must still look new.
            struct timespec past[2] = {{946684800, 0}, {946684800, 0}};
            utimensat(AT_FDCWD, copy.c_str(), past, 0);
        }
        ASSERT_EQ(symlink(zones.Path("UTC").c_str(), etc.Path("localtime").c_str()), 0);
        Heartbeats beats;
        time_t start = time(nullptr);
        Daemon daemon(dir, {.Heartbeats = beats.DaemonEnd(), .Etc = etc.Path()});
        ASSERT_TRUE(beats.Asleep());
        const struct {
            const char* How;
            int East;  // the new zone's minutes east of UTC
            std::function<bool()> Change;
        } changes[] = {
            {"a new link renamed over it", 9 * 60,
             [&] {
                 return symlink(zones.Path("Tokyo").c_str(), etc.Path(".localtime.new").c_str()) == 0 &&
                        rename(etc.Path(".localtime.new").c_str(), etc.Path("localtime").c_str()) == 0;
             }},
            {"the file it names rewritten in place", 5 * 60 + 30,
             [&] {
                 WriteWholeFile(zones.Path("Tokyo"), ReadWholeFile(zones.Path("Kolkata")));
                 return true;
             }},
            {"a file bound over it", 5 * 60 + 45,
             [&] { return BindInNamespaceOf(daemon.Pid, zones.Path("Kathmandu"), "/etc/localtime"); }},
        };
        struct tm utc;
        gmtime_r(&start, &utc);
        std::string log = dir.Path(std::to_string(utc.tm_year + 1900) + "_" + std::to_string(utc.tm_mon + 1) + ".log");
        std::string started = ReadWholeFile(log);
        std::vector<std::string> beaten;
        for (const auto& change : changes) {
            SCOPED_TRACE(change.How);
            ASSERT_TRUE(change.Change());
            ASSERT_TRUE(beats.Beat());
            beaten.push_back(ReadWholeFile(log));
        }
        EXPECT_EQ(daemon.Stop(), 1);
        time_t end = time(nullptr);
        if (ZoneTime(start, 0) != ZoneTime(end, 0))
            continue;

        std::string up = Line(ZoneTime(start, 0), "UP");
        EXPECT_EQ(started, up + Line(ZoneTime(start, 0), "CRASH") +
                               Line({ZoneTime(start, 0).first, 3660}, dir.Path("PowerOFF.txt") + " APDOWN"));
        time_t beat = start;
        for (size_t i = 0; i < beaten.size(); i++) {
            SCOPED_TRACE(changes[i].How);
            beat += 30;
            EXPECT_EQ(beaten[i], up + Line(ZoneTime(beat, changes[i].East), "CRASH"));
        }
        EXPECT_EQ(ReadWholeFile(log), up + Line(ZoneTime(beat, changes[2].East), "DOWN    "));
        break;
    }
}
#endif

#ifdef VERDIMOOR_REPORT_TESTS
// verdimoor-report reads the daemon's own logs: the run running, then closed
// by DOWN; then a log shortened behind the service's back, whose zero-padded
// cut lost the next run's UP line.
TEST(Daemon, ReportReadsTheDaemonsLogs)
{
    auto read = [](const TempDir& dir) {
        report::ReadOptions options;
        options.KeepRuns = true;
        options.KeepWarnings = true;
        options.Now = report::LocalZone::LocalOf(std::time(nullptr));
        return report::ReadMachine(dir.Path(), report::ListLogs(dir.Path()), options);
    };
    for (int attempt = 0; attempt < 3; attempt++) {
        TempDir dir;
        Daemon daemon(dir);
        ASSERT_TRUE(daemon.LogEndsWith(" APDOWN\r\n"));
        report::MachineReport running = read(dir);
        EXPECT_EQ(daemon.Stop(), 1);
        report::MachineReport stopped = read(dir);
        if (MinuteTurned(daemon))
            continue;
        time_t now = time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        report::LocalMinute start = *report::MonthCalendar(local.tm_year + 1900, local.tm_mon + 1)
                                         .LocalMinuteOf(daemon.Started.first, daemon.Started.second);
        std::string file = std::filesystem::path(daemon.LogName()).filename();
        for (const auto& [machine, ended] :
             {std::pair{&running, report::RunEnd::Running}, std::pair{&stopped, report::RunEnd::Down}}) {
            SCOPED_TRACE(std::string(report::EndName(ended)));
            ASSERT_EQ(machine->Runs.size(), 1u);
            const report::Run& run = machine->Runs[0];
            EXPECT_EQ(run.Start.Local, start);
            EXPECT_EQ(run.End.Local, start);
            EXPECT_EQ(run.Ended, ended);
            EXPECT_EQ(run.File, file);
            EXPECT_EQ(run.Line, 1u);
            EXPECT_TRUE(machine->Warnings.empty());
        }

        Daemon second(dir);
        ASSERT_TRUE(second.LogEndsWith(" APDOWN\r\n"));
        ASSERT_EQ(truncate(second.LogName().c_str(), 3), 0);
        EXPECT_EQ(second.Stop(), 1);
        report::MachineReport cut = read(dir);
        EXPECT_TRUE(cut.Runs.empty());
        ASSERT_EQ(cut.Warnings.size(), 3u);
        EXPECT_EQ(cut.Warnings[0].Problem, "damaged line");
        EXPECT_EQ(cut.Warnings[1].Problem, "zero bytes");
        EXPECT_EQ(cut.Warnings[2].Problem, "DOWN line without a run to close");
        EXPECT_EQ(cut.Warnings[2].Line, 1u);
        break;
    }
}
#endif

}  // namespace
