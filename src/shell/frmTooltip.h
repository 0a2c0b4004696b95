#pragma once

#include <QFrame>

class CursorSource;
class QLabel;

/// The toolbar's own tooltip window: one label in the system's tooltip colours, placed just
/// below the cursor image so the pointer does not hide the text. It never takes the focus or
/// activates itself.
class frmTooltip final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTooltip)

public:
    /// Margins around the text, in pixels.
    static constexpr int kHorizontalMargin = 3;
    static constexpr int kVerticalMargin = 2;

    /// cursor must outlive the window.
    explicit frmTooltip(CursorSource& cursor, QWidget* parent = nullptr);

    /// Sizes the window to the text, places its top-left corner at the cursor image's
    /// bottom-left corner (no adjustment at the screen edges) and shows it without activating.
    void ShowTooltip(const QString& text);

    QLabel* Label1() const { return label_; }

private:
    CursorSource& cursor_;
    QLabel* label_;
};
