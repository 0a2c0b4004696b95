#include "usage/UsageLineFormat.h"

#include <QLocale>

#include <cmath>

QByteArray UsageLineFormat::formatAmount(double amount) {
    if (amount == 0 || std::isnan(amount))
        return QByteArrayLiteral("0");
    // 15 digits of the largest double round up past it and would read back as infinity.
    if (std::fabs(amount) > kLargestAmount)
        return amount > 0 ? QByteArrayLiteral("1.79769313486231E+308")
                          : QByteArrayLiteral("-1.79769313486231E+308");
    return QByteArray::number(amount, 'G', 15);
}

bool UsageLineFormat::readAmount(const QByteArray& text, double& value, const QLocale& locale) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty()) {
        value = 0;
        return true;
    }
    bool ok = false;
    double v = t.toDouble(&ok); // the form formatAmount writes
    if (!ok) {
        const QString s = QString::fromLatin1(t);
        v = locale.toDouble(s, &ok); // the user's separators, digit groups allowed
        if (!ok) {
            QString dotted = s;
            dotted.replace(locale.decimalPoint(), QStringLiteral("."));
            v = dotted.toDouble(&ok);
        }
    }
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

double UsageLineFormat::parseAmount(const QByteArray& text) {
    double v = 0;
    return readAmount(text, v) ? v : 0;
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
    double amounts[4] = {0, 0, 0, 0}; // sent, received, pass-by, total; missing ones are 0
    for (qsizetype i = 1; i < parts.size() && i <= 4; ++i)
        if (!readAmount(parts.at(i), amounts[i - 1]))
            return false;
    record.usageDate = date;
    record.dataSent = amounts[0];
    record.dataReceived = amounts[1];
    record.dataPassthru = amounts[2];
    record.dataTotalUsage = amounts[3];
    return true;
}

bool UsageLineFormat::isBlank(const QByteArray& line) {
    for (const char c : line)
        if (c != ' ')
            return false;
    return true;
}
