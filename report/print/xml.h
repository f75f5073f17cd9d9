// SPDX-License-Identifier: Apache-2.0
// Text in XML, which the picture and the web page write.
#pragma once

#include <string>
#include <string_view>

namespace report {

// Escapes text for XML character data and attribute values; bytes that are
// not UTF-8, and the characters XML does not allow (controls, U+FFFE,
// U+FFFF), become U+FFFD, so that a strange folder name cannot break the
// document.
std::string XmlEscape(std::string_view text);

// The text as it fits in width pixels at fontSize: whole when it does, else
// cut after a whole character and ended with U+2026. Each character is
// reckoned as wide as DejaVu Sans draws it, wider in bold, and one outside
// ASCII as wide as the widest, so that the cut text stays within width in
// the pictures' fonts.
std::string FitToWidth(std::string_view text, double fontSize, double width, bool bold = false);

}  // namespace report
