#pragma once

#include <QWidget>

class QLabel;

/// The line of the status frame on "Bytes" and "Packets": what is not monitored ("No adapter
/// selected", "Adapter eth0 lost: ...") and how many frames the capture lost in this run, in a
/// row ("captureLossRow", shown by the tab switch) holding the label "lblCaptureLoss", which
/// shows only while there is something to say.
class CaptureLossView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureLossView)

public:
    /// Places the row inside the status frame, left and top as the usage labels there.
    explicit CaptureLossView(QWidget* statusFrame);

    /// Shows the run's count, or nothing when it is 0; a text too long for the row is drawn
    /// in a smaller font.
    void setCount(quint64 runCount);
    /// What is not monitored now; empty while monitoring.
    void setMonitoringStatus(const QString& status);
    QLabel* label() const { return label_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void fit();

    QString status_;
    QString loss_;
    QLabel* label_ = nullptr;
};
