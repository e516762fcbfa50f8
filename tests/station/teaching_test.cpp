// The teaching through damage: a damaged PARAM.db comes back from the last good copy (or, with
// none left, from the factory copy with the station held until it is taught), a region table
// that cannot be read holds detection, and detections never taught are said so.
#include "tests/station/stationfixture.h"

#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/globals.h"
#include "params/lastgood.h"
#include "tests/support/testport.h"
#include "ui/indexpanel.h"
#include "ui/regions/drawroiwidget.h"
#include "ui/regions/regioncanvas.h"
#include "ui/widgets/choosers.h"
#include "vision/cameravision.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>

#include <QDir>
#include <QPushButton>
#include <QSqlQuery>

namespace {

class Teaching : public StationScenario
{
protected:
    void SetUp() override
    {
        StationScenario::SetUp();
        OperatorPort::install(&port);
    }
    int recorded(const QString &text) { return records().filter(text).size(); }
    TestOperatorPort port;
};

// Damages PARAM.db; the station comes up once, restores it and asks for a restart.
void damageAndRestart(const char *how)
{
    QFile file(QStringLiteral("PARAM.db"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const int size = int(file.size());
    if (qstrcmp(how, "truncated") == 0 || qstrcmp(how, "empty") == 0)
        file.resize(*how == 't' ? size / 2 : 0);
    else
        file.write(QByteArray(size, *how == 'z' ? '\0' : 'x'));
    file.close();
    {
        MoJuWizard damaged;
        EXPECT_FALSE(damaged.isUp());
    }
    CloseStationDatabases();
}

}  // namespace

TEST_F(Teaching, DamagedParametersComeBackFromTheLastGoodCopyElseTheStationHolds)
{
    teachFault(1, 1);
    int restores = 0;
    for (const char *how : {"truncated", "zeroed", "garbage", "empty"}) {
        SCOPED_TRACE(how);
        damageAndRestart(how);
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_EQ(recorded(QStringLiteral("restored from the last good copy")), ++restores);
        EXPECT_TRUE(window().isDetecting());
        EXPECT_EQ(window().cameras()->vision(1)->singleton.roiNum[1], 1) << "the taught region is back";
        shutDown();
    }

    // Only the factory copy left: stopped, clamping prohibited, told, at every start until taught.
    QDir(LastGood::Dir()).removeRecursively();
    damageAndRestart("garbage");
    const QString mustBeTaught = gaLanStr[1022 * kLanguages + 1];
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_FALSE(window().isDetecting());
        EXPECT_TRUE(waitOutput(1, true, 1000));
        EXPECT_EQ(port.warnings.count(mustBeTaught), round);
        EXPECT_EQ(recorded(mustBeTaught.simplified()), round);
        shutDown();
    }
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(window().isDetecting());
    EXPECT_EQ(port.warnings.count(mustBeTaught), 2);
}

TEST_F(Teaching, UnreadableRegionTableHoldsDetectionAndEmptyDetectionsAreNotTaught)
{
    teachFault(0, 0);
    ASSERT_TRUE(OpenStationDatabases());
    EXPECT_TRUE(QSqlQuery(QSqlDatabase::database(QStringLiteral("dbIn")))
                    .exec(QStringLiteral("update cammer0 set value='abc' where name='detect0'")));
    CloseStationDatabases();

    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_FALSE(window().isDetecting());
    EXPECT_TRUE(waitOutput(1, true, 1000));
    EXPECT_EQ(port.warnings, QStringList{QStringLiteral("Camera parameter file error!")});
    EXPECT_EQ(recorded(QStringLiteral("Camera parameter file error! cammer0: detect0 = 'abc'")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Not taught")), 0) << "said when detection starts";

    // The operator starts detection: every detection without a region is recorded, a failed one not.
    window().indexButton()->startStop->click();
    ASSERT_TRUE(window().isDetecting());
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Prod: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Prod: Not taught")), 0);
}

// A factory station taught on its own screens: resample, draw one region per camera and
// detection over the cavity, set its check, save, and leave the editor. The next cycles pass
// clean moulds and hold the machine on a part left in camera 2's mould.
using ScreenTeaching = StationScenario;

TEST_F(ScreenTeaching, SetterTeachesTwoCamerasOnTheEditorAlone)
{
    ASSERT_NO_FATAL_FAILURE(start());
    MoJuWizard &w = window();
    w.show();
    chooseAnswer = QDialog::Accepted;
    int taps = 0;
    auto press = [&](QPushButton *b) {
        ASSERT_TRUE(b && b->isVisible() && b->isEnabled());
        b->click();
        ++taps;
    };
    ASSERT_NO_FATAL_FAILURE(press(w.indexButton()->areaSettings));
    DrawROIWidget *editor = w.regionEditor();
    ASSERT_TRUE(editor && editor->isVisible());

    // Resample: the next machine cycle's frames become the templates, then the region check opens.
    ASSERT_NO_FATAL_FAILURE(press(editor->button(129)));
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::Browsing; }, 3000));
    setInput(1, false);
    settle(200);
    ASSERT_TRUE(editor->isVisible());

