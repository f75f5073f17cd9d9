// SPDX-License-Identifier: Apache-2.0
// XML escaping of UTF-8 text.
#include "report/print/xml.h"

#include "report/core/utf8.h"

namespace report {

namespace {

// Whether a well-formed UTF-8 sequence is one of XML 1.0's characters: no
// control but tab, LF and CR, no U+FFFE or U+FFFF (a surrogate, encoded
// alone, is no UTF-8 already).
bool IsXmlChar(std::string_view character)
{
    auto byte = [&character](size_t k) { return static_cast<unsigned char>(character[k]); };
    if (character.size() == 1)
        return byte(0) >= 0x20 || byte(0) == '\t' || byte(0) == '\n' || byte(0) == '\r';
    if (character.size() == 3)
        return !(byte(0) == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE);
    return true;
}

}  // namespace

std::string XmlEscape(std::string_view text)
{
    return RewriteCharacters(text, [](std::string_view character, bool wellFormed) -> std::string_view {
        switch (character[0]) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        case '\'': return "&apos;";
        default: return wellFormed && IsXmlChar(character) ? character : Utf8Replacement;
        }
    });
}

}  // namespace report
