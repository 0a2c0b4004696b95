#pragma once

#include <QColor>
#include <QImage>

/// The program's picture, shown in the about window: a dark panel with a green column graph,
/// a baseline and a white wave over it. Drawn without antialiasing in exact colours.
namespace ProgramPicture {
/// Width and height, in pixels.
constexpr int kSize = 64;
/// Height of column i (0..kColumns-1) above the baseline.
constexpr int kColumns = 8;
constexpr int kColumnHeights[kColumns] = {10, 18, 14, 26, 34, 22, 30, 40};
/// Left edge and width of the columns, and the baseline's row.
constexpr int kFirstColumnX = 8;
constexpr int kColumnStep = 6;
constexpr int kColumnWidth = 5;
constexpr int kBaselineY = 54;

inline QColor panelColour() {
    return QColor(0x12, 0x26, 0x40);
}
inline QColor frameColour() {
    return QColor(0x5A, 0x7A, 0x9A);
}
inline QColor columnColour() {
    return QColor(0x2E, 0xC0, 0x4E);
}
inline QColor baselineColour() {
    return QColor(0xE0, 0xE0, 0xE0);
}

/// The picture.
QImage picture();
} // namespace ProgramPicture
