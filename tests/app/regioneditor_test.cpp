// The region editor in the real window: drawing by touch on camera 1, the save with its table rows
// and operation-record rows, and the region limit.
#include "app/mojuwizard.h"
#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "app/wiring.h"
#include "camera/cameraglobals.h"
#include "core/globals.h"
#include "core/texttable.h"
#include "cycle/replaystore.h"
#include "log/operationrecord.h"
#include "params/cavitynames.h"
#include "params/wizardpara.h"
#include "tests/support/stationboard.h"
#include "tests/support/stationdir.h"
#include "ui/prompt.h"
#include "ui/widgets/choosers.h"
#include "ui/regions/drawroiwidget.h"
#include "ui/regions/regioncanvas.h"
#include "ui/regions/replaydialog.h"
#include "ui/warnbox.h"
#include "vision/cameravision.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

void makeCamera(const QString &folder, const char *serial)
{
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/serial"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(serial);
    file.write("\n");
    file.close();
    cv::Mat frame(1024, 1280, CV_8UC1, cv::Scalar(70));
    cv::circle(frame, cv::Point(640, 512), 200, cv::Scalar(230), cv::FILLED);
    const QString temporary = folder + QStringLiteral("/.next.png");
    ASSERT_TRUE(cv::imwrite(temporary.toStdString(), frame));
    ASSERT_TRUE(QFile::rename(temporary, folder + QStringLiteral("/frame.png")));
}

void waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A finger on the canvas at image point p.
void touch(RegionCanvas *canvas, QEvent::Type type, QPoint image)
{
    const QPointF at = canvas->imageToView().map(QPointF(image) + QPointF(0.5, 0.5));
    QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
}

void tap(RegionCanvas *canvas, QPoint image)
{
    touch(canvas, QEvent::MouseButtonPress, image);
    touch(canvas, QEvent::MouseButtonRelease, image);
}

QString tableRow(const QString &name)
{
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("dbIn")));
    q.prepare(QStringLiteral("select * from cammer0 where name=?"));
    q.addBindValue(name);
    if (!q.exec() || !q.next())
        return QStringLiteral("<none>");
    return q.value(1).toString().trimmed();
}

// The real window on two folder cameras with the editor open on camera 1; every question is
// answered yes and warnings are collected.
void onEditor(const std::function<void(MoJuWizard &, DrawROIWidget *, QStringList &)> &body)
{
    StationBoard();
    FillTextTable();
    gLan = 1;
    static QTemporaryDir cameras;
    ASSERT_TRUE(cameras.isValid());
    makeCamera(cameras.filePath(QStringLiteral("cam1")), "SIMCAM001");
    makeCamera(cameras.filePath(QStringLiteral("cam2")), "SIMCAM002");
    TempStation station;
    CameraPaths::inputDevices = station.file(QStringLiteral("none")).toStdString();
    qputenv("MOULD_SIM_CAMERAS", cameras.path().toLocal8Bit());
    Prompt::SetAnswerer([](const Prompt::Asked &) { return QVariant(1); });
    QStringList warnings;
    WarnBox::setAnswerer([&](const WarnBox &box) {
        if (qobject_cast<const ChooseBox *>(&box))
            return QDialog::Accepted;  // every question answered yes
        warnings << box.text();
        return QDialog::Accepted;
    });
    StationWiring::InstallOperatorPort();
    {
        MoJuWizard window;
        ASSERT_TRUE(window.isUp());
        window.show();
        waitFor([&] { return window.cameraView(0)->framesTaken() > 0; }, 5000);
        body(window, window.regionEditor(), warnings);
    }
    CloseStationDatabases();
    qunsetenv("MOULD_SIM_CAMERAS");
    Prompt::SetAnswerer(nullptr);
    WarnBox::setAnswerer(nullptr);
}

QStringList recordRows(MoJuWizard &window)
{
    window.operationRecord()->Flush();
    QSqlQuery q(window.operationRecord()->Connection());
    QStringList rows;
    if (q.exec(QStringLiteral("select remarks from RECORD order by rowid")))
        while (q.next())
            rows << q.value(0).toString();
    return rows;
}

}  // namespace

