#pragma once
// Pictures of windows for people to look at (build/artifacts), and the dark palette they are
// also taken on.

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QString>
#include <QWidget>

/// A desktop's dark theme: light text on dark faces.
inline QPalette darkPalette() {
    QPalette p(QColor(53, 53, 53), QColor(53, 53, 53)); // button and window; shades derived
    const QColor text(230, 230, 230);
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text,
                            QPalette::ToolTipText, QPalette::BrightText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, QColor(35, 35, 35));
    p.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(100, 170, 255));
    return p;
}

/// The application on the dark palette (or left as it is) while the scope lasts.
class PaletteScope {
public:
    explicit PaletteScope(bool dark) : before_(QApplication::palette()) {
        if (dark)
            QApplication::setPalette(darkPalette());
    }
    ~PaletteScope() { QApplication::setPalette(before_); }
    PaletteScope(const PaletteScope&) = delete;
    PaletteScope& operator=(const PaletteScope&) = delete;

private:
    QPalette before_;
};

/// Where a picture named `stem` goes: build/artifacts/<stem>.png, or <stem>-x1.5.png under
/// QT_SCALE_FACTOR=1.5; empty when the test runs outside the build (no QUELMINT_BUILD_DIR).
inline QString picturePath(const QString& stem) {
    if (!qEnvironmentVariableIsSet("QUELMINT_BUILD_DIR"))
        return QString();
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR");
    return dir + QLatin1Char('/') + stem +
           (scale.isEmpty() || scale == QLatin1String("1") ? QString()
                                                           : QStringLiteral("-x") + scale) +
           QStringLiteral(".png");
}

/// Saves a picture of the widget as picturePath(stem) says; true when there was nothing to save
/// or it was saved.
inline bool keepPicture(QWidget& widget, const QString& stem) {
    const QString path = picturePath(stem);
    return path.isEmpty() || widget.grab().save(path);
}
