// SPDX-License-Identifier: Apache-2.0
// XML escaping of UTF-8 text, and text cut to a width.
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

namespace {

// The advance of each printable ASCII character, ' ' to '~', in DejaVu Sans
// Book, in units of which an em holds EmUnits.
constexpr int EmUnits = 2048;
constexpr int AsciiAdvance[95] = {
    651,  821,  942,  1716, 1303, 1946, 1597, 563,  799,  799,  1024, 1716, 651,  739,  651,  690,  1303, 1303, 1303,
    1303, 1303, 1303, 1303, 1303, 1303, 1303, 690,  690,  1716, 1716, 1716, 1087, 2048, 1401, 1405, 1430, 1577, 1294,
    1178, 1587, 1540, 604,  604,  1343, 1141, 1767, 1532, 1612, 1235, 1612, 1423, 1300, 1251, 1499, 1401, 2025, 1403,
    1251, 1403, 799,  690,  799,  1716, 1024, 1024, 1255, 1300, 1126, 1300, 1260, 721,  1300, 1298, 569,  569,  1186,
    569,  1995, 1298, 1253, 1300, 1300, 842,  1067, 803,  1298, 1212, 1675, 1212, 1212, 1075, 1303, 690,  1303, 1716};
// Any other character, and a byte that is not UTF-8: as wide as the widest
// letters (Ж, Ш, a CJK ideograph in the fallback font) and a little more.
constexpr int OtherAdvance = 2253;
// Bold is at most this much wider, in tenths.
constexpr int BoldTenths = 13;
constexpr std::string_view Ellipsis = "\xE2\x80\xA6";
constexpr int EllipsisAdvance = 2048;

}  // namespace

std::string FitToWidth(std::string_view text, double fontSize, double width, bool bold)
{
    double scale = fontSize / EmUnits * (bold ? BoldTenths / 10.0 : 1.0);
    double room = width / scale;  // in units
    double used = 0;
    size_t cut = 0;  // the longest start that leaves room for the ellipsis
    ForEachCharacter(text, [&](std::string_view character, bool) {
        auto byte = static_cast<unsigned char>(character[0]);
        used += byte >= 0x20 && byte < 0x7F ? AsciiAdvance[byte - 0x20] : OtherAdvance;
        if (used + EllipsisAdvance <= room)
            cut = static_cast<size_t>(character.data() + character.size() - text.data());
    });
    if (used <= room)
        return std::string(text);
    while (cut > 0 && text[cut - 1] == ' ')
        cut--;
    return std::string(text.substr(0, cut)) + std::string(Ellipsis);
}

}  // namespace report
