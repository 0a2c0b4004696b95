#pragma once

class QWidget;

/// Where a top-level window stands and how it comes back: centred on its screen, brought back
/// from the notification area or the task bar, kept above other windows.
namespace WindowPlacement {

/// Centres the window on the screen it is on (else the primary screen).
void centre(QWidget& window);

/// Shows a hidden, minimised or maximised window in its normal state and brings it forward.
void restoreAndRaise(QWidget& window);

/// Keeps the window above others or lets it go back among them, at the same place and shown
/// as before (changing the flag makes a new native window, which starts hidden).
void setStaysOnTop(QWidget& window, bool on);

} // namespace WindowPlacement
