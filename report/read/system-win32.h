// SPDX-License-Identifier: Apache-2.0
// What the report's Windows sources share of the system: its messages in
// UTF-8 and paths as its file calls take them at any length. Defined in
// input-file-win32.cpp; only Windows sources include this.
#pragma once

#include <filesystem>
#include <string>

namespace report {

// The system's message for the error code (a DWORD), in UTF-8, without the
// full stop and line end it ends with.
std::string SystemMessage(unsigned long code);

// The path as the system's file calls take it at any length: a full path of
// MAX_PATH characters or more, which they refuse unless the system allows
// long paths, with \\?\ before it (\\?\UNC\ for a share's); any other as
// it is.
std::wstring SystemPath(const std::filesystem::path& path);

}  // namespace report
