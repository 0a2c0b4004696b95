#pragma once

#include <QLocale>
#include <QString>

/// The expected text with "." replaced by the user's decimal separator.
inline QString local(const char* text) {
    QString s = QString::fromLatin1(text);
    s.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
    return s;
}

/// The expected text for the locale in force: `inC` in the C locale, `inGerman` under de_DE
/// (the two the suite runs under); empty under any other, where a test checks nothing of it.
inline QString perLocale(const char* inC, const char* inGerman) {
    const QString name = QLocale::system().name();
    if (name == QLatin1String("C"))
        return QString::fromUtf8(inC);
    if (name == QLatin1String("de_DE"))
        return QString::fromUtf8(inGerman);
    return {};
}
