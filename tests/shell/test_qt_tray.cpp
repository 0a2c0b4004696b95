#include "ShellTestSupport.h"

#include "platform/gui/QtTrayIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

TEST(QtTrayIcon, FiveDistinctPictures) {
    ensureApplication();
    QList<QImage> images;
    for (int i = 1; i <= 5; ++i) {
        const QIcon icon = QtTrayIcon::picture(i);
        ASSERT_FALSE(icon.isNull()) << i;
        images.append(icon.pixmap(32, 32).toImage());
    }
    for (int a = 0; a < 5; ++a)
        for (int b = a + 1; b < 5; ++b)
            EXPECT_NE(images[a], images[b]) << a + 1 << " and " << b + 1;
    EXPECT_TRUE(QtTrayIcon::picture(0).isNull());
    EXPECT_TRUE(QtTrayIcon::picture(6).isNull());
}

TEST(QtTrayIcon, WithoutNotificationAreaEveryCallIsHarmless) {
    ensureApplication();
    QtTrayIcon icon;
    // The offscreen platform has no notification area.
    EXPECT_FALSE(icon.isAvailable());
    int clicks = 0;
    icon.setMouseHandler([&](int) { ++clicks; });
    icon.modify(2, QStringLiteral("before add"));
    icon.add(1, QString(1000, QLatin1Char('t')));
    icon.showBalloon(QStringLiteral("text\r\n"), QStringLiteral("title"), 3);
    icon.hideBalloon();
    icon.modify(5, QStringLiteral("No adapter selected"));
    icon.remove();
    icon.remove();
    EXPECT_EQ(clicks, 0);
}