TEST(RegionEditor, DrawOnCameraOneSaveAndTheLimit)
{
    onEditor([](MoJuWizard &window, DrawROIWidget *, QStringList &warnings) {
        // The cavity boxes carry the setter's cavity names.
        QStringList names = CavityNames::Read(QLatin1String(CavityNames::kSavedTable), 0);
        names[1] = QStringLiteral("Left'2");
        ASSERT_TRUE(CavityNames::Write(QLatin1String(CavityNames::kSavedTable), 0, names));
        CavityNames::Close();
        CavityNames::Databaseinit();
        window.SlotAdjustArea();
        DrawROIWidget *editor = window.regionEditor();
        ASSERT_TRUE(editor && editor->isVisible());
        QStringList boxTexts;
        for (const CheckBox *box : editor->findChildren<CheckBox *>())
            boxTexts << box->text();
        EXPECT_TRUE(boxTexts.contains(QStringLiteral("Left'2"))) << boxTexts.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(editor->camera(), 0);
        EXPECT_EQ(editor->source(), DrawROIWidget::SourceTemplate);
        EXPECT_EQ(editor->detectionBox()->itemText(0), QStringLiteral("Prod"));
        EXPECT_EQ(editor->detectionBox()->itemText(1), QStringLiteral("Mold"));
        RegionCanvas *canvas = editor->canvas();
        CameraVision *vision = window.cameras()->vision(0);
        const int before = vision->singleton.roiNum[0];
        window.operationRecord()->Flush();

        // A rectangle by dragging, a polygon by three taps ended by the second "Draw Polygon".
        editor->button(49)->click();
        touch(canvas, QEvent::MouseButtonPress, {200, 150});
        touch(canvas, QEvent::MouseMove, {350, 260});
        touch(canvas, QEvent::MouseButtonRelease, {500, 400});
        editor->button(53)->click();
        tap(canvas, {600, 200});
        tap(canvas, {900, 200});
        tap(canvas, {750, 500});
        EXPECT_EQ(editor->button(53)->text(), QStringLiteral("End Polygon"));
        editor->button(53)->click();
        ASSERT_EQ(vision->singleton.roiNum[0], before + 2);
        // The selected polygon's handles are finger-sized on screen, though the picture is scaled down.
        for (const QRect &h : canvas->handleRects())
            EXPECT_GE(h.width(), 40);
        if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
            window.grab().save(dir + QStringLiteral("/region-editor.png"));

        editor->button(1370)->click();  // save, answered yes
        const QString r1 = QStringLiteral("ROI0-%1").arg(before), r2 = QStringLiteral("ROI0-%1").arg(before + 1);
        EXPECT_EQ(tableRow(r1), QStringLiteral("12800 80 500 1 1 0 0 200 150 500 400")) << "image pixels, spot as the factory offers it";
        EXPECT_EQ(tableRow(r2), QStringLiteral("12800 80 500 1 2 0 3 600 200 900 200 750 500"));
        window.operationRecord()->Flush();
        QSqlQuery q(window.operationRecord()->Connection());
        QStringList rows;
        ASSERT_TRUE(q.exec(QStringLiteral("select remarks from RECORD order by rowid")));
        while (q.next())
            rows << q.value(0).toString();
        const QString prefix = QStringLiteral("Detection Prod of camera 1 ");
        const QString defect = QStringLiteral("Spot Detection, the minimum gradation is 0,the maximum gradation is 50, "
                                              "the minimum area is 80,the maximum area is 500");
        EXPECT_TRUE(rows.contains(prefix + QStringLiteral("Added rectangular  area %1, function is ").arg(before + 1) + defect))
            << rows.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(rows.contains(prefix + QStringLiteral("Added Polygon area %1, function is ").arg(before + 2) + defect));
        const qsizetype count = rows.size();
        editor->button(1370)->click();  // nothing changed: no new row
        window.operationRecord()->Flush();
        ASSERT_TRUE(q.exec(QStringLiteral("select count(*) from RECORD")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), count);

        // The 51st region is refused with the limit text.
        while (vision->singleton.roiNum[0] < kMaxRoi) {
            editor->button(49)->click();
            touch(canvas, QEvent::MouseButtonPress, {20, 20});
            touch(canvas, QEvent::MouseButtonRelease, {60, 60});
        }
        warnings.clear();
        editor->button(49)->click();
        touch(canvas, QEvent::MouseButtonPress, {20, 20});
        touch(canvas, QEvent::MouseButtonRelease, {60, 60});
        EXPECT_EQ(vision->singleton.roiNum[0], kMaxRoi);
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_EQ(warnings[0], LanStr(36));
    });
}

