// SPDX-License-Identifier: Apache-2.0
// The colours of the pictures: Okabe and Ito's palette, which people with
// every kind of colour vision tell apart, and the greys around it.
#pragma once

namespace report::palette {

inline constexpr const char* Blue = "#0072B2";
inline constexpr const char* BluishGreen = "#009E73";
inline constexpr const char* Vermillion = "#D55E00";
inline constexpr const char* ReddishPurple = "#CC79A7";
inline constexpr const char* Orange = "#E69F00";
inline constexpr const char* SkyBlue = "#56B4E9";
inline constexpr const char* Black = "#000000";
inline constexpr const char* White = "#FFFFFF";
// Darker than the shade of the weekends, lighter than the grid: for the days
// the logs tell nothing of.
inline constexpr const char* LightGrey = "#C8C8C8";

}  // namespace report::palette
