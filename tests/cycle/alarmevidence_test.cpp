// Alarm evidence: the three panels show the template, the judged picture and where they differ;
// the writer keeps each folder within its limit.
#include "cycle/alarmevidence.h"

#include "core/texttable.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

AlarmEvidence evidence(int camera)
{
    AlarmEvidence e;
    e.camera = camera;
    e.time = QDateTime(QDate(2026, 12, 9), QTime(3, 10, 0));
    e.reference = QImage(640, 480, QImage::Format_Grayscale8);
    e.reference.fill(100);
    e.judged.image = e.reference.copy();
    e.judged.ok = false;
    // A bright part left at (400, 300).
    for (int y = 300; y < 340; ++y)
        for (int x = 400; x < 440; ++x)
            e.judged.image.scanLine(y)[x] = 220;
    JudgedRegion failed;
    failed.outline.addRect(380, 280, 80, 80);
    failed.ok = false;
    failed.value = QStringLiteral("1600");
    failed.limit = QStringLiteral("50");
    failed.ngRects << QRect(400, 300, 40, 40);
    e.judged.regions << failed;
    return e;
}

}  // namespace

TEST(AlarmEvidence, PanelsShowTemplateJudgedAndDifference)
{
    FillTextTable();
    const QImage out = RenderAlarmEvidence(evidence(0));
    ASSERT_EQ(out.width(), 3 * 640);
    ASSERT_GT(out.height(), 480);
    // Find the panels' top from the template's plain grey in the first column.
    int top = 0;
    while (top < out.height() && qGray(out.pixel(5, top)) != 100)
        ++top;
    ASSERT_LT(top, 60);
    EXPECT_EQ(qGray(out.pixel(420, top + 320)), 100) << "the template has no part";
    EXPECT_EQ(qGray(out.pixel(640 + 420, top + 320)), 220) << "the judged picture has";
    EXPECT_EQ(qGray(out.pixel(1280 + 420, top + 320)), 255) << "the difference shows it bright";
    EXPECT_EQ(qGray(out.pixel(1280 + 100, top + 100)), 0) << "and nothing where they agree";
    const QRgb outline = out.pixel(640 + 380, top + 320);
    EXPECT_GT(qRed(outline), 200);
    EXPECT_LT(qGreen(outline), 100) << "the failed region is marked red";
}

TEST(AlarmEvidence, WriterKeepsTheFolderWithinItsLimit)
{
    QTemporaryDir dir;
    const QString home = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    {
        AlarmEvidenceWriter writer;
        writer.limit = [] { return 2; };
        for (int i = 0; i < 3; ++i) {
            AlarmEvidence e = evidence(1);
            e.time = e.time.addSecs(i);
            ASSERT_TRUE(writer.put(std::move(e)));
            writer.waitIdle();
        }
    }
    const QStringList files = QDir(AlarmEvidenceDir(1, 0)).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    QDir::setCurrent(home);
    EXPECT_EQ(files, (QStringList{QStringLiteral("2026-12-09_03.10.01.000.jpg"), QStringLiteral("2026-12-09_03.10.02.000.jpg")}));
}
