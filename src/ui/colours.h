#pragma once

#include <QColor>
#include <cstdint>
#include <optional>

class QWidget;

// Colours are kept as the packed numbers the board windows have always used:
// red in the lowest byte, then green, then blue (0x00BBGGRR).
namespace trv::colour {

using Packed = std::uint32_t;

inline constexpr Packed kRed = 255;
inline constexpr Packed kGreen = 65280;
inline constexpr Packed kOrange = 8438015;
inline constexpr Packed kWhite = 16777215;

QColor toQColor(Packed packed);
Packed fromQColor(const QColor& colour);

// The one place where a control's background is set and read back, so that a label's
// colour can serve as the value it stands for.
void setBackground(QWidget* widget, Packed packed);
// Back to the style's own background; background() then answers nullopt.
void clearBackground(QWidget* widget);
std::optional<Packed> background(const QWidget* widget);

}  // namespace trv::colour
