// SPDX-License-Identifier: Apache-2.0
// UTF-8 paths and the well-formed sequences of UTF-8 text.
#include "report/core/utf8.h"

namespace report {

std::filesystem::path PathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path)
{
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

size_t Utf8SequenceLength(std::string_view text, size_t at)
{
    auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    // The range of the second byte, narrower after some leads.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // overlong
        else if (lead == 0xED)
            high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;  // overlong
        else if (lead == 0xF4)
            high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
    return length;
}

std::string WithoutControls(std::string_view text)
{
    return RewriteCharacters(text, [](std::string_view character, bool wellFormed) -> std::string_view {
        auto byte = [&character](size_t k) { return static_cast<unsigned char>(character[k]); };
        bool control = false;
        if (!wellFormed)
            control = byte(0) >= 0x80 && byte(0) < 0xA0;
        else if (character.size() == 1)
            control = byte(0) < 0x20 || byte(0) == 0x7F;
        else if (character.size() == 2)
            control = byte(0) == 0xC2 && byte(1) < 0xA0;
        return control ? "?" : character;
    });
}

}  // namespace report
