// SPDX-License-Identifier: Apache-2.0
// The reader of a machine's logs: the folder listed and each log read in
// large blocks.
#include "report/reader.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "report/utf8.h"

#if VERDIMOOR_THREADS
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace report {

namespace {

// The system's message without the trailing blanks and full stop some hosts add.
std::string Message(const std::error_code& error)
{
    std::string text = error.message();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

FolderError::FolderError(std::string folder, const std::string& message)
    : std::runtime_error(message), Folder(std::move(folder))
{
}

std::vector<LogFile> ListLogs(const std::string& folder)
{
    std::vector<LogFile> logs;
    std::error_code error;
    std::filesystem::directory_iterator entries(PathOf(folder), error);
    if (error)
        throw FolderError(folder, Message(error));
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error)
            throw FolderError(folder, Message(error));
        std::string name = Utf8Of(entries->path().filename());
        std::optional<LogMonth> month = ParseLogName(name);
        std::error_code statusError;
        if (month && entries->is_regular_file(statusError))
            logs.push_back({name, *month});
    }
    if (error)
        throw FolderError(folder, Message(error));
    std::sort(logs.begin(), logs.end(), [](const LogFile& a, const LogFile& b) {
        return std::pair(a.Month.Year, a.Month.Month) < std::pair(b.Month.Year, b.Month.Month);
    });
    return logs;
}

MachineReport ReadMachine(const std::string& folder, const ReadOptions& options)
{
    return ReadMachine(folder, ListLogs(folder), options);
}

namespace {

// Each log is read in blocks of this size.
constexpr size_t BlockSize = 256 * 1024;

// Frames one log, read in blocks, into lines and adds the bytes read to
// bytes; false when it cannot be opened.
bool FrameLog(const std::filesystem::path& path, std::vector<char>& buffer, LineReader& lines, uint64_t& bytes)
{
    lines.BeginFile();
    std::filebuf file;
    bool opened = file.open(path, std::ios::in | std::ios::binary) != nullptr;
    while (opened) {
        std::streamsize count = file.sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (count <= 0)
            break;
        lines.Feed(buffer.data(), static_cast<size_t>(count));
        bytes += static_cast<uint64_t>(count);
    }
    lines.EndFile();
    return opened;
}

#if VERDIMOOR_THREADS

// Once this many bytes of a folder's logs have been read, a helper thread
// frames logs ahead while this one frames others and builds the runs from
// both in the logs' order. Below it, starting the thread costs more than it
// saves.
constexpr uint64_t ReadAheadAfter = 1024 * 1024;

// Where the helper's records wait for this thread: a ring of a few blocks of
// at most BlockRecords records, each block the end of a log or a part of it.
// The blocks' memory is taken once and reused: the read-ahead's does not
// grow with the logs.
class BlockRing {
public:
    enum class Kind { Part, Last, Unopened };
    struct Block {
        std::vector<LineRecord> Records;
        Kind Is = Kind::Part;
    };
    static constexpr size_t BlockRecords = 4096;

    BlockRing()
    {
        for (Block& block : Blocks)
            block.Records.reserve(BlockRecords);
    }

    // The helper's side: the block to fill next, once there is room; none
    // once the ring is closed.
    Block* Free()
    {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [this] { return Written - Taken < Room || IsClosed; });
        if (IsClosed)
            return nullptr;
        Block& block = Blocks[Written % Room];
        block.Records.clear();
        return &block;
    }
    void Publish()
    {
        std::lock_guard lock(Mutex);
        Written++;
        Changed.notify_all();
    }

    // This thread's side: the oldest block, held until Release.
    const Block& Oldest()
    {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [this] { return Taken < Written; });
        return Blocks[Taken % Room];
    }
    void Release()
    {
        std::lock_guard lock(Mutex);
        Taken++;
        Changed.notify_all();
    }

    // Nothing more is taken: the helper stops.
    void Close()
    {
        std::lock_guard lock(Mutex);
        IsClosed = true;
        Changed.notify_all();
    }

private:
    static constexpr size_t Room = 4;
    Block Blocks[Room];
    std::mutex Mutex;
    std::condition_variable Changed;
    uint64_t Written = 0;
    uint64_t Taken = 0;
    bool IsClosed = false;
};

