// The region tables of a camera: rows in PARAM.db, repairs on load, save order and stale rows.
#include "vision/cammersingleton.h"

#include "log/eventrecord.h"

#include "visionfixture.h"

namespace {

class RegionTable : public VisionFixture
{
protected:
    const QString table = QStringLiteral("cammer0");

    // A 'detect%1' row: count, then 16 cavity flags (the first one 2).
    void putDetect(int d, int count) { putRow(table, QStringLiteral("detect%1").arg(d), QStringLiteral("%1 2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0").arg(count)); }
};

void expectDefaultRegion(const CammerSingleton &s, int d, int i)
{
    EXPECT_EQ(s.roiType[d][i], ShapeRect);
    EXPECT_EQ(s.roiFunc[d][i], FuncDefect);
    EXPECT_EQ(s.roiPara1[d][i], 3);
    EXPECT_EQ(s.roiPara2[d][i], 45);
    EXPECT_EQ(s.roiPara3[d][i], 100);
    EXPECT_EQ(s.rect[d][i].topLeft(), QPoint(50, 50));
    EXPECT_EQ(s.rect[d][i].bottomRight(), QPoint(100, 100));
}

}  // namespace

TEST_F(RegionTable, RegionCountOutsideRangeIsReportedAndLoadsNone)
{
    const struct { const char *name; int count; bool warned; int loaded; } rows[] = {
        {"empty", 0, false, 0},
        {"atMaximum", 50, false, 50},
        {"oneAboveMaximum", 51, true, 0},
        {"negative", -1, true, 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        warnings.clear();
        putDetect(1, r.count);
        for (int i = 0; i < r.loaded; ++i)
            putRow(table, QStringLiteral("ROI1-%1").arg(i), QStringLiteral("3 45 100 0 1 0 0 50 50 100 100 "));
        CammerSingleton s(0);
        RegionMasks masks;
        s.LoadDatafromFile(&masks);
        EXPECT_EQ(s.roiNum[1], r.loaded);
        EXPECT_EQ(s.cavity[1][0], 2);
        ASSERT_EQ(warnings.size(), r.warned ? 1 : 0);
        if (r.warned) {
            EXPECT_EQ(warnings.front(), QStringLiteral("Camera parameter file error!"));
        }
        // The regions load, each with its mask.
        if (r.loaded > 0) {
            expectDefaultRegion(s, 1, r.loaded - 1);
            EXPECT_EQ(masks[1][r.loaded - 1].size(), cv::Size(51, 51));
        }
    }
}

// A table that is not as the station wrote it fails to load: one warning per camera, the damaged
// rows in the record; a save mends it. A count stored as 0 is a detection never taught, no failure.
TEST_F(RegionTable, DamagedTablesFailToLoadAndEmptyOnesAreNotTaught)
{
    const QString rect = QStringLiteral("3 45 100 0 1 0 0 50 50 100 100 ");
    const struct { const char *name; QString detect; QStringList regions; int loaded; const char *recorded; } rows[] = {
        {"taught", "1 2", {rect}, 1, ""},
        {"neverTaught", "0", {}, 0, ""},
        {"countIsText", "abc 2 0", {rect}, 0, "cammer0: detect1 = 'abc 2 0'"},
        {"countMissing", " ", {}, 0, "cammer0: detect1 = ''"},
        {"regionRowMissing", "2", {rect}, 2, "cammer0: ROI1-1 missing"},
        {"regionRowText", "1", {"3 45 garbage 0 1 0 0 50 50 100 100"}, 1, "cammer0: ROI1-0 = '3 45 garbage"},
        {"unknownShape", "1", {"3 45 100 0 7 0 0 50 50 100 100"}, 1, "cammer0: ROI1-0 = '3 45 100 0 7"},
        {"tableMissing", "", {}, 0, "cammer0: table unreadable"},
    };
    QStringList record;
    EventRecord::SetSink([&](const QString &text) { record << text; });
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        warnings.clear();
        record.clear();
        query().exec(QStringLiteral("drop table %1").arg(table));
        if (!r.detect.isEmpty()) {
            query().exec(QStringLiteral("create table %1(name TEXT, value TEXT)").arg(table));
            putRow(table, QStringLiteral("detect1"), r.detect);
        }
        for (int i = 0; i < r.regions.size(); ++i)
            putRow(table, QStringLiteral("ROI1-%1").arg(i), r.regions[i]);
        CammerSingleton s(0);
        s.LoadDatafromFile(nullptr);
        const bool failed = *r.recorded != '\0';
        EXPECT_EQ(s.LoadFailed(1), failed);
        EXPECT_EQ(s.roiNum[1], r.loaded);
        EXPECT_EQ(s.NotTaught(1), !failed && r.loaded == 0);
        EXPECT_EQ(warnings, failed ? QStringList{QStringLiteral("Camera parameter file error!")} : QStringList());
        EXPECT_TRUE(record.size() == (failed ? 1 : 0) && record.join('|').contains(QLatin1String(r.recorded)))
            << record.join('|').toStdString();

        query().exec(QStringLiteral("create table if not exists %1(name TEXT, value TEXT)").arg(table));
        ASSERT_TRUE(s.SaveDatatoFile());
        CammerSingleton again(0);
        again.LoadDatafromFile(nullptr);
        EXPECT_FALSE(s.LoadFailed() || again.LoadFailed());
    }
    EventRecord::SetSink(nullptr);
}

