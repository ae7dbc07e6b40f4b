#pragma once
// Window positions and sizes are kept in twips, 15 to a device-independent
// pixel (1440 to the inch at 96 dpi).
#include <QPoint>
#include <QRect>

namespace platform {

constexpr int kTwipsPerPixel = 15;

constexpr double pixelsToTwips(double pixels) { return pixels * kTwipsPerPixel; }
inline int twipsToPixels(double twips) { return qRound(twips / kTwipsPerPixel); }
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

}  // namespace platform
