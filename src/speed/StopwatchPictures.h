#pragma once

#include <QColor>
#include <QImage>

/// The twelve pictures of the stopwatch's animation (ImageList2): a stopwatch face whose hand
/// and filled sector stand at picture × 30 degrees clockwise from twelve o'clock, so picture 12
/// points straight up with the face full. Drawn without antialiasing in exact colours.
namespace StopwatchPictures {
/// Width and height of a picture, in pixels.
constexpr int kSize = 32;
/// Centre of the face.
constexpr int kCentreX = 16;
constexpr int kCentreY = 17;
/// Radius of the face inside its rim.
constexpr int kFaceRadius = 12;

/// Colours of the parts.
inline QColor rimColour() {
    return QColor(0x30, 0x30, 0x30);
}
inline QColor faceColour() {
    return QColor(0xFF, 0xFF, 0xFF);
}
inline QColor sectorColour() {
    return QColor(0xA8, 0xE0, 0xA0);
}
inline QColor handColour() {
    return QColor(0xC0, 0x00, 0x00);
}

/// Picture 1..12 (other numbers are taken modulo 12, 0 as 12).
QImage picture(int index);
} // namespace StopwatchPictures
