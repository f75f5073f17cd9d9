// SPDX-License-Identifier: Apache-2.0
// What the tests share: temporary folders, whole-file reads and writes, a time
// zone, and a thread without the power to bypass file permissions.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    // Under base, a folder that must exist.
    explicit TempDir(const char* base = "/tmp");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder's path ending with "/", followed by name.
    std::string Path(const std::string& name = "") const;

private:
    std::string Root;
};

// Makes folder the current directory for its lifetime; aborts when either
// change of directory fails.
class InFolder {
public:
    explicit InFolder(const TempDir& folder);
    ~InFolder();
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::string Previous;
};

// The whole file, or "<missing>" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// A PowerOFF.txt written at the given Unix second; by default in 2000, as
// when the machine was set up, long before the logs a test writes, so that
// its schedule judges every run.
void WriteScheduleFile(const std::string& path, const std::string& bytes, int64_t written = 946684800);
bool FileExists(const std::string& path);

// Sets the machine's time zone (TZ) for its lifetime.
class InZone {
public:
    explicit InZone(const char* zone);
    ~InZone();
    InZone(const InZone&) = delete;
    InZone& operator=(const InZone&) = delete;
};

// Drops the calling thread's power to bypass file permissions for its
// lifetime, so that a read-only folder is read-only to root too.
class WithoutFileOverride {
public:
    WithoutFileOverride();
    ~WithoutFileOverride();
};
