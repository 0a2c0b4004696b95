#pragma once

#include <QLocale>
#include <QString>

/// The expected text with "." replaced by the user's decimal separator.
inline QString local(const char* text) {
    QString s = QString::fromLatin1(text);
    s.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
    return s;
}
