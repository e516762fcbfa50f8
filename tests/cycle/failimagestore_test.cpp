// Judged images: names, folder limits, the NG/OK slot rule, and the annotation drawn on them.
#include "cycle/failimagestore.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QDir>
#include <QFile>

namespace {

void touchFiles(const QString &dir, const QStringList &names)
{
    QDir().mkpath(dir);
    for (const QString &name : names) {
        QFile file(dir + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
}

QStringList jpgs(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
}

QImage grayScene()
{
    QImage image(320, 240, QImage::Format_Grayscale8);
    image.fill(90);
    return image;
}

}  // namespace

TEST(FailImageNames, CounterAndTime)
{
    const QDateTime time(QDate(2026, 12, 7), QTime(4, 5, 6, 7));
    EXPECT_EQ(FailImageName(42, time), QStringLiteral("0000000042_2026-12-07_04.05.06.007"));
    EXPECT_EQ(FailImageDir(0, 1, true), QStringLiteral("./alarmimage//camera1//detect2//NG"));
}

TEST(FailImageFolders, LimitKeepsTheNewestInNameOrder)
{
    TempStation station(false);
    const struct { const char *name; int present; int limit; int removed; } rows[] = {
        {"at the limit", 3, 3, 1},
        {"limit lowered", 10, 3, 8},
        {"below the limit", 2, 3, 0},
        {"limit zero", 4, 0, 4},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString dir = QStringLiteral("folder-%1").arg(QLatin1String(row.name).length());
        QStringList names;
        for (int i = 0; i < row.present; ++i)
            names << QStringLiteral("%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        touchFiles(dir, names);
        EXPECT_EQ(MakeRoomInDir(dir, row.limit), row.removed);
        EXPECT_EQ(jpgs(dir), names.mid(row.removed)) << "the first files in name order go";
    }
}

TEST(FailImageThread, NgAndOkOfOneCycleBothGoToTheNgFolder)
{
    TempStation station(false);
    FailImageStore store;
    SaveFialImageThread thread(&store);
    thread.pauseAfterFileMs = thread.pauseAfterBothMs = 0;
    thread.ngLimit = [] { return 5; };
    thread.okLimit = [] { return 5; };
    thread.detections = [] { return 2; };
    QStringList sent;
    thread.fileSaved = [&sent](const QString &path) { sent << path; };

    store.put(1, 1, FailImageStore::NgSlot, grayScene(), 2);
    store.put(1, 1, FailImageStore::OkSlot, grayScene(), 0);
    store.put(0, 0, FailImageStore::OkSlot, grayScene(), 0);
    EXPECT_EQ(store.failIndex(1, 1), 2);
    EXPECT_EQ(thread.savePass(), 3);
    EXPECT_EQ(jpgs(FailImageDir(1, 1, true)).size(), 2);
    EXPECT_TRUE(jpgs(FailImageDir(1, 1, false)).isEmpty());
    EXPECT_EQ(jpgs(FailImageDir(0, 0, false)).size(), 1);
    EXPECT_EQ(store.failIndex(1, 1), 0);
    EXPECT_FALSE(store.pending(1, 1, FailImageStore::NgSlot));
    ASSERT_EQ(sent.size(), 3);
    const QImage back(sent.first());
    EXPECT_EQ(back.size(), QSize(320, 240)) << "a JPEG the station can read back";
    EXPECT_EQ(thread.savePass(), 0) << "nothing pending, nothing written";
}

// The pacing pauses between files give way at once when the station ends.
TEST(FailImageThread, EndsWithoutSittingOutItsPause)
{
    TempStation station(false);
    FailImageStore store;
    QElapsedTimer ending;
    {
        SaveFialImageThread thread(&store);
        thread.pauseAfterFileMs = thread.pauseAfterBothMs = thread.pausePerPassMs = 60000;
        thread.detections = [] { return 1; };
        std::atomic<int> saved = 0;
        thread.fileSaved = [&saved](const QString &) { ++saved; };
        store.put(0, 0, FailImageStore::NgSlot, grayScene(), 1);
        thread.start();
        for (int i = 0; i < 500 && saved == 0; ++i)
            QThread::msleep(10);
        ASSERT_EQ(saved, 1);
        ending.start();
    }
    EXPECT_LT(ending.elapsed(), 500);
}

TEST(FailImageRender, VerdictOutlinesAndFirstNgRegion)
{
    JudgedImage judged;
    judged.image = grayScene();
    judged.ok = false;
    JudgedRegion good;
    good.outline.addRect(QRectF(150, 20, 60, 40));
    good.value = QStringLiteral("3");
    good.limit = QStringLiteral("100");
    JudgedRegion bad = good;
    bad.outline = QPainterPath();
    bad.outline.addRect(QRectF(150, 120, 60, 40));
    bad.ok = false;
    bad.ngRects << QRect(160, 130, 10, 10);
    judged.regions << good << bad;

    int firstNg = -1;
    const QImage out = RenderJudgedImage(judged, 1920, &firstNg);
    EXPECT_EQ(firstNg, 2);
    EXPECT_EQ(out.format(), QImage::Format_RGB32);
    const QColor goodEdge = out.pixelColor(180, 20);
    const QColor badEdge = out.pixelColor(180, 120);
    EXPECT_GT(goodEdge.green(), 150);
    EXPECT_LT(goodEdge.red(), 80);
    EXPECT_GT(badEdge.red(), 150);
    EXPECT_LT(badEdge.green(), 80);
    EXPECT_EQ(out.pixelColor(300, 230), QColor(90, 90, 90)) << "the image itself is untouched elsewhere";
}

// A judged image handed over unrendered is rendered when it is taken: the same picture as the
// GUI thread would have rendered, the first NG region counted at the hand-over, and only the
// newest image of a slot kept.
TEST(FailImageStoreHandOver, UnrenderedImageIsRenderedWhenTaken)
{
    JudgedImage judged;
    judged.image = grayScene();
    judged.ok = false;
    JudgedRegion good;
    good.outline.addRect(QRectF(150, 20, 60, 40));
    JudgedRegion bad = good;
    bad.ok = false;
    bad.ngRects << QRect(160, 30, 10, 10);
    judged.regions << good << bad;
    const QImage expected = RenderJudgedImage(judged, 1920);

    FailImageStore store;
    JudgedImage older = judged;
    older.image.fill(10);
    store.put(2, 1, FailImageStore::NgSlot, older, 1920);
    store.put(2, 1, FailImageStore::NgSlot, judged, 1920);
    EXPECT_EQ(store.failIndex(2, 1), 2);
    QImage taken;
    ASSERT_TRUE(store.take(2, 1, FailImageStore::NgSlot, &taken));
    EXPECT_EQ(taken.format(), QImage::Format_RGB32);
    EXPECT_TRUE(taken == expected) << "the newer image, rendered as the GUI thread would";
    EXPECT_FALSE(store.take(2, 1, FailImageStore::NgSlot, &taken));
}
