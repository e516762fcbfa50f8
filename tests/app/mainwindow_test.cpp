// The main window: camera view layouts, zoom and pan of the single view, the zoom buttons, the
// status lines, the input pads, the panel guards, and the real window painting two simulated cameras.
#include "core/globals.h"
#include "ui/alarmband.h"
#include "ui/indexpanel.h"
#include "ui/io/iostatuswidget.h"
#include "ui/mainpanels.h"
#include "app/mojuwizard.h"
#include "app/wiring.h"
#include "ui/prompt.h"
#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/systemgateway.h"
#include "core/texttable.h"
#include "ui/viewstate.h"
#include "ui/statistics/statisticswidget.h"
#include "ui/camerastatus.h"
#include "camera/cameraglobals.h"
#include "cycle/inspectioncycle.h"
#include "ui/warnbox.h"
#include "ui/regions/drawroiwidget.h"
#include "params/wizardpara.h"
#include "tests/support/stationboard.h"
#include "tests/support/stationdir.h"
#include "vision/cameravision.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

TEST(ViewLayout, ViewsTileTheScreenByCameraCount)
{
    const QSize screen(1920, 1080);
    const struct {
        const char *name;
        int cameras;
        QList<QRect> expected;
    } rows[] = {
        {"oneFillsTheScreen", 1, {QRect(0, 0, 1920, 1080)}},
        {"twoColumns", 2, {QRect(0, 0, 960, 1080), QRect(960, 0, 960, 1080)}},
        {"threeOnATwoByTwoGrid", 3, {QRect(0, 0, 960, 540), QRect(960, 0, 960, 540), QRect(0, 540, 960, 540)}},
        {"fourOnATwoByTwoGrid", 4,
         {QRect(0, 0, 960, 540), QRect(960, 0, 960, 540), QRect(0, 540, 960, 540), QRect(960, 540, 960, 540)}},
        {"sixInTwoRowsOfThree", 6,
         {QRect(0, 0, 640, 540), QRect(640, 0, 640, 540), QRect(1280, 0, 640, 540), QRect(0, 540, 640, 540),
          QRect(640, 540, 640, 540), QRect(1280, 540, 640, 540)}},
        {"eightInTwoRowsOfFour", 8,
         {QRect(0, 0, 480, 540), QRect(480, 0, 480, 540), QRect(960, 0, 480, 540), QRect(1440, 0, 480, 540),
          QRect(0, 540, 480, 540), QRect(480, 540, 480, 540), QRect(960, 540, 480, 540), QRect(1440, 540, 480, 540)}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CameraViewRects(row.cameras, screen), row.expected);
    }
    // Odd sizes still tile without gaps or overlap.
    const QList<QRect> odd = CameraViewRects(7, QSize(1023, 767));
    EXPECT_EQ(odd[3].right(), 1022);
    EXPECT_EQ(odd[4].top(), odd[0].bottom() + 1);
    EXPECT_EQ(odd[7 - 1].bottom(), 766);
}

TEST(ViewLayout, SelectedViewFillsTheScreenAndOthersHide)
{
    const QSize screen(1920, 1080);
    ViewState view;
    view.Select(4, 6);
    view.Relayout(screen);
    EXPECT_TRUE(view.singleView());
    EXPECT_EQ(view.ViewRect(4, screen), QRect(QPoint(0, 0), screen));
    EXPECT_TRUE(view.ViewRect(0, screen).isEmpty());
    EXPECT_EQ(view.buttonMode(), ViewState::ZoomButtonOnly);
    view.ShowAll(6);
    view.Relayout(screen);
    EXPECT_FALSE(view.singleView());
    EXPECT_EQ(view.ViewRect(3, screen), QRect(0, 540, 640, 540));
    EXPECT_EQ(view.buttonMode(), ViewState::ButtonsHidden);
}

