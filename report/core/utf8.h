// SPDX-License-Identifier: Apache-2.0
// UTF-8 text, which every output writes: folder and host names come from the
// system and may hold any bytes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace report {

// A path from its UTF-8 text, and back: never through the narrow code page,
// which on Windows cannot hold every name.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// The length of the well-formed UTF-8 sequence at text[at] (1 to 4), or 0
// when the bytes there are not one: a stray or cut sequence, an overlong
// form or a surrogate.
size_t Utf8SequenceLength(std::string_view text, size_t at);

// The one walk over UTF-8 text, a character at a time, that every output
// showing a name takes: each(character, wellFormed) is called for each
// well-formed UTF-8 sequence in turn, and for each byte that begins none,
// handed over alone with wellFormed false.
template <typename Each> void ForEachCharacter(std::string_view text, Each each)
{
    for (size_t at = 0; at < text.size();) {
        size_t length = Utf8SequenceLength(text, at);
        std::string_view character = text.substr(at, length != 0 ? length : 1);
        each(character, length != 0);
        at += character.size();
    }
}

// The text rewritten a character at a time: shown(character, wellFormed)
// gives what stands for each.
template <typename Shown> std::string RewriteCharacters(std::string_view text, Shown shown)
{
    std::string rewritten;
    rewritten.reserve(text.size());
    ForEachCharacter(text,
                     [&](std::string_view character, bool wellFormed) { rewritten += shown(character, wellFormed); });
    return rewritten;
}

// The text with its control characters as '?': C0, DEL and C1, and the
// stray bytes 0x80 to 0x9F, which a terminal of one of the old code pages
// takes for C1. A name shown on a terminal cannot move its cursor or change
// its state.
std::string WithoutControls(std::string_view text);

// U+FFFD, which stands for a byte that is not UTF-8.
inline constexpr std::string_view Utf8Replacement = "\xEF\xBF\xBD";

}  // namespace report
