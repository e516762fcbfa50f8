// Cycle records and the USB exports: day rollover at insert, the converter's day queries, the
// statistics workbook as a spreadsheet reader sees it, the stick finder and the program data.
#include "core/globals.h"
#include "core/systemgateway.h"
#include "records/detectcycle.h"
#include "records/resstatistics.h"
#include "records/usbexport.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QEventLoop>
#include <QTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

// Every cell of every sheet of an .xlsx, read with Python's zipfile and XML parser:
// "sheet<TAB>cell<TAB>cell..." per row, numbers with 6 significant digits.
QStringList ReadWorkbook(const QString &file)
{
    static const char *script = R"(
import sys, zipfile, xml.etree.ElementTree as ET
m = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
r = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
z = zipfile.ZipFile(sys.argv[1])
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    shared = [''.join(t.text or '' for t in si.iter(m + 't')) for si in ET.fromstring(z.read('xl/sharedStrings.xml'))]
rels = {x.get('Id'): x.get('Target') for x in ET.fromstring(z.read('xl/_rels/workbook.xml.rels'))}
for sheet in ET.fromstring(z.read('xl/workbook.xml')).find(m + 'sheets'):
    for row in ET.fromstring(z.read('xl/' + rels[sheet.get(r + 'id')])).iter(m + 'row'):
        cells = []
        for c in row.findall(m + 'c'):
            v = c.find(m + 'v')
            value = '' if v is None else v.text
            cells.append(shared[int(value)] if c.get('t') == 's' else '%g' % float(value) if value else '')
        print(sheet.get('name') + '\t' + '\t'.join(cells))
)";
    QProcess python;
    python.start("python3", {"-c", script, file});
    python.waitForFinished(20000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QDateTime At(const char *when) { return QDateTime::fromString(QLatin1String(when), "yyyy-MM-dd hh:mm:ss.zzz"); }

class Exports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        numCamera = 2;
        gDNum = 2;
        UsbStick::SetMountPoint(m_stick.path());
        SystemGateway::clearRecorded();
    }
    void TearDown() override { UsbStick::SetMountPoint(QString()); }

    TempStation m_station;
    TestOperatorPort m_port;
    QTemporaryDir m_stick;
};