TEST(ViewLayout, ZoomAndPan)
{
    ViewState view;
    view.ShowAll(1);
    view.Relayout(QSize(1000, 800));

    // Zooming in stops at 32.
    for (int i = 0; i < 20; ++i)
        view.Scale(1);
    EXPECT_DOUBLE_EQ(view.zoom(), 32.0);

    // The picture point under the zoom centre stays there.
    view.Scale(0);
    view.SetCentre(QPointF(300, 200));
    view.Scale(1);
    view.Scale(1);
    const QPointF before = view.ZoomTransform().inverted().map(QPointF(300, 200));
    EXPECT_NEAR(before.x(), 300, 1e-9);
    EXPECT_NEAR(before.y(), 200, 1e-9);
    EXPECT_NEAR(view.offset().x(), 300 - 300 * 1.44, 1e-9);

    // A move step is z times the step at z = 1.
    const QPointF offset = view.offset();
    view.Move(1, -1);
    EXPECT_NEAR(view.offset().x() - offset.x(), 1.44 * ViewState::kMoveStep, 1e-9);
    EXPECT_NEAR(view.offset().y() - offset.y(), -1.44 * ViewState::kMoveStep, 1e-9);

    // Zooming back out lands on exactly 1 (a quotient below 1.1 becomes 1, whatever rounding left)
    // and the offset goes back to (0, 0).
    view.Scale(0);
    view.SetCentre(QPointF(123, 456));
    for (int i = 0; i < 20; ++i)
        view.Scale(1);
    view.Move(3, -2);
    for (int i = 0; i < 18; ++i)
        view.Scale(-1);
    EXPECT_NEAR(view.zoom(), 32.0 / std::pow(1.2, 18), 1e-9);  // about 1.2: still zoomed
    EXPECT_NE(view.offset(), QPointF());
    view.Scale(-1);  // about 1.0016, below 1.1
    EXPECT_EQ(view.zoom(), 1.0);
    EXPECT_EQ(view.offset(), QPointF());

    // With z = 1 the moves do nothing.
    ViewState flat;
    flat.Relayout(QSize(1000, 800));
    flat.Move(1, 0);
    flat.Move(0, -1);
    EXPECT_EQ(flat.offset(), QPointF());
    EXPECT_TRUE(flat.ZoomTransform().isIdentity());
}

TEST(ViewLayout, ZoomButtonUnfoldsFirstAndFoldsBack)
{
    ViewState view;
    view.ShowAll(1);
    view.Relayout(QSize(800, 600));
    ASSERT_EQ(view.buttonMode(), ViewState::ZoomButtonOnly);
    view.PressZoomButton();
    EXPECT_EQ(view.buttonMode(), ViewState::AllButtons);
    EXPECT_DOUBLE_EQ(view.zoom(), 1.0) << "the first press only unfolds";
    view.PressZoomButton();
    EXPECT_DOUBLE_EQ(view.zoom(), 1.2);
    view.FoldBack();
    EXPECT_EQ(view.buttonMode(), ViewState::ZoomButtonOnly);

    // Word 473 off: no buttons, and the zoom button does nothing.
    view.SetButtonsAllowed(false);
    EXPECT_EQ(view.buttonMode(), ViewState::ButtonsHidden);
    view.PressZoomButton();
    EXPECT_DOUBLE_EQ(view.zoom(), 1.2);
}

