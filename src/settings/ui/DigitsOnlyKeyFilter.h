#pragma once

#include <QObject>

class QLineEdit;

/// Lets only the digits 0 to 9 be typed into a text box; other typed characters are discarded.
/// Keys that type nothing (arrows, Delete, Home, End), Backspace, Tab, Return, Escape and the
/// clipboard and other shortcut keys still work, and a paste or drop that is not all digits is
/// refused as a whole.
class DigitsOnlyKeyFilter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DigitsOnlyKeyFilter)

public:
    explicit DigitsOnlyKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

    /// Guards a text box: installs the filter, and a validator for pastes and drops that accepts
    /// texts matching pastePattern (digits only by default; a number box may also keep a decimal
    /// number it was loaded with, so its own text stays editable).
    void install(QLineEdit* edit, const QString& pastePattern = QStringLiteral("[0-9]*"));

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