TEST(CycleQueries, OneLinePerCalendarDay)
{
    const QStringList three = CycleExport::QueryLines(At("2026-12-01 22:00:00.000"), At("2026-12-03 02:00:00.000"));
    ASSERT_EQ(three.size(), 3);
    const char *bounds[3][2] = {{"2026-12-01 22:00:00.000", "2026-12-01 23:59:59.999"},
                                {"2026-12-02 00:00:00.000", "2026-12-02 23:59:59.999"},
                                {"2026-12-03 00:00:00.000", "2026-12-03 02:00:00.000"}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(three[i], QString("SELECT roundstart,roundtime FROM detect_cycle WHERE roundstart BETWEEN '%1' AND '%2'")
                                .arg(bounds[i][0], bounds[i][1]));
    EXPECT_EQ(CycleExport::QueryLines(At("2026-12-01 08:00:00.000"), At("2026-12-01 09:00:00.000")).size(), 1);
    EXPECT_TRUE(CycleExport::QueryLines(At("2026-12-02 08:00:00.000"), At("2026-12-01 09:00:00.000")).isEmpty());
}

// Cycles over three days, rolled over as they are inserted, exported from 22:00 on day 1 to 02:00
// on day 3: three query lines, and the workbook on the stick holds the cycle at 23:59:59.5.
TEST_F(Exports, CycleRecordsRollOverAndExportThreeDays)
{
    QDir().mkpath("DetectCycle");
    QFile garbage("DetectCycle/time.txt");  // counts as missing: the running file is today's
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("\n\x01junk");
    garbage.close();
    QDateTime now = At("2026-12-01 21:59:00.000");
    DetectCycleSQL cycles([&] { return now; });
    EXPECT_EQ(cycles.storedDay(), QDate(2026, 12, 1));
    const struct { const char *when; int tenths; } inserts[] = {
        {"2026-12-01 21:59:30.000", 123}, {"2026-12-01 22:30:00.000", 250}, {"2026-12-01 23:59:59.500", 301},
        {"2026-12-02 12:00:00.000", 88},  {"2026-12-03 01:59:00.000", 40},  {"2026-12-03 02:30:00.000", 41},
    };
    for (const auto &insert : inserts) {
        now = At(insert.when);
        ASSERT_TRUE(cycles.insertCycle(insert.tenths));
    }
    EXPECT_EQ(DetectCycleSQL::getDBName(), QStringList({"2026-12-01", "2026-12-02"}));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(DetectCycleSQL::ArchivePath("2026-12-01"));
        ASSERT_TRUE(db.open());
        QSqlQuery q("SELECT roundtime, typeof(roundtime) FROM detect_cycle ORDER BY idx", db);
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), "12.3");
        EXPECT_EQ(q.value(1).toString(), "text");
    }
    QSqlDatabase::removeDatabase("peek");

    CycleExportJob job;
    QEventLoop loop;
    bool ok = false;
    QString onStick;
    QObject::connect(&job, &CycleExportJob::finished, &loop, [&](bool success, const QString &file) {
        ok = success;
        onStick = file;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(job.start(At("2026-12-01 22:00:00.000"), At("2026-12-03 02:00:00.000"), m_stick.path()));
    loop.exec();
    ASSERT_TRUE(ok) << onStick.toStdString();
    QFile sql("sql.txt");
    ASSERT_TRUE(sql.open(QIODevice::ReadOnly));
    EXPECT_EQ(sql.readAll().count('\n'), 3);
    EXPECT_TRUE(onStick.startsWith(m_stick.path()));
    EXPECT_EQ(QDir().entryList({"*.xlsx"}).size(), 0) << "the file moved to the stick";
    const QStringList rows = ReadWorkbook(onStick);
    EXPECT_EQ(rows.join('\n').toStdString(), QStringList({"2026-12-01\t序号\t检测时间\t周期(s)", "2026-12-01\t1\t2026-12-01 22:30:00.000\t25",
                                 "2026-12-01\t2\t2026-12-01 23:59:59.500\t30.1",
                                 "2026-12-02\t序号\t检测时间\t周期(s)", "2026-12-02\t1\t2026-12-02 12:00:00.000\t8.8",
                                 "2026-12-03\t序号\t检测时间\t周期(s)", "2026-12-03\t1\t2026-12-03 01:59:00.000\t4"})
                                                  .join('\n')
                                                  .toStdString());
    EXPECT_TRUE(SystemGateway::recorded().contains("sync"));

    // The clock set back to a day already archived: its cycles are added to that file.
    now = At("2026-12-02 13:00:00.000");
    ASSERT_TRUE(cycles.insertCycle(77));
    now = At("2026-12-04 08:00:00.000");
    ASSERT_TRUE(cycles.insertCycle(78));
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "merged");
    db.setDatabaseName(DetectCycleSQL::ArchivePath("2026-12-02"));
    ASSERT_TRUE(db.open());
    QSqlQuery q("SELECT group_concat(roundtime, ' ') FROM detect_cycle", db);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "8.8 7.7");
}