// The other ways to draw and edit: circle and gesture by dragging, copy at the pressed point, a
// handle dragged, a size button; the output selector of the product detection; the Live/Template
// switch; and edits that survive the editor being opened again over them (an alarm does that).
TEST(RegionEditor, ShapesHandlesOutputAndEditsThatSurviveReopening)
{
    onEditor([](MoJuWizard &window, DrawROIWidget *, QStringList &warnings) {
        window.SlotAdjustArea();
        DrawROIWidget *editor = window.regionEditor();
        ASSERT_TRUE(editor && editor->isVisible());
        RegionCanvas *canvas = editor->canvas();
        CammerSingleton &r = window.cameras()->vision(0)->singleton;
        const int before = r.roiNum[0];

        editor->button(51)->click();  // circle: centre at the press, radius by the drag
        touch(canvas, QEvent::MouseButtonPress, {300, 300});
        touch(canvas, QEvent::MouseButtonRelease, {360, 300});
        editor->button(104)->click();  // gesture: a vertex per move
        touch(canvas, QEvent::MouseButtonPress, {700, 300});
        for (const QPoint p : {QPoint(800, 310), QPoint(820, 420), QPoint(720, 430)})
            touch(canvas, QEvent::MouseMove, p);
        touch(canvas, QEvent::MouseButtonRelease, {700, 400});
        ASSERT_EQ(r.roiNum[0], before + 2);
        EXPECT_EQ(r.roiType[0][before], int(ShapeCircle));
        EXPECT_EQ(r.roiType[0][before + 1], int(ShapePolygon));
        EXPECT_GE(r.polygon[0][before + 1].count(), 4);

        // Copy the circle to a pressed point; grow it by its outer-radius handle and the +10 button.
        canvas->select(before);
        editor->button(9)->click();
        tap(canvas, {500, 700});
        ASSERT_EQ(r.roiNum[0], before + 3);
        EXPECT_EQ(r.circle[0][before + 2].outerRadius(), r.circle[0][before].outerRadius());
        const int radius = r.circle[0][before + 2].outerRadius();
        const std::vector<QRect> handles = canvas->handleRects();
        ASSERT_FALSE(handles.empty());
        const QPoint grip = canvas->imageToView().inverted().map(handles.front().center());  // the outer radius
        touch(canvas, QEvent::MouseButtonPress, grip);
        touch(canvas, QEvent::MouseMove, grip + QPoint(30, 0));
        touch(canvas, QEvent::MouseButtonRelease, grip + QPoint(30, 0));
        const int dragged = r.circle[0][before + 2].outerRadius();
        EXPECT_NE(dragged, radius) << "the handle drag changed nothing";

        // The output group: only on the product detection; its change is recorded with the region.
        editor->button(476)->click();
        EXPECT_EQ(r.roiOut[before + 2], 1);
        EXPECT_EQ(editor->button(476)->text(), QStringLiteral("Out 2"));

        // Opened again while edited (as an alarm would): the edits keep their backup.
        editor->open(0, false);
        EXPECT_TRUE(editor->dirty());
        editor->button(1370)->click();
        const QStringList rows = recordRows(window);
        EXPECT_EQ(rows.filter(QStringLiteral("Added circle area %1").arg(before + 3)).size(), 1)
            << rows.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(rows.filter(QStringLiteral("Added Polygon area %1").arg(before + 2)).size(), 1);

        editor->SlotChangeDetect(1);
        canvas->select(-1);
        EXPECT_FALSE(editor->button(476)->isEnabled()) << "the mould detection has no output selector";
        editor->button(212)->click();  // Live <-> Template
        EXPECT_EQ(editor->source(), DrawROIWidget::SourceLive);
        editor->button(212)->click();
        EXPECT_EQ(editor->source(), DrawROIWidget::SourceTemplate);
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('|')).toStdString();
    });
}

