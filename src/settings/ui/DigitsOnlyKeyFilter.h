#pragma once

#include <QObject>

class QLineEdit;

/// Lets only the digits 0 to 9 and Backspace be typed into a text box; other typed characters
/// are discarded. Keys that type nothing (arrows, Delete, Home, End) and the clipboard keys
/// still work, and a paste or drop that is not all digits is refused as a whole.
class DigitsOnlyKeyFilter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DigitsOnlyKeyFilter)

public:
    explicit DigitsOnlyKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

    /// Guards a text box: installs the filter and a digits-only validator for pastes.
    void install(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
