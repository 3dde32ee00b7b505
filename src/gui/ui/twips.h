#pragma once

#include <QRect>
#include <QSize>

// Window layouts are given in twips; 15 twips make one pixel at 96 dots per inch.
namespace trv {

inline constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) { return twips / kTwipsPerPixel; }
inline QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}
inline QSize twipSize(int width, int height) { return QSize(px(width), px(height)); }

}  // namespace trv