// A converter that reports a file the stick cannot take, or no file at all: the export fails
// with the reason, and nothing claims success.
TEST_F(Exports, CycleExportFailsUnlessTheFileIsOnTheStick)
{
    DetectCycleSQL cycles([] { return At("2026-12-01 10:00:00.000"); });
    cycles.insertCycle(50);
    const auto run = [](const QString &stick) {
        CycleExportJob job;
        QEventLoop loop;
        QPair<bool, QString> result{true, "not finished"};
        QObject::connect(&job, &CycleExportJob::finished, &loop, [&](bool ok, const QString &why) {
            result = {ok, why};
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        if (job.start(At("2026-12-01 00:00:00.000"), At("2026-12-01 23:00:00.000"), stick))
            loop.exec();
        return result;
    };
    const auto [noStickOk, noStickWhy] = run(m_stick.filePath("gone"));
    EXPECT_FALSE(noStickOk);
    EXPECT_TRUE(noStickWhy.contains("gone")) << noStickWhy.toStdString();
    EXPECT_EQ(QDir().entryList({"*.xlsx"}).size(), 1) << "the workbook stays in the station";

    QFile::remove("cnt_net/xls");
    const auto [noConverterOk, noConverterWhy] = run(m_stick.path());
    EXPECT_FALSE(noConverterOk);
    EXPECT_TRUE(QDir(m_stick.path()).entryList(QDir::Files).isEmpty());
}

// The workbook puts each hour under its own header column (8:00 first) and sums every detection
// step; the running day comes first, then the archived days.
TEST_F(Exports, StatisticsWorkbookIsAlignedAndSummedOverSteps)
{
    QDateTime now = At("2026-12-07 09:00:00.000");
    gDNum = 3;
    {
        ResStatisticsParam stats([&] { return now; });
        stats.Add(8, true, 0, 0);
        stats.Add(8, true, 0, 2);
        stats.Add(7, false, 0, 1);
        stats.Add(23, true, 1, 1);
        now = At("2026-12-08 08:30:00.000");
        stats.Add(8, false, 1, 0);
    }
    ASSERT_TRUE(StatisticsExport::Write("stats.xlsx", "2026-12-08", 2));
    const QStringList rows = ReadWorkbook("stats.xlsx");
    ASSERT_EQ(rows.size(), 10);
    QStringList header = StatisticsExport::Header();
    EXPECT_EQ(rows[0], "Camera0\t" + header.join('\t'));
    EXPECT_EQ(header[1], "8:00");
    EXPECT_EQ(header[16], "23:00");
    EXPECT_EQ(header[24], "7:00");
    const auto row = [](const QString &label, QList<int> set) {
        QStringList cells{label};
        for (int k = 1; k <= 24; ++k)
            cells << QString::number(set.contains(k) ? 1 : 0);
        return cells.join('\t');
    };
    EXPECT_EQ(rows[1], "Camera0\t" + row("2026-12-08-ok", {}));
    EXPECT_EQ(rows[3], "Camera0\t" + row("2026-12-07-ok", {}).replace("ok\t0", "ok\t2"));
    EXPECT_EQ(rows[4], "Camera0\t" + row("2026-12-07-ng", {24}));
    EXPECT_EQ(rows[6], "Camera1\t" + row("2026-12-08-ok", {}));
    EXPECT_EQ(rows[7], "Camera1\t" + row("2026-12-08-ng", {1}));
    EXPECT_EQ(rows[8], "Camera1\t" + row("2026-12-07-ok", {16}));
}

TEST(UsbFinder, BlkidCandidates)
{
    const QString blkid = "/dev/sdb1: LABEL=\"STICK\" UUID=\"1A2B\" TYPE=\"vfat\" PARTUUID=\"x\"\n"
                          "/dev/sda2: UUID=\"e1\" TYPE=\"ext4\" PTTYPE=\"dos\"\n"
                          "/dev/sda3: UUID=\"n1\" TYPE=\"ntfs\"\n"
                          "/dev/sdc1: SEC_TYPE=\"msdos\" UUID=\"c\" TYPE=\"exfat\"\n"
                          "/dev/sdd1: PTTYPE=\"vfat\" TYPE=\"swap\"\n";
    EXPECT_EQ(UsbStick::Candidates(blkid), QStringList({"/dev/sdb1", "/dev/sdc1"}));
    EXPECT_TRUE(UsbStick::Candidates("/dev/sdb1: TYPE=\"vfat\"\n").isEmpty()) << "no system disk known";
    EXPECT_TRUE(UsbStick::MountedAt("/dev/sdb1 /mnt vfat rw 0 0\n", "/dev/sdb1", "/mnt"));
    EXPECT_FALSE(UsbStick::MountedAt("/dev/sdb1 /mnt2 vfat rw 0 0\n", "/dev/sdb1", "/mnt"));
}

// Without a stick the operator is asked until he refuses; with one, the station directory is
// copied and verified before the stored camera images are deleted.
TEST_F(Exports, ProgramDataAndTheRetryQuestion)
{
    UsbStick::SetMountPoint(m_stick.filePath("absent"));
    m_port.answer = false;
    EXPECT_TRUE(UsbStick::FindForExport(false).isEmpty());
    EXPECT_EQ(m_port.questions.size(), 1);

    QDir().mkpath("originalimage/cammer11");
    QFile image("originalimage/cammer11/template0.bmp");
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write("raw");
    image.close();
    // A stick that cannot take the copy: nothing is deleted.
    QFile blocker(m_stick.filePath("full"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(ProgramDataExport::Run(m_stick.filePath("full"), "2026-12-08_10.00.00", 2, 2));
    EXPECT_TRUE(image.exists());

    UsbStick::SetMountPoint(m_stick.path());
    m_port.answer = true;
    const QString stick = UsbStick::FindForExport(true);
    ASSERT_EQ(stick, m_stick.path());
    ASSERT_TRUE(ProgramDataExport::Run(stick, "2026-12-08_10.00.00", 2, 2));
    const QString copied = m_stick.filePath("2026-12-08_10.00.00/" + QDir::current().dirName());
    EXPECT_TRUE(QFile::exists(copied + "/originalimage/cammer11/template0.bmp"));
    EXPECT_TRUE(QFile::exists(copied + "/cnt_net/xls"));
    EXPECT_FALSE(image.exists());
    EXPECT_TRUE(QDir("originalimage/cammer11").exists());
}

}  // namespace