TEST_F(RegionTable, MissingDetectionRowsAreCreatedWithZero)
{
    CammerSingleton s(0);
    s.LoadDatafromFile(nullptr);
    for (int d = 0; d < kMaxDetect; ++d) {
        EXPECT_EQ(row(table, QStringLiteral("detect%1").arg(d)), QStringLiteral("0"));
        EXPECT_EQ(row(table, QStringLiteral("detect%1NGCount").arg(d)), QStringLiteral("0"));
        EXPECT_EQ(s.roiNum[d], 0);
    }
}

TEST_F(RegionTable, PolygonVertexBound)
{
    const struct { const char *name; int count; bool polygon; } rows[] = {
        {"oneVertex", 1, true},
        {"atMaximum", 8096, true},
        {"aboveMaximum", 8097, false},
        {"zero", 0, false},
        {"negative", -3, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        putDetect(0, 1);
        QString value = QStringLiteral("7 8 9 6 2 1 %1 ").arg(r.count);
        for (int k = 0; k < std::max(r.count, 0); ++k)
            value += QStringLiteral("%1 %2 ").arg(10 + k % 100).arg(20 + k % 50);
        putRow(table, QStringLiteral("ROI0-0"), value);
        CammerSingleton s(0);
        s.LoadDatafromFile(nullptr);
        ASSERT_EQ(s.roiNum[0], 1);
        if (r.polygon) {
            EXPECT_EQ(s.roiType[0][0], ShapePolygon);
            EXPECT_EQ(s.roiFunc[0][0], FuncSimilarity);
            EXPECT_EQ(s.polygon[0][0].count(), r.count);
            EXPECT_EQ(s.polygon[0][0].points().back(), QPoint(10 + (r.count - 1) % 100, 20 + (r.count - 1) % 50));
            EXPECT_EQ(s.roiOut[0], 1);
        } else {
            expectDefaultRegion(s, 0, 0);
            EXPECT_EQ(s.roiOut[0], 0);
        }
    }
}

TEST_F(RegionTable, LoadRepairsOutputGroupAndClampsToTheImage)
{
    putDetect(0, 4);
    putRow(table, "ROI0-0", "3 45 100 0 1 4 0 -20 10 5000 9000 ");       // out 4, corners outside
    putRow(table, "ROI0-1", "3 45 100 0 2 -1 3 -5 -5 400 7 30 9000 ");  // out -1, vertices outside
    putRow(table, "ROI0-2", "3 45 100 0 4 3 0 9999 60 655370 ");         // centre outside, radii 10, 10
    putRow(table, "ROI0-3", "3 45 100 0 1 2 0 10 10 ");                  // numbers missing read as 0
    CammerSingleton s(0);
    s.LoadDatafromFile(nullptr);
    EXPECT_EQ(s.roiOut[0], 0);
    EXPECT_EQ(s.rect[0][0].topLeft(), QPoint(0, 10));
    EXPECT_EQ(s.rect[0][0].bottomRight(), QPoint(kW - 1, kH - 1));
    EXPECT_EQ(s.roiOut[1], 0);
    EXPECT_EQ(s.polygon[0][1].points(), (std::vector<QPoint>{{0, 0}, {kW - 1, 7}, {30, kH - 1}}));
    EXPECT_EQ(s.roiOut[2], 3);
    EXPECT_EQ(s.circle[0][2].center(), QPoint(kW - 1, 60));
    EXPECT_EQ(s.roiOut[3], 2);
    EXPECT_EQ(s.rect[0][3].topLeft(), QPoint(0, 0));
    EXPECT_EQ(s.rect[0][3].bottomRight(), QPoint(10, 10));
}

TEST_F(RegionTable, CircleRadiiArePackedIntoOneNumber)
{
    const struct { const char *name; int outer; int inner; } rows[] = {
        {"disc", 30, 0},
        {"ring", 200, 150},
        {"largestOuter", 65535, 7},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        CammerSingleton s(0);
        s.roiNum[2] = 1;
        s.roiType[2][0] = ShapeCircle;
        s.circle[2][0] = Circle(70, 60, r.outer, r.inner);
        ASSERT_TRUE(s.SaveDatatoFile());
        const QStringList fields = row(table, "ROI2-0").split(' ', Qt::SkipEmptyParts);
        ASSERT_EQ(fields.size(), 10);
        EXPECT_EQ(fields[9].toLongLong(), qint64(r.inner) * 65536 + r.outer);
        CammerSingleton loaded(0);
        loaded.LoadDatafromFile(nullptr);
        EXPECT_EQ(loaded.circle[2][0].outerRadius(), r.outer);
        EXPECT_EQ(loaded.circle[2][0].innerRadius(), r.inner);
        EXPECT_EQ(loaded.circle[2][0].center(), QPoint(70, 60));
    }
}

TEST_F(RegionTable, RowFormats)
{
    CammerSingleton s(0);
    s.roiNum[0] = 3;
    s.cavity[0][15] = 2;
    s.roiNGCount[0][1] = 5;
    s.SetDefaultRegion(0, 0);
    s.roiType[0][1] = ShapeCircle;
    s.circle[0][1] = Circle(40, 41, 12, 3);
    s.roiType[0][2] = ShapePolygon;
    s.polygon[0][2] = RePolygon(std::vector<QPoint>{{1, 2}, {30, 4}, {5, 60}});
    s.roiFunc[0][2] = FuncSpot;
    s.roiPara1[0][2] = 12800;
    s.roiPara2[0][2] = 80;
    s.roiPara3[0][2] = 500;
    s.roiOut[2] = 3;
    ASSERT_TRUE(s.SaveDatatoFile());
    EXPECT_EQ(row(table, "detect0"), "3 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 2");
    EXPECT_EQ(row(table, "detect0NGCount"), "0 5" + QString(" 0").repeated(48) + " ");
    EXPECT_EQ(row(table, "ROI0-0"), "3 45 100 0 1 0 0 50 50 100 100 ");
    EXPECT_EQ(row(table, "ROI0-1"), QStringLiteral("0 0 0 0 4 0 0 40 41 %1 ").arg(3 * 65536 + 12));
    EXPECT_EQ(row(table, "ROI0-2"), "12800 80 500 1 2 3 3 1 2 30 4 5 60 ");
    // The network hears of every detection after its rows were written.
    ASSERT_EQ(roiSent.size(), size_t(kMaxDetect));
    EXPECT_EQ(roiSent.back(), std::make_pair(0, kMaxDetect - 1));
}

TEST_F(RegionTable, OutputGroupBelongsToTheRegionNumber)
{
    CammerSingleton s(0);
    for (int d : {0, 1}) {
        s.roiNum[d] = 4;
        for (int i = 0; i < 4; ++i)
            s.SetDefaultRegion(d, i);
    }
    s.roiOut[3] = 2;
    ASSERT_TRUE(s.SaveDatatoFile());
    for (const char *name : {"ROI0-3", "ROI1-3"})
        EXPECT_EQ(row(table, name).split(' ')[5], "2") << name;
    EXPECT_EQ(row(table, "ROI1-2").split(' ')[5], "0");
}

TEST_F(RegionTable, DeletedRegionsLeaveNoRows)
{
    CammerSingleton s(0);
    for (int d : {0, 1}) {
        s.roiNum[d] = 5;
        for (int i = 0; i < 5; ++i)
            s.SetDefaultRegion(d, i);
    }
    ASSERT_TRUE(s.SaveDatatoFile());
    putRow(table, "ROI0-49", "3 45 100 0 1 0 0 1 1 2 2 ");  // a leftover of an older layout
    s.roiNum[0] = 2;
    ASSERT_TRUE(s.SaveDatatoFile());
    EXPECT_EQ(rowNames(table, "ROI0-%"), (QStringList{"ROI0-0", "ROI0-1"}));
    EXPECT_EQ(rowNames(table, "ROI1-%").size(), 5);
}

TEST_F(RegionTable, SaveIntoAnEmptyTableKeepsEverything)
{
    // No load before: the rows do not exist yet and must be created, not silently skipped.
    CammerSingleton s(0);
    s.roiNum[3] = 2;
    s.SetDefaultRegion(3, 0);
    s.SetDefaultRegion(3, 1);
    s.rect[3][1].setCorners(5, 6, 7, 8);
    ASSERT_TRUE(s.SaveDatatoFile());
    CammerSingleton loaded(0);
    loaded.LoadDatafromFile(nullptr);
    EXPECT_EQ(loaded.roiNum[3], 2);
    EXPECT_EQ(loaded.rect[3][1].bottomRight(), QPoint(7, 8));
}

TEST_F(RegionTable, WrittenTablesLoadBackIdentically)
{
    CammerSingleton s(0);
    cv::RNG rng(7);
    for (int d = 0; d < kMaxDetect; ++d) {
        s.roiNum[d] = d * 7 % 13;
        for (int c = 0; c < kMaxCavity; ++c)
            s.cavity[d][c] = rng.uniform(0, 2) * 2;
        for (int i = 0; i < kMaxRoi; ++i)
            s.roiNGCount[d][i] = rng.uniform(0, 1000);
        for (int i = 0; i < s.roiNum[d]; ++i) {
            s.roiFunc[d][i] = rng.uniform(0, FuncCount);
            s.roiPara1[d][i] = rng.uniform(0, 70000);
            s.roiPara2[d][i] = rng.uniform(0, 256);
            s.roiPara3[d][i] = rng.uniform(0, 100000);
            s.roiOut[i] = rng.uniform(0, 4);
            const int x = rng.uniform(0, kW - 30), y = rng.uniform(0, kH - 30);
            switch (i % 3) {
            case 0:
                s.roiType[d][i] = ShapeRect;
                s.rect[d][i].setCorners(x, y, x + rng.uniform(1, 29), y + rng.uniform(1, 29));
                break;
            case 1:
                s.roiType[d][i] = ShapeCircle;
                s.circle[d][i] = Circle(x + 15, y + 15, 14, rng.uniform(0, 10));
                break;
            default: {
                std::vector<QPoint> points;
                for (int k = 0; k < 3 + i; ++k)
                    points.emplace_back(rng.uniform(0, kW), rng.uniform(0, kH));
                s.roiType[d][i] = ShapePolygon;
                s.polygon[d][i] = RePolygon(points);
            }
            }
        }
    }
    RegionMasks masks;
    for (int d = 0; d < kMaxDetect; ++d)
        for (int i = 0; i < s.roiNum[d]; ++i)
            masks[d][i] = s.UpdateRegionMask(d, i).clone();
    ASSERT_TRUE(s.SaveDatatoFile());

    CammerSingleton loaded(0);
    RegionMasks loadedMasks;
    loaded.LoadDatafromFile(&loadedMasks);
    for (int d = 0; d < kMaxDetect; ++d) {
        ASSERT_EQ(loaded.roiNum[d], s.roiNum[d]);
        for (int c = 0; c < kMaxCavity; ++c)
            EXPECT_EQ(loaded.cavity[d][c], s.cavity[d][c]);
        for (int i = 0; i < kMaxRoi; ++i)
            EXPECT_EQ(loaded.roiNGCount[d][i], s.roiNGCount[d][i]);
        for (int i = 0; i < s.roiNum[d]; ++i) {
            SCOPED_TRACE(QStringLiteral("region %1-%2").arg(d).arg(i).toStdString());
            EXPECT_EQ(loaded.roiFunc[d][i], s.roiFunc[d][i]);
            EXPECT_EQ(loaded.roiPara1[d][i], s.roiPara1[d][i]);
            EXPECT_EQ(loaded.roiPara2[d][i], s.roiPara2[d][i]);
            EXPECT_EQ(loaded.roiPara3[d][i], s.roiPara3[d][i]);
            EXPECT_EQ(loaded.roiType[d][i], s.roiType[d][i]);
            EXPECT_EQ(loaded.roiOut[i], s.roiOut[i]);
            EXPECT_EQ(loaded.RegionImageRect(d, i), s.RegionImageRect(d, i));
            EXPECT_EQ(cv::norm(loadedMasks[d][i], masks[d][i], cv::NORM_INF), 0.0);
        }
    }
}

TEST_F(RegionTable, FunctionSteppingFollowsTheSwitches)
{
    const struct { const char *name; std::vector<int> on; int from; int to; } rows[] = {
        {"next", {0, 1, 2}, 0, 1},
        {"skipsSwitchedOff", {0, 9}, 0, 9},
        {"wrapsToZero", {0, 4}, 4, 0},
        {"onlyOneOffered", {5}, 5, 5},
        {"noneOfferedStays", {}, 3, 3},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        WizardPara para;
        int *switches[] = {&para.enable_defect_detect, &para.enable_spot_detect, &para.enable_ignore_area,
                           &para.enable_manual_edit, &para.enable_black_area, &para.enable_white_area,
                           &para.enable_similarity, &para.enable_white_count, &para.enable_direction,
                           &para.enable_distance};
        for (int *sw : switches)
            *sw = 0;
        for (int f : r.on)
            *switches[f] = 1;
        CammerSingleton s(0);
        s.roiFunc[0][0] = r.from;
        s.roiPara1[0][0] = 77;
        s.ChangeFunction(0, 0, para);
        EXPECT_EQ(s.roiFunc[0][0], r.to);
        if (r.to == FuncDistance) {
            EXPECT_EQ(std::tie(s.roiPara1[0][0], s.roiPara2[0][0], s.roiPara3[0][0]), std::make_tuple(1, 35, 50));
        }
        if (r.from == r.to) {
            EXPECT_EQ(s.roiPara1[0][0], 77);  // nothing else offered: parameters untouched
        }
    }
}
