#pragma once

#include <QWidget>

class QLabel;

/// The line of the status frame that tells how many frames the capture lost in this run:
/// a row ("captureLossRow", shown by the tab switch on "Bytes" and "Packets") holding the
/// label "lblCaptureLoss", which shows only while the count is above 0.
class CaptureLossView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureLossView)

public:
    /// Places the row inside the status frame, left and top as the usage labels there.
    explicit CaptureLossView(QWidget* statusFrame);

    /// Shows the run's count, or nothing when it is 0; a text too long for the row is drawn
    /// in a smaller font.
    void setCount(quint64 runCount);
    QLabel* label() const { return label_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    QLabel* label_ = nullptr;
};
