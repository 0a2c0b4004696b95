#include "usage/UsageLineFormat.h"

#include <QLocale>

#include <cmath>

QByteArray UsageLineFormat::formatAmount(double amount) {
    if (amount == 0 || !std::isfinite(amount))
        return QByteArrayLiteral("0");
    return QByteArray::number(amount, 'G', 15);
}

double UsageLineFormat::parseAmount(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty())
        return 0;
    bool ok = false;
    double v = t.toDouble(&ok);
    if (!ok) {
        QLocale locale = QLocale::system();
        locale.setNumberOptions(QLocale::RejectGroupSeparator);
        const QString s = QString::fromLatin1(t);
        v = locale.toDouble(s, &ok);
        if (!ok) {
            QString dotted = s;
            dotted.replace(locale.decimalPoint(), QStringLiteral("."));
            v = dotted.toDouble(&ok);
        }
    }
    return ok && std::isfinite(v) ? v : 0;
}

QByteArray UsageLineFormat::formatDate(const QDate& date) {
    return date.toString(Qt::ISODate).toLatin1();
}

QString UsageLineFormat::shortDateFormat() {
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QDate UsageLineFormat::parseDate(const QByteArray& text) {
    const QString s = QString::fromLatin1(text.trimmed());
    QDate date;
    // Exactly yyyy-MM-dd: Qt's ISO reader also takes other separators and ignores a tail.
    if (s.size() == 10 && s.at(4) == QLatin1Char('-') && s.at(7) == QLatin1Char('-'))
        date = QDate::fromString(s, Qt::ISODate);
    if (!date.isValid())
        date = QLocale::system().toDate(s, shortDateFormat());
    return date;
}

QByteArray UsageLineFormat::formatLine(const clsUsageRec& r) {
    QByteArray line = formatDate(r.usageDate);
    for (const double v : {r.dataSent, r.dataReceived, r.dataPassthru, r.dataTotalUsage}) {
        line += '\t';
        line += formatAmount(v);
    }
    return line;
}

bool UsageLineFormat::parseLine(const QByteArray& line, clsUsageRec& record) {
    const QList<QByteArray> parts = line.split('\t');
    const QDate date = parseDate(parts.value(0));
    if (!date.isValid())
        return false;
    record.usageDate = date;
    record.dataSent = parseAmount(parts.value(1));
    record.dataReceived = parseAmount(parts.value(2));
    record.dataPassthru = parseAmount(parts.value(3));
    record.dataTotalUsage = parseAmount(parts.value(4));
    return true;
}

bool UsageLineFormat::isBlank(const QByteArray& line) {
    for (const char c : line)
        if (c != ' ')
            return false;
    return true;
}
