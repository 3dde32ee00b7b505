#pragma once

#include <cstdint>

// Colours are kept as the packed numbers the board windows have always used:
// red in the lowest byte, then green, then blue (0x00BBGGRR). Plain numbers, so that code
// without widgets can name them.
namespace trv::colour {

using Packed = std::uint32_t;

inline constexpr Packed kRed = 255;
inline constexpr Packed kGreen = 65280;
inline constexpr Packed kOrange = 8438015;
inline constexpr Packed kWhite = 16777215;
// A grid cell loaded from a file, not read from a board: QColor(173, 216, 230).
inline constexpr Packed kLightBlue = 15128749;
// A grid cell that differs from the image it was compared with: QColor(255, 255, 0).
inline constexpr Packed kYellow = 65535;

}  // namespace trv::colour
