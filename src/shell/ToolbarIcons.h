#pragma once

#include <QImage>

/// The toolbar's six 16 × 16 icons, drawn pixel by pixel (transparent background):
/// 0 "Ignore TCP", 1 "Ignore UDP", 2 "Ignore ICMP", 3 "Freeze Display", 4 "Always on top",
/// 5 "Resolve IP". Any other index gives an empty transparent image.
QImage toolbarIcon(int index);