// The helper's framer writes its records straight into the ring's blocks.
class RingSink final : public RecordSink {
public:
    explicit RingSink(BlockRing& ring) : Ring(ring) {}

    void AddRecords(const LineRecord* records, size_t count) override
    {
        if (Current != nullptr && Current->Records.size() + count > BlockRing::BlockRecords)
            Publish(BlockRing::Kind::Part);
        if (Current == nullptr)
            Current = Ring.Free();
        if (Current != nullptr)
            Current->Records.insert(Current->Records.end(), records, records + count);
    }
    // False once the ring is closed.
    bool Publish(BlockRing::Kind kind)
    {
        if (Current == nullptr && (Current = Ring.Free()) == nullptr)
            return false;
        Current->Is = kind;
        Ring.Publish();
        Current = nullptr;
        return true;
    }

private:
    BlockRing& Ring;
    BlockRing::Block* Current = nullptr;
};

// The logs from the one given: the helper frames every other one, from the
// first, while this thread frames the others and builds the runs from all of
// them in their order.
class ReadAhead {
public:
    ReadAhead(const std::filesystem::path& base, const std::vector<LogFile>& logs, size_t first)
        : First(first), Helper(&ReadAhead::Frame, this, std::cref(base), std::cref(logs))
    {
    }
    ~ReadAhead()
    {
        Ring.Close();
        Helper.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Whether the helper frames log i.
    bool Frames(size_t i) const { return (i - First) % 2 == 0; }

    // Passes the records of the helper's next log to the runs; false when
    // it could not be opened.
    bool Read(RunBuilder& runs)
    {
        for (;;) {
            const BlockRing::Block& block = Ring.Oldest();
            runs.AddRecords(block.Records.data(), block.Records.size());
            BlockRing::Kind kind = block.Is;
            Ring.Release();
            if (kind != BlockRing::Kind::Part)
                return kind == BlockRing::Kind::Last;
        }
    }

private:
    void Frame(const std::filesystem::path& base, const std::vector<LogFile>& logs)
    {
        std::vector<char> buffer(BlockSize);
        RingSink sink(Ring);
        LineReader lines(sink);
        uint64_t bytes = 0;
        for (size_t i = First; i < logs.size(); i += 2) {
            bool opened = FrameLog(base / logs[i].Name, buffer, lines, bytes);
            if (!sink.Publish(opened ? BlockRing::Kind::Last : BlockRing::Kind::Unopened))
                return;
        }
    }

    size_t First;
    BlockRing Ring;
    std::thread Helper;
};

#endif

}  // namespace

MachineReport ReadMachine(const std::string& folder, const std::vector<LogFile>& logs, const ReadOptions& options)
{
    RunBuilder runs(folder, options);
    LineReader lines(runs);
    std::vector<char> buffer(BlockSize);
    std::filesystem::path base = PathOf(folder);
    uint64_t bytes = 0;
#if VERDIMOOR_THREADS
    std::optional<ReadAhead> ahead;
    bool mayReadAhead = true;
#endif
    for (size_t i = 0; i < logs.size(); i++) {
        runs.BeginFile(logs[i]);
        bool opened;
#if VERDIMOOR_THREADS
        if (mayReadAhead && !ahead && bytes >= ReadAheadAfter && logs.size() - i >= 2) {
            try {
                ahead.emplace(base, logs, i);
            } catch (const std::system_error&) {
                // No thread to be had: the rest one after another.
                mayReadAhead = false;
            }
        }
        if (ahead && ahead->Frames(i))
            opened = ahead->Read(runs);
        else
#endif
            opened = FrameLog(base / logs[i].Name, buffer, lines, bytes);
        if (!opened)
            runs.FileProblem("cannot be opened");
        runs.EndFile();
    }
    return runs.Finish();
}

}  // namespace report
