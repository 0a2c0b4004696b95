// The usage log on a real file system that runs full: a small tmpfs mounted by the test.
#include "platform/RealFileSystem.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "speed/Format.h"
#include "support/UsageRecords.h"
#include "usage/DailyUsage.h"
#include "usage/clsUsageLogger.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QDate kToday(2026, 12, 8);

/// A 256 KiB tmpfs mounted on a temporary folder for the life of the object.
class SmallDisk {
public:
    SmallDisk() {
        path_ = dir_.path() + QStringLiteral("/disk");
        QDir().mkpath(path_);
        if (::mount("quelmint-test", path_.toLocal8Bit().constData(), "tmpfs", 0, "size=256k") != 0)
            why_ =
                QStringLiteral("cannot mount a tmpfs: ") + QString::fromLocal8Bit(strerror(errno));
        else
            mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
    }
    const QString& path() const { return path_; }
    const QString& whyNot() const { return why_; }

    /// Writes a filler file until the disk refuses more; true when it is full.
    bool fill() {
        const int fd =
            ::open(filler().toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }
    void makeRoom() { ::unlink(filler().toLocal8Bit().constData()); }

private:
    QString filler() const { return path_ + QStringLiteral("/filler"); }
    QTemporaryDir dir_;
    QString path_;
    QString why_;
    bool mounted_ = false;
};

} // namespace

TEST(UsageLogFullDisk, FiguresSurviveAndTheUserIsToldOnce) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    struct Case {
        const char* name;
        bool fullBeforeFirstWrite; // the session file was still empty when the disk filled
    };
    const Case cases[] = {{"full before the first write", true},
                          {"full after the first write", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmallDisk disk;
        if (!disk.whyNot().isEmpty())
            GTEST_SKIP() << disk.whyNot().toStdString();
        const QString folder = disk.path() + QStringLiteral("/Usage Logs");
        RealFileSystem fs;
        FakeClock clock(QDateTime(kToday, QTime(10, 0)));
        FakeMessageBoxes boxes;
        {
            clsUsageLogger logger(fs, clock, folder);
            const DisplayUnits units;
            DailyUsage daily(logger, fs, clock, boxes, units);
            daily.start();
            if (c.fullBeforeFirstWrite) {
                ASSERT_TRUE(disk.fill());
            }
            daily.logUsage(usageRec(kToday, 1000));
            daily.onBatchEnd();
            if (!c.fullBeforeFirstWrite) {
                ASSERT_TRUE(disk.fill());
            }
            daily.logUsage(usageRec(kToday, 5));
            daily.onBatchEnd();
            logger.getMonthlyUsage(12, 2026); // the commit cannot store the year
            daily.logUsage(usageRec(kToday, 20000));
            daily.onBatchEnd();
            daily.logUsage(usageRec(kToday, 7));
            daily.onBatchEnd();
            EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 21012);
            ASSERT_EQ(boxes.boxes.size(), 1);
            EXPECT_TRUE(boxes.boxes[0].text.startsWith("Error in logUsage:\r\n"));
            EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::Critical);
        } // shut down while the disk is still full
        disk.makeRoom();
        clsUsageLogger next(fs, clock, folder);
        EXPECT_EQ(next.getDailyUsage(kToday).dataTotalUsage, 21012);
        EXPECT_EQ(next.getDailyUsage(kToday).dataReceived, 21012);
    }
}
