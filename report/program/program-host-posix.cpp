// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of a POSIX host.
#include "report/program/program-host.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

#include "report/core/utf8.h"

namespace report {

const bool FileNamesIgnoreCase = false;
const char* const HelpArgument = "";
const bool TextLinesEndWithCrLf = false;

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path ProgramFolder()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return ".";
    return self.parent_path();
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

EntryKind KindOf(const std::filesystem::directory_entry& entry)
{
    // The listing's own type where it gives one: a look only at a link.
    std::error_code error;
    return {true, entry.is_directory(error), entry.is_symlink(error)};
}

EntryKind KindOf(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    bool link = std::filesystem::is_symlink(status);
    return {std::filesystem::exists(status),
            link ? std::filesystem::is_directory(path, error) : std::filesystem::is_directory(status), link};
}

std::string ComparedPath(const std::filesystem::path& path)
{
    std::error_code error;
    return Utf8Of(std::filesystem::absolute(path, error).lexically_normal());
}

std::string ListingProblem(const std::string& reported)
{
    return reported;
}

std::string QuotingHint(const std::string&)
{
    return "";
}

namespace {

// The new files that a signal which ends the program removes first: those
// that have a name before they are whole, on a file system that cannot
// create a file without one. A slot's folder and name are set before Armed.
struct Removed {
    volatile std::sig_atomic_t Armed = 0;
    int Folder = -1;
    char Name[NAME_MAX + 1] = {};
};
Removed RemovedOnSignal[4];

extern "C" void RemoveAndStop(int signal)
{
    int saved = errno;
    for (Removed& removed : RemovedOnSignal)
        if (removed.Armed)
            unlinkat(removed.Folder, removed.Name, 0);
    errno = saved;
    // Handled once: raised again, the signal ends the program as it would have.
    raise(signal);
}

// The signals whose default is to end the program, but for the faults of
// its own code, which are left to their handlers (a sanitizer's).
bool EndsTheProgram(int signal)
{
    switch (signal) {
    case SIGKILL:
    case SIGSTOP:
    case SIGCHLD:
    case SIGCONT:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGURG:
    case SIGWINCH:
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGTRAP:
    case SIGSYS:
    case SIGXFSZ: return false;
    default: break;
    }
    // The real-time signals the C library keeps for itself come before SIGRTMIN.
    return signal < 32 || (signal >= SIGRTMIN && signal <= SIGRTMAX);
}

// Every signal that can be held is, over the few calls that give a new file
// a name and take it again.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &Before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &Before, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t Before;
};

Removed* Arm(int folder, const std::string& name)
{
    for (Removed& removed : RemovedOnSignal)
        if (!removed.Armed && name.size() < sizeof removed.Name) {
            removed.Folder = folder;
            std::memcpy(removed.Name, name.c_str(), name.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            removed.Armed = 1;
            return &removed;
        }
    return nullptr;
}

void Disarm(int folder, const std::string& name)
{
    for (Removed& removed : RemovedOnSignal)
        if (removed.Armed && removed.Folder == folder && name == removed.Name)
            removed.Armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

std::string Reason(int code = errno)
{
    return std::strerror(code);
}

std::string Shown(const std::filesystem::path& path)
{
    return WithoutControls(path.native());
}

// Where an output's name leads: its folder, open, the last part's name in
// it, and what stands at that name now, if anything. The name is walked a
// part at a time, each from the folder before it open, so that what a part
// means is looked up once. Links are followed, at most 40 as the system
// follows them, each only when the caller or root owns it: in a folder
// others may write, anyone else's link may have been planted there to make
// the caller write elsewhere. A link in /proc (/dev/stdout's) names a file
// the process has open; it is left to the system to follow.
struct Place {
    int Folder = -1;
    std::filesystem::path FolderPath;  // as the errors show it
    std::string Name;
    bool Exists = false;
    bool InProc = false;
    struct stat Status = {};

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place()
    {
        if (Folder >= 0)
            close(Folder);
    }
    // The folder, for the caller to close.
    int Take()
    {
        int folder = Folder;
        Folder = -1;
        return folder;
    }
    // Moves into a folder that was opened, or fails.
    bool Enter(int opened, const std::filesystem::path& shown, std::string& error)
    {
        if (opened < 0) {
            error = "cannot open the folder " + WithoutControls(shown.native()) + ": " + std::strerror(errno);
            return false;
        }
        if (Folder >= 0)
            close(Folder);
        Folder = opened;
        FolderPath = shown;
        return true;
    }
};

// Adds a path's parts to those still to walk, which are kept last first.
void Push(std::vector<std::string>& parts, const std::filesystem::path& path)
{
    std::vector<std::string> added;
    for (const std::filesystem::path& part : path.relative_path())
        added.push_back(part.native());
    // "dir/" names the folder itself.
    if (added.empty() || added.back().empty())
        added.push_back(".");
    parts.insert(parts.end(), added.rbegin(), added.rend());
}

bool FindPlace(const std::filesystem::path& name, Place& place, std::string& error)
{
    std::vector<std::string> parts;
    Push(parts, name);
    std::filesystem::path start = name.is_absolute() ? "/" : ".";
    if (!place.Enter(open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), start, error))
        return false;
    for (int links = 0; !parts.empty();) {
        std::string part = parts.back();
        parts.pop_back();
        bool last = parts.empty();
        std::filesystem::path shown = place.FolderPath == "." ? std::filesystem::path(part) : place.FolderPath / part;
        if (!last && (part.empty() || part == "."))
            continue;
        if (last && (part == "." || part == "..")) {
            error = "cannot write: " + Reason(EISDIR);
            return false;
        }
        if (fstatat(place.Folder, part.c_str(), &place.Status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (!last || errno != ENOENT) {
                error = (last ? "cannot write: " : "cannot open the folder " + Shown(shown) + ": ") + Reason();
                return false;
            }
            place.Name = part;
            place.Exists = false;
            return true;
        }
        if (!S_ISLNK(place.Status.st_mode)) {
            if (last) {
                place.Name = part;
                place.Exists = true;
                return true;
            }
            if (!place.Enter(openat(place.Folder, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), shown,
                             error))
                return false;
            continue;
        }
        if (place.Status.st_uid != geteuid() && place.Status.st_uid != 0) {
            error = (last && links == 0 ? std::string() : "'" + Shown(shown) + "' is ") + "a symbolic link of user " +
                    std::to_string(place.Status.st_uid) + ", not followed";
            return false;
        }
        struct statfs system;
        if (fstatfs(place.Folder, &system) == 0 && system.f_type == PROC_SUPER_MAGIC) {
            if (last) {
                place.Name = part;
                place.Exists = place.InProc = true;
                return true;
            }
            if (!place.Enter(openat(place.Folder, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), shown, error))
                return false;
            continue;
        }
        char text[PATH_MAX];
        ssize_t length = readlinkat(place.Folder, part.c_str(), text, sizeof text);
        if (++links > 40 || length < 0 || static_cast<size_t>(length) >= sizeof text) {
            error = "cannot write: " + Reason(links > 40 ? ELOOP : length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        std::filesystem::path target(std::string(text, static_cast<size_t>(length)));
        Push(parts, target);
        if (target.is_absolute() && !place.Enter(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC), "/", error))
            return false;
    }
    error = "cannot write: " + Reason(ENOENT);
    return false;
}

// ".NAME.0123456789abcdef.tmp", a name no collector reads, that fits the
// folder whatever the length of NAME.
std::string TemporaryName(const std::string& name)
{
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", random(), random());
    std::string temporary(1, '.');
    temporary.append(name, 0, NAME_MAX - 1 - std::strlen(suffix));
    return temporary + suffix;
}

// A new file in the folder with no name yet, or, where the file system
// cannot make one, with a temporary name after named's that a signal ending
// the program removes; with the mode given, less the umask unless exact.
int CreateInFolder(int folder, const std::string& named, int access, mode_t mode, bool exact, std::string& temporary)
{
    int fd = openat(folder, ".", O_TMPFILE | access | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        for (int tries = 0; fd < 0 && tries < 8; tries++) {
            temporary = TemporaryName(named);
            SignalsHeld held;
            if (Arm(folder, temporary) == nullptr) {
                errno = EMFILE;
                break;
            }
            fd = openat(folder, temporary.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | access | O_CLOEXEC, mode);
            if (fd < 0)
                Disarm(folder, temporary);
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd >= 0 && exact && fchmod(fd, mode) != 0) {
        int saved = errno;
        close(fd);
        if (!temporary.empty()) {
            SignalsHeld held;
            unlinkat(folder, temporary.c_str(), 0);
            Disarm(folder, temporary);
        }
        errno = saved;
        return -1;
    }
    if (fd < 0)
        temporary.clear();
    return fd;
}

}  // namespace

void PrepareOutputs()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    for (int signal = 1; signal < NSIG; signal++) {
        if (!EndsTheProgram(signal))
            continue;
        struct sigaction action = {};
        // A signal the caller ignores, as nohup does, stays ignored.
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action = {};
        action.sa_handler = RemoveAndStop;
        action.sa_flags = SA_RESETHAND;
        sigfillset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    // Past the file size limit (ulimit -f) a write fails, and says so.
    signal(SIGXFSZ, SIG_IGN);
}

bool OpenOutput(const std::filesystem::path& name, OutputTarget& output, std::string& error)
{
    // What stands at the name may change between the look and the open: the
    // open is asked not to follow a link, and what it opened is checked.
    for (int tries = 0; tries < 8; tries++) {
        Place place;
        if (!FindPlace(name, place, error))
            return false;
        if (place.InProc || (place.Exists && !S_ISREG(place.Status.st_mode))) {
            int fd = openat(place.Folder, place.Name.c_str(),
                            O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (place.InProc ? 0 : O_NOFOLLOW));
            struct stat status;
            if (fd < 0 && errno == ELOOP)
                continue;
            if (fd < 0) {
                error = errno == ENXIO && S_ISFIFO(place.Status.st_mode) ? "cannot write: nothing reads the FIFO"
                                                                         : "cannot write: " + Reason();
                return false;
            }
            if (!place.InProc && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
                close(fd);
                continue;
            }
            // Written as any other output: waiting for a slow reader.
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            output = {};
            output.File = fd;
            output.WriteInto = true;
            return true;
        }
        std::string temporary;
        bool replaces = place.Exists;
        int fd = CreateInFolder(place.Folder, place.Name, O_WRONLY, replaces ? place.Status.st_mode & 0777 : 0644,
                                replaces, temporary);
        if (fd < 0) {
            error = "cannot create a temporary file in " + Shown(place.FolderPath) + ": " + Reason();
            return false;
        }
        output = {};
        output.File = fd;
        output.FolderShown = Shown(place.FolderPath);
        output.Name = place.Name;
        output.Temporary = temporary;
        output.Folder = place.Take();
        return true;
    }
    error = "cannot write: it keeps changing";
    return false;
}

namespace {

// Gives the new file, whole, a temporary name and renames it over the
// output's, with signals held so that no name is left behind in between.
bool PutInPlace(OutputTarget& output, std::string& error)
{
    int folder = static_cast<int>(output.Folder);
    const std::string& name = output.Name.native();
    SignalsHeld held;
    std::string temporary = output.Temporary.native();
    if (temporary.empty()) {
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", static_cast<int>(output.File));
        bool linked = false;
        for (int tries = 0; !linked && tries < 8; tries++) {
            temporary = TemporaryName(name);
            linked = linkat(AT_FDCWD, self, folder, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                     (errno == ENOENT &&
                      linkat(static_cast<int>(output.File), "", folder, temporary.c_str(), AT_EMPTY_PATH) == 0);
            if (!linked && errno != EEXIST)
                break;
        }
        if (!linked) {
            error = "cannot create a temporary file in " + output.FolderShown + ": " + Reason();
            return false;
        }
    }
    bool renamed = renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
    if (!renamed) {
        error = "cannot rename the temporary file over it: " + Reason();
        unlinkat(folder, temporary.c_str(), 0);
    }
    Disarm(folder, temporary);
    output.Temporary.clear();
    return renamed;
}

}  // namespace

bool CommitOutput(OutputTarget& output, std::string& error)
{
    int fd = static_cast<int>(output.File);
    bool done = output.WriteInto || fsync(fd) == 0;
    if (!done)
        error = "cannot write: " + Reason();
    done = done && (output.WriteInto || PutInPlace(output, error));
    if (close(fd) != 0 && done) {
        error = "cannot write: " + Reason();
        done = false;
    }
    output.File = -1;
    AbandonOutput(output);
    return done;
}

void AbandonOutput(OutputTarget& output)
{
    if (output.File >= 0)
        close(static_cast<int>(output.File));
    if (!output.Temporary.empty()) {
        SignalsHeld held;
        unlinkat(static_cast<int>(output.Folder), output.Temporary.c_str(), 0);
        Disarm(static_cast<int>(output.Folder), output.Temporary.native());
    }
    if (output.Folder >= 0)
        close(static_cast<int>(output.Folder));
    output = {};
}

std::string OutputPlace(const std::filesystem::path& name)
{
    Place place;
    std::string ignored;
    struct stat status;
    if (!FindPlace(name, place, ignored))
        return "";
    // What exists is its file, a new name its folder's.
    if (place.InProc && fstatat(place.Folder, place.Name.c_str(), &status, 0) == 0)
        return "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    if (place.Exists && !place.InProc)
        return "file " + std::to_string(place.Status.st_dev) + ":" + std::to_string(place.Status.st_ino);
    if (fstat(place.Folder, &status) != 0)
        return "";
    return "name " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + "/" + place.Name;
}

bool OpenScratchFile(const OutputTarget& beside, std::intptr_t& file, std::string& error)
{
    int folder = static_cast<int>(beside.Folder);
    std::string shown = beside.FolderShown;
    bool own = folder < 0;
    if (own) {
        const char* temporary = std::getenv("TMPDIR");
        shown = temporary != nullptr && *temporary == '/' ? temporary : "/tmp";
        folder = open(shown.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    std::string name;
    int fd = folder < 0 ? -1 : CreateInFolder(folder, "verdimoor", O_RDWR, 0600, false, name);
    int saved = errno;
    if (fd >= 0 && !name.empty()) {
        SignalsHeld held;
        unlinkat(folder, name.c_str(), 0);
        Disarm(folder, name);
    }
    if (own && folder >= 0)
        close(folder);
    if (fd < 0) {
        error = "cannot create a temporary file in " + WithoutControls(shown) + ": " + Reason(saved);
        return false;
    }
    file = fd;
    return true;
}

bool ReadFromFile(std::intptr_t file, char* bytes, size_t size, size_t& read, std::string& error)
{
    ssize_t got;
    while ((got = ::read(static_cast<int>(file), bytes, size)) < 0 && errno == EINTR)
        ;
    if (got < 0) {
        error = Reason();
        return false;
    }
    read = static_cast<size_t>(got);
    return true;
}

bool RewindFile(std::intptr_t file, std::string& error)
{
    if (lseek(static_cast<int>(file), 0, SEEK_SET) != 0) {
        error = Reason();
        return false;
    }
    return true;
}

void CloseFile(std::intptr_t file)
{
    close(static_cast<int>(file));
}

namespace {

bool WriteAll(int fd, std::string_view bytes, std::string& error)
{
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

}  // namespace

bool WriteToFile(std::intptr_t file, std::string_view bytes, std::string& error)
{
    return WriteAll(static_cast<int>(file), bytes, error);
}

bool WriteToStandardOutput(std::string_view bytes, std::string& error)
{
    std::fflush(stdout);
    return WriteAll(STDOUT_FILENO, bytes, error);
}

void WriteToStandardError(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace report
