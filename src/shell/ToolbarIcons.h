#pragma once

#include <QImage>
#include <QPalette>

/// The toolbar's six 16 × 16 icons (transparent background): 0 "Ignore TCP", 1 "Ignore UDP",
/// 2 "Ignore ICMP", 3 "Freeze Display", 4 "Always on top", 5 "Resolve IP". Any other index gives
/// an empty transparent image.
///
/// Drawn for the device pixel ratio of the screen (the image has 16 × ratio pixels and says its
/// ratio): pixel by pixel at 1, as smooth shapes above it, never scaled up from 16 pixels. The
/// ink of letters and outlines is the palette's button text, the other colours are chosen to
/// stand out on the palette's button face, light or dark.
QImage toolbarIcon(int index, const QPalette& palette = QPalette(), qreal devicePixelRatio = 1);

/// The icons' logical size.
constexpr int kToolbarIconSize = 16;
