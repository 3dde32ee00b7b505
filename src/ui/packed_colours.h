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

}  // namespace trv::colour