// "Try on stored cycles" judges the stored pictures with the region being edited, before it is
// saved: a new white-area region would fail the stored good cycle with a white patch in it and
// pass the stored failure without one. The save's record carries the trial's figures.
TEST(RegionEditor, TryOnStoredCyclesBeforeSaving)
{
    StationBoard();
    FillTextTable();
    gLan = 1;
    static QTemporaryDir cameras;
    ASSERT_TRUE(cameras.isValid());
    makeCamera(cameras.filePath(QStringLiteral("cam1")), "SIMCAM001");
    TempStation station;
    CameraPaths::inputDevices = station.file(QStringLiteral("none")).toStdString();
    qputenv("MOULD_SIM_CAMERAS", cameras.path().toLocal8Bit());
    Prompt::SetAnswerer([](const Prompt::Asked &) { return QVariant(1); });
    WarnBox::setAnswerer([](const WarnBox &) { return QDialog::Accepted; });
    StationWiring::InstallOperatorPort();
    {
        const cv::Mat scene = cv::imread(cameras.filePath(QStringLiteral("cam1/frame.png")).toStdString(), cv::IMREAD_GRAYSCALE);
        cv::Mat patched = scene.clone();
        patched(cv::Rect(150, 150, 15, 15)).setTo(255);
        ReplayStore store;
        const QDateTime at(QDate(2026, 12, 7), QTime(4, 0));
        for (int k = 0; k < 5; ++k)
            ASSERT_TRUE(store.keep(0, 0, k == 3 ? patched : scene, true, {}, at.addSecs(k)));
        ASSERT_TRUE(store.keep(0, 0, scene, false, {0}, at.addSecs(9)));
        store.waitIdle();

        MoJuWizard window;
        ASSERT_TRUE(window.isUp());
        window.resize(1920, 1080);
        window.show();
        window.SlotAdjustArea();
        DrawROIWidget *editor = window.regionEditor();
        ASSERT_TRUE(editor && editor->isVisible());
        CameraVision *vision = window.cameras()->vision(0);
        const int i = vision->singleton.roiNum[0];
        editor->button(49)->click();
        touch(editor->canvas(), QEvent::MouseButtonPress, {100, 100});
        touch(editor->canvas(), QEvent::MouseButtonRelease, {300, 250});
        ASSERT_EQ(vision->singleton.roiNum[0], i + 1);
        vision->singleton.ApplyFunctionDefaults(0, i, FuncWhiteArea);
        vision->singleton.roiPara3[0][i] = 100;

        QPushButton *trial = editor->button(1540);
        ASSERT_TRUE(trial);
        EXPECT_GE(trial->height(), 60);
        trial->click();
        ReplayDialog *dialog = editor->replayDialog();
        ASSERT_TRUE(dialog);
        waitFor([&] { return dialog->hasResult(); }, 60000);
        ASSERT_TRUE(dialog->hasResult());
        const Replay::Result &r = dialog->result();
        EXPECT_EQ(r.storedGood, 5);
        EXPECT_EQ(r.goodNowFailing, 1);
        EXPECT_EQ(r.storedFailed, 1);
        EXPECT_EQ(r.failedNowPassing, 1);
        ASSERT_EQ(r.flips.size(), 2);
        EXPECT_EQ(r.flips[0].regions, QList<int>{i});
        EXPECT_TRUE(dialog->summary()->text().startsWith(QStringLiteral("1 of 5 stored good cycles would fail; 1 of 1")));
        for (QPushButton *b : {dialog->previousButton(), dialog->nextButton(), dialog->closeButton()})
            EXPECT_GE(b->height(), 60);
        if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
            dialog->grab().save(dir + QStringLiteral("/replay-dialog.png"));
        dialog->nextButton()->click();
        EXPECT_EQ(dialog->shownFlip(), 1);
        dialog->closeButton()->click();
        waitFor([&] { return editor->replayDialog() == nullptr; }, 2000);

        editor->button(1370)->click();  // save, answered yes
        window.operationRecord()->Flush();
        QSqlQuery q(window.operationRecord()->Connection());
        QStringList rows;
        ASSERT_TRUE(q.exec(QStringLiteral("select remarks from RECORD order by rowid")));
        while (q.next())
            rows << q.value(0).toString();
        EXPECT_TRUE(rows.contains(QStringLiteral("Detection Prod of camera 1 tried on stored cycles before saving: "
                                                 "1 of 5 good cycles would fail, 1 of 1 failures would pass")))
            << rows.join(QLatin1Char('|')).toStdString();
    }
    CloseStationDatabases();
    qunsetenv("MOULD_SIM_CAMERAS");
    Prompt::SetAnswerer(nullptr);
    WarnBox::setAnswerer(nullptr);
}