    RegionCanvas *canvas = editor->canvas();
    auto finger = [&](QEvent::Type type, QPoint image) {
        const QPointF at = canvas->imageToView().map(QPointF(image) + QPointF(0.5, 0.5));
        QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    };
    const QRect around = kFault.adjusted(-12, -12, 12, 12);
    for (int camera = 0; camera < kCameras; ++camera) {
        if (editor->camera() != camera) {
            editor->cameraBox()->setCurrentIndex(camera);
            emit editor->cameraBox()->activated(camera);
            ++taps;
        }
        for (int d = 0; d < 2; ++d) {
            if (editor->detection() != d) {
                editor->detectionBox()->setCurrentIndex(d);
                emit editor->detectionBox()->activated(d);
                ++taps;
            }
            ASSERT_NO_FATAL_FAILURE(press(editor->button(49)));  // "Draw Rectangle", then one drag
            finger(QEvent::MouseButtonPress, around.topLeft());
            finger(QEvent::MouseMove, around.center());
            finger(QEvent::MouseButtonRelease, around.bottomRight());
            ++taps;
            CameraVision *v = w.cameras()->vision(camera);
            ASSERT_EQ(v->singleton.roiNum[d], 1);
            for (int k = 0; k < 12 && v->singleton.roiFunc[d][0] != FuncDefect; ++k)
                ASSERT_NO_FATAL_FAILURE(press(editor->button(2)));  // "Func" steps to the gray-difference check
            ASSERT_EQ(v->singleton.roiFunc[d][0], FuncDefect);
        }
        ASSERT_NO_FATAL_FAILURE(press(editor->button(1370)));  // save, answered yes
    }
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
        w.grab().save(dir + QStringLiteral("/region-check.png"));
    ASSERT_NO_FATAL_FAILURE(press(editor->button(42)));  // "End Set" ends the region check
    ASSERT_TRUE(waitUntil([&] { return cycle().detectState == InspectionCycle::Detecting && !editor->isVisible(); }, 2000));
    std::printf("taught 2 cameras x 2 detections in %d taps\n", taps);
    EXPECT_LE(taps, 50) << "teaching got longer on the screen";
    EXPECT_EQ(records().filter(QStringLiteral("Added rectangular  area 1")).size(), 4);

    // A clean mould releases the clamp; a part left in camera 2's mould holds it with the alarm.
    setInput(1, true);
    auto t0 = lastInput();
    EXPECT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 3000)) << "a clean mould must pass";
    EXPECT_LT(msToOutput(3, true, t0), 0);
    setInput(1, false);
    settle(150);
    showFrame(1, true);
    setInput(1, true);
    t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    EXPECT_FALSE(cycle().cameraOk(1));
    EXPECT_TRUE(cycle().cameraOk(0));
    settle(200);
    EXPECT_TRUE(output(1)) << "clamping stays prohibited";
    EXPECT_LT(msToOutput(1, false, t0), 0);
    setInput(1, false);
}