TEST(ViewStatus, LinesFollowStateAndSwitches)
{
    FillTextTable();
    gLan = 1;
    CameraStatus s;
    s.camera = 1;
    s.stageName = QStringLiteral("Prod");
    s.delayLeft = 1.5f;
    s.ngCount = 3;
    s.totalCount = 40;
    s.fps = 25;
    s.meanGray = 99.6;

    const struct {
        const char *name;
        int state;
        QString text;
        QColor colour;
    } states[] = {
        {"detecting", 1, QStringLiteral("detecting"), QColor(40, 220, 40)},
        {"resampling", 2, QStringLiteral("resampling"), QColor(0, 230, 230)},
        {"stopped", 3, QStringLiteral("stopping"), QColor(235, 30, 30)},
    };
    for (const auto &row : states) {
        SCOPED_TRACE(row.name);
        s.detectState = row.state;
        const QList<ViewStatusLine> lines = CameraStatusLines(s);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines[0].text, row.text);
        EXPECT_EQ(lines[0].colour, row.colour);
        EXPECT_TRUE(lines[0].large);
    }

    QList<ViewStatusLine> lines = CameraStatusLines(s);
    QStringList texts;
    for (const auto &line : lines)
        texts << line.text;
    EXPECT_TRUE(texts.contains(QStringLiteral("Cam 2 Prod 1.5S"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("NG 3 / Total 40      FPS 25.0"))) << texts.join('|').toStdString();
    EXPECT_EQ(texts.last(), QStringLiteral("Aver 100"));
    EXPECT_FALSE(texts.join('|').contains(QStringLiteral("skip")));

    // Word 154 hides the NG count; skipping adds its line.
    s.hideNgCount = true;
    s.skipping = true;
    s.skipCount = 2;
    texts.clear();
    for (const auto &line : CameraStatusLines(s))
        texts << line.text;
    EXPECT_TRUE(texts.contains(QStringLiteral("Total 40      FPS 25.0"))) << texts.join('|').toStdString();
    EXPECT_FALSE(texts.join('|').contains(QStringLiteral("NG 3")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Cam 2 skip 2 times")));

    // A camera that checks nothing says so under its stage line.
    s.tableError = true;
    s.notTaught = true;
    lines = CameraStatusLines(s);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[2].text, QStringLiteral("Camera parameter file error!"));
    EXPECT_EQ(lines[3].text, QStringLiteral("Not taught"));
}

TEST(PadGuardTest, PressOutsideAnOpenPadHidesIt)
{
    QWidget screen;
    screen.resize(800, 600);
    auto *numberPad = new QWidget(&screen);
    numberPad->setGeometry(500, 300, 200, 200);
    auto *textPad = new QWidget(&screen);
    textPad->setGeometry(0, 0, 300, 100);
    PadGuard guard;
    guard.registerPad(numberPad);
    guard.registerPad(textPad);
    screen.show();
    textPad->hide();

    auto press = [&](QPoint local) {
        const QPoint global = screen.mapToGlobal(local);
        QMouseEvent event(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        guard.filter(&event);
    };
    press(QPoint(600, 400));
    EXPECT_TRUE(numberPad->isVisible()) << "a press on the pad keeps it";
    press(QPoint(100, 50));
    EXPECT_FALSE(numberPad->isVisible());
    EXPECT_FALSE(textPad->isVisible()) << "a hidden pad stays hidden";
    delete textPad;
    numberPad->show();
    press(QPoint(10, 10));  // a pad that went away is skipped
    EXPECT_FALSE(numberPad->isVisible());
}

namespace {

IoBoardSim &board() { return StationBoard(); }

// A simulated camera folder with a 1280 x 1024 gray frame: a gradient with a bright disc, so
// every view has a picture that is not black.
void makeCamera(const QString &folder, const char *serial, int seed)
{
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/serial"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(serial);
    file.write("\n");
    file.close();
    cv::Mat frame(1024, 1280, CV_8UC1);
    for (int y = 0; y < frame.rows; ++y)
        frame.row(y).setTo(cv::Scalar(40 + (y + seed * 50) % 120));
    cv::circle(frame, cv::Point(640 + seed * 100, 512), 200, cv::Scalar(230), cv::FILLED);
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

int nonBlackPixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); y += 4)
        for (int x = area.left(); x <= area.right(); x += 4)
            if (qGray(image.pixel(x, y)) > 20)
                ++count;
    return count;
}

}  // namespace

