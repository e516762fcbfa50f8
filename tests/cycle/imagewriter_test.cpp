// The image writer: files appear in new folders, in the formats asked for, off the calling thread.
#include "cycle/imagewriter.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

TEST(ImageWriter, WritesGrayIndexedAndColourIntoNewFolders)
{
    TempStation station(false);
    QImage gray(64, 48, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << qRgb(i, i, i);
    gray.setColorTable(table);
    gray.fill(77);
    QImage colour(64, 48, QImage::Format_RGBA8888);
    colour.fill(QColor(10, 200, 30));
    {
        ImageWriter writer;
        EXPECT_TRUE(writer.write(QStringLiteral("./originalimage/cammer11/template0.bmp"), gray));
        EXPECT_TRUE(writer.write(QStringLiteral("./originalimage/cammer23/template199.bmp"), colour,
                                 QImage::Format_RGB32));
        writer.waitIdle();
        EXPECT_EQ(writer.failed(), 0);
        EXPECT_EQ(writer.dropped(), 0);
    }
    const QImage grayBack(station.file(QStringLiteral("originalimage/cammer11/template0.bmp")));
    ASSERT_FALSE(grayBack.isNull());
    EXPECT_EQ(grayBack.format(), QImage::Format_Indexed8);
    EXPECT_EQ(grayBack.pixelIndex(5, 5), 77);
    EXPECT_EQ(grayBack.color(77), qRgb(77, 77, 77));
    const QImage colourBack(station.file(QStringLiteral("originalimage/cammer23/template199.bmp")));
    ASSERT_FALSE(colourBack.isNull());
    EXPECT_EQ(colourBack.size(), QSize(64, 48));
    EXPECT_EQ(colourBack.pixel(3, 3), qRgb(10, 200, 30)) << "colour channels in their order";
}

TEST(ImageWriter, FullQueueDropsInsteadOfGrowing)
{
    TempStation station(false);
    QImage big(1280, 1024, QImage::Format_Indexed8);
    big.fill(0);
    ImageWriter writer(big.sizeInBytes());  // room for one waiting image
    int accepted = 0;
    for (int i = 0; i < 50; ++i)
        accepted += writer.write(QStringLiteral("raw/%1.bmp").arg(i), big) ? 1 : 0;
    writer.waitIdle();
    EXPECT_EQ(accepted + writer.dropped(), 50);
    EXPECT_GT(writer.dropped(), 0) << "50 images arrive faster than one at a time is written";
}

// An image is replaced in one step: a reader holding the old file keeps a whole old image.
TEST(ImageWriter, ReplacesFilesWhole)
{
    TempStation station(false);
    QImage image(64, 48, QImage::Format_Grayscale8);
    ImageWriter writer;
    const QString path = QStringLiteral("originalimage/cammer11/template3.bmp");
    for (int gray : {11, 22}) {
        image.fill(gray);
        ASSERT_TRUE(writer.write(path, image.copy()));
        writer.waitIdle();
        if (gray == 11) {
            ASSERT_EQ(::link(QFile::encodeName(path).constData(), "held.bmp"), 0);
        }
    }
    EXPECT_EQ(qGray(QImage(QStringLiteral("held.bmp")).pixel(1, 1)), 11) << "the old file was written over in place";
    EXPECT_EQ(qGray(QImage(path).pixel(1, 1)), 22);
    EXPECT_EQ(QDir(QStringLiteral("originalimage/cammer11")).entryList(QDir::Files), QStringList{"template3.bmp"});
}