// The real window with two simulated cameras: two half-width views with pictures and status text,
// selecting and zooming a view, and the panel guards.
TEST(MainWindow, TwoCamerasPaintAndTheViewsAndPanelsBehave)
{
    board();
    FillTextTable();
    gLan = 1;
    static QTemporaryDir cameras;  // the simulated cameras live for the rest of the process
    ASSERT_TRUE(cameras.isValid());
    makeCamera(cameras.filePath(QStringLiteral("cam1")), "SIMCAM001", 0);
    makeCamera(cameras.filePath(QStringLiteral("cam2")), "SIMCAM002", 1);
    TempStation station;
    CameraPaths::inputDevices = station.file(QStringLiteral("none")).toStdString();
    qputenv("MOULD_SIM_CAMERAS", cameras.path().toLocal8Bit());
    Prompt::SetAnswerer([](const Prompt::Asked &) { return QVariant(1); });
    WarnBox::setAnswerer([](const WarnBox &box) {
        return qobject_cast<const ChooseBox *>(&box) ? QDialog::Rejected : QDialog::Accepted;
    });
    MoJuWizard::clock = [] { return QDateTime::fromMSecsSinceEpoch(1800000000000LL); };
    StationWiring::InstallOperatorPort();

    {
        MoJuWizard window;
        ASSERT_TRUE(window.isUp());
        ASSERT_EQ(numCamera, 2);
        // Every hook the running station needs is installed.
        EXPECT_EQ(StationWiring::MissingHooks(window), QStringList());
        // Statistics are on in the factory parameters: the statistics panel is the statistics screen.
        EXPECT_TRUE(qobject_cast<StatisticsWidget *>(window.panel(MoJuWizard::StatisticsPanel)));
        window.show();
        const QSize screen = window.size();
        ASSERT_EQ(screen, QSize(1920, 1080));
        const QSize area(1920 - 190, 1080 - 180);  // left of the button panel, above the IO status bar
        CammerWidget *left = window.cameraView(0);
        CammerWidget *right = window.cameraView(1);
        ASSERT_TRUE(left && right);
        waitFor([&] { return left->framesTaken() > 0 && right->framesTaken() > 0; }, 5000);
        ASSERT_GT(left->framesTaken(), 0u);
        EXPECT_EQ(left->geometry(), QRect(0, 0, 865, 900));
        EXPECT_EQ(right->geometry(), QRect(865, 0, 865, 900));
        // The IO status bar along the bottom, under the views and the button panel.
        ASSERT_TRUE(window.ioStatusBar());
        EXPECT_TRUE(window.ioStatusBar()->isVisible());
        EXPECT_EQ(window.ioStatusBar()->geometry(), QRect(0, 900, 1920, 180));
        EXPECT_EQ(window.indexButton()->geometry(), QRect(1920 - 190, 0, 190, 900));
        EXPECT_FALSE(window.zoomButton(0)->isVisible()) << "no zoom button over several views";

        // Two regions on camera 1: one passed (green outline), one failed with an NG rectangle (red).
        CameraVision *vision = window.cameras()->vision(0);
        ASSERT_TRUE(vision);
        vision->singleton.roiNum[0] = 2;
        vision->singleton.roiType[0][0] = vision->singleton.roiType[0][1] = ShapeRect;
        vision->singleton.rect[0][0] = ClustomRect(100, 300, 400, 500);
        vision->singleton.rect[0][1] = ClustomRect(800, 300, 1100, 500);
        vision->roiOK[0][0] = 1;
        vision->roiOK[0][1] = 0;
        vision->roiBlobNum[0][1] = 1;
        const int blob[4] = {900, 350, 960, 410};
        std::copy(blob, blob + 4, vision->roiBlobRect[0][1][0]);

        const QImage shot = window.grab().toImage();
        shot.save(QStringLiteral("/tmp/mainwindow.png"));
        for (CammerWidget *view : {left, right}) {
            SCOPED_TRACE(view->position());
            // The picture: the fitted image area is mostly lit.
            const QRect image = view->imageToView().mapRect(QRect(0, 0, gImageW, gImageH)).translated(view->pos());
            EXPECT_GT(nonBlackPixels(shot, image.adjusted(0, 300, 0, 0)), image.width() * (image.height() - 300) / 32);
            // The status: the state line in green at the top left, the counters below it.
            ASSERT_GE(view->paintedStatus().size(), 6);
            EXPECT_EQ(view->paintedStatus()[0].text, QStringLiteral("detecting"));
            EXPECT_TRUE(view->paintedStatus()[1].text.startsWith(QStringLiteral("Cam %1").arg(view->position() + 1)));
            int green = 0;
            for (int y = 5; y < 60; ++y)
                for (int x = 5; x < 260; ++x) {
                    const QColor c = shot.pixelColor(view->x() + x, y);
                    green += c.green() > 150 && c.red() < 120 && c.blue() < 120;
                }
            EXPECT_GT(green, 100) << "the green state text is drawn";
        }

        // The outlines lie on the regions' image coordinates, in their verdict's colour.
        auto colourNear = [&](QPointF imagePoint, auto test) {
            const QPoint at = left->imageToView().map(imagePoint).toPoint() + left->pos();
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    if (test(shot.pixelColor(at + QPoint(dx, dy))))
                        return true;
            return false;
        };
        auto isGreen = [](QColor c) { return c.green() > 180 && c.red() < 80; };
        auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 80; };
        EXPECT_TRUE(colourNear(QPointF(250, 300), isGreen));
        EXPECT_TRUE(colourNear(QPointF(950, 300), isRed));
        EXPECT_TRUE(colourNear(QPointF(930, 350), isRed)) << "the NG rectangle";
        EXPECT_FALSE(colourNear(QPointF(250, 400), isGreen)) << "nothing inside the region";

        // One view's paint: scaled from the 1280 x 1024 frame, and repainted from the cache.
        std::vector<double> scaled, cached;
        QElapsedTimer timer;
        for (int i = 0; i < 21; ++i) {
            left->setZoom(i % 2 ? QTransform() : QTransform::fromScale(1.0000001, 1.0));
            timer.start();
            left->repaint();
            scaled.push_back(timer.nsecsElapsed() / 1e6);
            timer.start();
            left->repaint();
            cached.push_back(timer.nsecsElapsed() / 1e6);
        }
        left->setZoom(QTransform());
        std::nth_element(scaled.begin(), scaled.begin() + 10, scaled.end());
        std::nth_element(cached.begin(), cached.begin() + 10, cached.end());
        std::printf("paint of one 865x900 view: %.2f ms scaled, %.2f ms cached (median)\n", scaled[10], cached[10]);
        EXPECT_LT(scaled[10], 100.0);

        // A double tap selects a view; it fills the area with the zoom button; back with SlotReturn.
        QMouseEvent tap(QEvent::MouseButtonDblClick, QPointF(100, 100), right->mapToGlobal(QPointF(100, 100)),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(right, &tap);
        EXPECT_EQ(window.viewState().selected(), 1);
        EXPECT_EQ(right->geometry(), QRect(QPoint(0, 0), area));
        EXPECT_FALSE(left->isVisible());
        EXPECT_TRUE(window.zoomButton(0)->isVisible());
        EXPECT_FALSE(window.zoomButton(3)->isVisible());
        window.MEnlargeScale();
        EXPECT_TRUE(window.zoomButton(3)->isVisible()) << "the first press unfolds the seven buttons";
        window.MEnlargeScale();
        EXPECT_DOUBLE_EQ(window.viewState().zoom(), 1.2);
        EXPECT_DOUBLE_EQ(right->imageToView().m11(),
                         CammerWidget::FitTransform(QSize(gImageW, gImageH), area).m11() * 1.2);
        // Zoomed in further, the picture lies where the regions are drawn: both sides of the left
        // edge of camera 2's disc (centre 740, 512, radius 200) land on bright and dark pixels.
        for (int i = 0; i < 4; ++i)
            window.MEnlargeScale();
        const QImage zoomed = right->grab().toImage();
        const QTransform map = right->imageToView();
        EXPECT_GT(qGray(zoomed.pixel(map.map(QPointF(545.5, 512.5)).toPoint())), 200);
        EXPECT_LT(qGray(zoomed.pixel(map.map(QPointF(535.5, 512.5)).toPoint())), 180);
        window.MTimerScale();
        EXPECT_FALSE(window.zoomButton(3)->isVisible());
        window.SlotReturn();
        EXPECT_EQ(right->geometry(), QRect(865, 0, 865, 900));
        EXPECT_TRUE(left->isVisible());
        EXPECT_DOUBLE_EQ(window.viewState().zoom(), 1.0);

        // Word 473 off: a single view without zoom buttons.
        gpWPara->zoom_buttons = 0;
        window.SelectCamera(1);
        EXPECT_FALSE(window.zoomButton(0)->isVisible());
        gpWPara->zoom_buttons = 1;
        window.SlotReturn();

        // While a result is shown the view holds the judged picture; otherwise, alarm included, live.
        InspectionCycle *cycle = window.cycle();
        window.cameras()->vision(1)->detectImage = cv::Mat(gImageH, gImageW, CV_8UC1, cv::Scalar(250));
        const QPoint probe = right->imageToView().map(QPointF(100.5, 100.5)).toPoint();  // live gray 70
        cycle->alarmState = InspectionCycle::ShowingResult;
        EXPECT_GT(qGray(right->grab().toImage().pixel(probe)), 240);
        cycle->alarmState = InspectionCycle::AlarmRaised;
        EXPECT_LT(qGray(right->grab().toImage().pixel(probe)), 100);
        cycle->alarmState = InspectionCycle::Waiting;

        // A press outside a registered pad hides it, through the window's own filter.
        QWidget pad(&window);
        pad.setGeometry(1500, 800, 200, 200);
        window.registerPad(&pad);
        pad.show();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), left->mapToGlobal(QPointF(10, 10)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(left, &press);
        EXPECT_FALSE(pad.isVisible());

        // Panel guards: the settings stay shut while the cavity names are open or the alarm stands.
        window.panel(MoJuWizard::CavityNamesPanel)->show();
        window.SlotSystemPara();
        EXPECT_FALSE(window.panel(MoJuWizard::SettingsPanel)->isVisible());
        window.panel(MoJuWizard::CavityNamesPanel)->hide();
        cycle->alarmState = InspectionCycle::AlarmRaised;
        window.SlotSystemPara();
        window.SlotAccount();
        window.SlotShowAlarmImgae();
        EXPECT_FALSE(window.panel(MoJuWizard::SettingsPanel)->isVisible());
        EXPECT_FALSE(window.panel(MoJuWizard::UsersPanel)->isVisible());
        EXPECT_FALSE(window.panel(MoJuWizard::RegionEditorPanel)->isVisible());
        cycle->alarmState = InspectionCycle::Waiting;
        gpWPara->mold_pulse = 37;
        window.SlotSystemPara();
        EXPECT_TRUE(window.panel(MoJuWizard::SettingsPanel)->isVisible());
        EXPECT_EQ(gpWParaBak->mold_pulse, 37) << "the settings edit a copy of the live record";
        window.panel(MoJuWizard::SettingsPanel)->hide();

        // The alarm images: the button panel goes, the cycle browses; closing ends the browsing.
        window.SlotShowAlarmImgae();
        EXPECT_EQ(cycle->alarmState, InspectionCycle::Browsing);
        EXPECT_FALSE(window.indexButton()->isVisible());
        DrawROIWidget *editor = window.regionEditor();
        EXPECT_EQ(editor->source(), DrawROIWidget::SourceRecentNg);
        editor->button(42)->click();  // End Set
        EXPECT_EQ(cycle->alarmState, InspectionCycle::Waiting);
        EXPECT_TRUE(window.indexButton()->isVisible());

        // The start/stop caption follows the cycle.
        EXPECT_EQ(window.indexButton()->startStop->text(), QStringLiteral("Stop Detection"));
        cycle->StopDetect();
        waitFor([&] { return window.indexButton()->startStop->text() == QStringLiteral("Start Detection"); }, 1000);
        EXPECT_EQ(window.indexButton()->startStop->text(), QStringLiteral("Start Detection"));

        // On a 1024-wide panel the bar is 50 pixels high; the button panel and the stop band end
        // above it. MOULD_GRAB_DIR=<folder> saves the window at each size.
        const QByteArray grabDir = qgetenv("MOULD_GRAB_DIR");
        if (!grabDir.isEmpty())
            window.grab().save(QStringLiteral("%1/mainwindow-1920.png").arg(QString::fromLocal8Bit(grabDir)));
        for (const QSize size : {QSize(1280, 800), QSize(1024, 768)}) {
            window.resize(size);
            const int bar = size.width() <= 1024 ? 50 : 180;
            EXPECT_EQ(window.ioStatusBar()->geometry(), QRect(0, size.height() - bar, size.width(), bar));
            EXPECT_EQ(window.indexButton()->geometry().bottom(), size.height() - bar - 1);
            EXPECT_LE(window.alarmBand()->geometry().bottom(), size.height() - bar - 1);
            if (!grabDir.isEmpty())
                window.grab().save(QStringLiteral("%1/mainwindow-%2.png").arg(QString::fromLocal8Bit(grabDir)).arg(size.width()));
        }
    }
    CloseStationDatabases();
    qunsetenv("MOULD_SIM_CAMERAS");
    Prompt::SetAnswerer(nullptr);
    WarnBox::setAnswerer(nullptr);
    MoJuWizard::clock = [] { return QDateTime::currentDateTime(); };
}
