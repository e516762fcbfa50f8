#include "ui/regions/drawroiwidget.h"

#include "core/globals.h"
#include "core/guard.h"
#include "core/operatorport.h"
#include "cycle/failimagestore.h"
#include "cycle/inspectioncycle.h"
#include "params/cavitynames.h"
#include "params/wizardpara.h"
#include "ui/indexpanel.h"
#include "ui/regions/regioncanvas.h"
#include "ui/regions/replaydialog.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/slider.h"
#include "vision/autoregion.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/replay.h"
#include "vision/templatelibrary.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// Text-table rows of the page.
enum Row {
    kFunc = 2, kParamSwitch = 3, kMoveU = 5, kMoveD = 6, kMoveL = 7, kMoveR = 8, kCopy = 9,
    kMinGray = 10, kMaxGray = 11, kMinArea = 13, kMaxArea = 14, kReserved = 16, kLeastMatch = 20,
    kFilterSize = 22, kSensitivity = 23, kArea = 24, kAllMove = 32, kEndPolygon = 33,
    kPolygonFull = 35, kCopyQuestion = 38, kEndSet = 42, kCameraN = 43, kDontDetect = 47, kAddTemp = 48,
    kDrawRect = 49, kDrawCircle = 51, kViewTemplate = 52, kDrawPolygon = 53, kIgnoreAlarm = 54,
    kDelRoi = 55, kDelIgnored = 56, kDelAllRoi = 57, kPrevious = 59, kRecentNg = 60, kReDetected = 61,
    kNext = 62, kDelTemp = 63, kShowIgnored = 64, kNoSelection = 65, kDelQuestion = 66,
    kDelAllQuestion = 67, kDeleteAllTemplates = 71, kSaveQuestion = 72, kNotAllCameras = 102,
    kNotAllCamerasDone = 103, kDrawGesture = 104, kNotThisCamera = 105, kNotThisCameraDone = 106,
    kSwitchToAlarmCamera = 107, kHideIgnored = 112, kIgnoreQuestion = 113, kIgnoreDone = 114,
    kIgnoreTooLarge = 115, kDelIgnoredQuestion = 116, kDelIgnoredDone = 117, kAlarm = 146,
    kResample = 129, kResampleQuestion = 137, kDeleteAllQuestion = 138, kTemplate = 223, kLive = 224,
    kOkRecord = 207, kNgRecord = 208, kNeedAutoArea = 354, kMinScore = 362, kNo = 394,
    kSensitivityLower = 582, kQualifiedDist = 583, kDirection = 584, kWhiteNum = 521, kMinNumber = 522,
    kMaxNumber = 649, kDoorToLift = 195, kHelp = 111, kLiveTemp = 212, kOutN = 476,
    // Rows of this page's own.
    kSave = 1370, kSaveFailed = 1371, kNextFailedCamera = 1372, kRegionLimitFull = 36, kHelpText = 1592,
    kTryStored = 1540, kTrialRecord = 1551, kChangedAfterTrial = 1552,
};
constexpr int kCavityRows[16] = {460, 461, 462, 463, 464, 465, 466, 467, 596, 597, 598, 599, 600, 601, 602, 603};
constexpr int kIgnoreLimit = 2000;
constexpr int kNextPage = 569, kBack = 303, kPageRow = 100020;
// Side rows of the first page (region work); the rest are the second page.
constexpr int kFirstPageRows = 7;
constexpr int kButtonHeight = 64, kSpacing = 6;

const QString kStyle = QStringLiteral(
    "#DrawROIWidget { background-color: #1a222c; }"
    "QFrame#side, QFrame#top, QFrame#cavities { background-color: #1a222c; }"
    "QFrame#alarmRow { background-color: #c0101a; }"
    "QLabel { color: #e8eef4; font-family: 'WenQuanYi Micro Hei'; font-size: 22px; }"
    "QLabel#alarmText { color: white; font-size: 30px; font-weight: bold; }"
    "QPushButton { color: #e8eef4; background-color: #24405c; border: 1px solid #4a6a8a; border-radius: 6px;"
    "  font-family: 'WenQuanYi Micro Hei'; font-size: 20px; padding: 4px; }"
    "QPushButton:pressed, QPushButton:checked { background-color: #2d8cd6; }"
    "QPushButton:disabled { color: #6a7a8a; background-color: #1e2a36; }"
    "QFrame#alarmRow QPushButton { background-color: #2a1010; border: 3px solid white; font-size: 24px;"
    "  font-weight: bold; }");
// Narrow panels (up to 1600 pixels): smaller type so every caption fits its button.
const QString kCompactStyle = QStringLiteral(
    "QPushButton { font-size: 16px; padding: 2px; }"
    "QLabel { font-size: 18px; }"
    "QLabel#alarmText { font-size: 24px; }"
    "QFrame#alarmRow QPushButton { font-size: 18px; }"
    "QCheckBox { font-size: 16px; }");

}  // namespace

QStringList DrawROIWidget::DetectionNames(int workMode, int detections)
{
    QStringList names;
    for (int d = 0; d < std::clamp(detections, 1, 8); ++d)
        names << StageName(d, workMode);
    return names;
}

DrawROIWidget::DrawROIWidget(RegionEditorHost host, QWidget *parent) : QFrame(parent), m_host(std::move(host))
{
    setObjectName(QStringLiteral("DrawROIWidget"));
    setAutoFillBackground(true);
    setStyleSheet(kStyle);
    auto makeButton = [this](QWidget *parent, int row, const QString &text = QString()) {
        auto *b = new QPushButton(text.isEmpty() ? LanStr(row).trimmed() : text, parent);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumHeight(64);
        m_buttons << qMakePair(row, b);
        return b;
    };

    // Top bar: camera, detection, image source with previous/next, end.
    m_top = new QFrame(this);
    m_top->setObjectName(QStringLiteral("top"));
    auto *top = new QHBoxLayout(m_top);
    top->setContentsMargins(8, 6, 8, 6);
    m_cameraBox = new ComboBox(m_top);
    m_detectBox = new ComboBox(m_top);
    m_sourceBox = new ComboBox(m_top);
    for (ComboBox *box : {m_cameraBox, m_detectBox, m_sourceBox}) {
        box->setMinimumSize(200, 64);
        top->addWidget(box);
    }
    for (int row : {kTemplate, kLive, kRecentNg, kOkRecord, kNgRecord})
        m_sourceBox->addItem(LanStr(row).trimmed());
    top->addWidget(makeButton(m_top, kPrevious));
    top->addWidget(makeButton(m_top, kNext));
    m_regionLabel = new QLabel(m_top);
    m_verdict = new QLabel(m_top);
    m_verdict->setMinimumWidth(160);
    top->addWidget(m_regionLabel, 1);
    top->addWidget(m_verdict);
    top->addWidget(makeButton(m_top, kTryStored));
    top->addWidget(makeButton(m_top, kSave));
    top->addWidget(makeButton(m_top, kEndSet));

    // The alarm view's row: what failed and the ways out.
    m_alarmRow = new QFrame(this);
    m_alarmRow->setObjectName(QStringLiteral("alarmRow"));
    auto *alarmRow = new QHBoxLayout(m_alarmRow);
    alarmRow->setContentsMargins(12, 6, 12, 6);
    m_alarmText = new QLabel(m_alarmRow);
    m_alarmText->setObjectName(QStringLiteral("alarmText"));
    alarmRow->addWidget(m_alarmText, 1);
    for (int row : {kReDetected, kDontDetect, kAddTemp, kIgnoreAlarm, kNextFailedCamera}) {
        QPushButton *b = makeButton(m_alarmRow, row);
        b->setMinimumSize(200, 72);
        alarmRow->addWidget(b);
    }

    m_canvas = new RegionCanvas(this);
    m_canvas->image = [this] { return shownImage(); };

    // Side: drawing, editing, templates, ignore points, parameters.
    m_side = new QFrame(this);
    m_side->setObjectName(QStringLiteral("side"));
    auto *side = new QVBoxLayout(m_side);
    side->setContentsMargins(8, 8, 8, 8);
    auto *grid = new QGridLayout;
    grid->setSpacing(6);
    m_drawPolygon = nullptr;
    // Region work first, pictures and templates after; a panel too short for both shows them as
    // two pages with a page button (kPageRow) at the end of each.
    const int sideRows[kSideRows][3] = {
        {kDrawRect, kDrawCircle, kDrawPolygon}, {kDrawGesture, kCopy, kDelRoi}, {kDelAllRoi, kFunc, kParamSwitch},
        {kMoveU, kMoveD, kAllMove},            {kMoveL, kMoveR, 30},          {-1, -2, -3},
        {-4, kOutN, kHelp},                    {kIgnoreAlarm, kDelIgnored, kShowIgnored},
        {kAddTemp, kDelTemp, kDeleteAllTemplates}, {kResample, kViewTemplate, kLiveTemp},
    };
    const QString sizeText[] = {QStringLiteral("+10"), QStringLiteral("+1"), QStringLiteral("-1"), QStringLiteral("-10")};
    for (int r = 0; r < kSideRows; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int row = sideRows[r][c];
            QPushButton *b = row < 0 ? makeButton(m_side, 100000 - row, sizeText[-row - 1])
                             : row == 30 ? makeButton(m_side, 100010, LanStr(30))
                             : row == kOutN ? makeButton(m_side, kOutN, LanStr(kOutN).arg(1).trimmed())
                                         : makeButton(m_side, row);
            grid->addWidget(b, r, c);
            m_sideRow[r] << b;
        }
    }
    m_pageButton = makeButton(m_side, kPageRow, LanStr(kNextPage).trimmed());
    grid->addWidget(m_pageButton, kSideRows, 0, 1, 3);
    side->addLayout(grid);
    m_func = button(kFunc);
    m_paramSwitch = button(kParamSwitch);
    m_targetButton = button(100010);
    m_moveAllButton = button(kAllMove);
    m_moveAllButton->setCheckable(true);
    m_showIgnore = button(kShowIgnored);
    m_drawPolygon = button(kDrawPolygon);
    m_outButton = button(kOutN);
    // Each slider beside its name, so the whole side fits a 1024-line panel.
    auto *sliders = new QGridLayout;
    sliders->setSpacing(6);
    sliders->setColumnStretch(1, 1);
    for (int k = 0; k < 3; ++k) {
        m_sliderNames[k] = new QLabel(m_side);
        m_sliderNames[k]->setWordWrap(true);
        m_sliderNames[k]->setFixedWidth(120);
        sliders->addWidget(m_sliderNames[k], k, 0);
        m_sliders[k] = new Slider(0, 255, m_side);
        sliders->addWidget(m_sliders[k], k, 1);
        connect(m_sliders[k], &Slider::valueChanged, this, [this, k](int v) { sliderMoved(k, v); });
    }
    side->addLayout(sliders);
    side->addStretch(1);

    // Cavities of the detection.
    m_cavityRow = new QFrame(this);
    m_cavityRow->setObjectName(QStringLiteral("cavities"));
    auto *cavities = new QGridLayout(m_cavityRow);
    cavities->setContentsMargins(8, 0, 8, 0);
    cavities->setSpacing(2);
    for (int k = 0; k < 16; ++k) {
        m_cavity[k] = new CheckBox(LanStr(kCavityRows[k]).trimmed(), m_cavityRow, 36);
        cavities->addWidget(m_cavity[k], k / 8, k % 8);
        connect(m_cavity[k], &QCheckBox::toggled, this, [this, k](bool on) {
            if (!m_filling && vision())
                vision()->singleton.cavity[m_d][k] = on ? 2 : 0;
        });
    }

    // Wiring.
    connect(m_cameraBox, &QComboBox::activated, this, &DrawROIWidget::SlotChangeCamera);
    connect(m_detectBox, &QComboBox::activated, this, &DrawROIWidget::SlotChangeDetect);
    connect(m_sourceBox, &QComboBox::activated, this, &DrawROIWidget::SlotChangeSource);
    const QList<QPair<int, std::function<void()>>> actions = {
        {kPrevious, [this] { SlotTempLast(); }},
        {kNext, [this] { SlotTempNext(); }},
        {kSave, [this] { SlotSaveData(); }},
        {kTryStored, [this] { SlotTryStored(); }},
        {kEndSet, [this] { SlotEndSet(); }},
        {kReDetected, [this] { SlotReCheck(); }},
        {kDontDetect, [this] { SlotDontDetect(); }},
        {kAddTemp, [this] { SlotAddTemp(); }},
        {kIgnoreAlarm, [this] { SlotIgnoreAlarmPoint(); }},
        {kNextFailedCamera, [this] { SlotNextFailedCamera(); }},
        {kDrawRect, [this] { SlotDrawRect(); }},
        {kDrawCircle, [this] { SlotDrawCircle(); }},
        {kDrawPolygon, [this] { SlotDrawPloygn(); }},
        {kDrawGesture, [this] { SlotDrawHand(); }},
        {kCopy, [this] { SlotCopy(); }},
        {kDelRoi, [this] { SlotDeleteROI(); }},
        {kDelAllRoi, [this] { SlotDeleteAllROI(); }},
        {kFunc, [this] {
             const int i = m_canvas->selected();
             if (i < 0 || !vision())
                 return;
             vision()->singleton.ChangeFunction(m_d, i, *gpWPara);
             showRegion();
             runPreview();
         }},
        {kParamSwitch, [this] { m_paramHigh = !m_paramHigh; showRegion(); }},
        {kMoveU, [this] { nudge(0, -1); }},
        {kMoveD, [this] { nudge(0, 1); }},
        {kMoveL, [this] { nudge(-1, 0); }},
        {kMoveR, [this] { nudge(1, 0); }},
        {kAllMove, [this] { m_moveAll = m_moveAllButton->isChecked(); }},
        {100010, [this] {
             const QStringList names = vision() ? RegionEdit::NudgeTargetNames(vision()->singleton, m_d, m_canvas->selected())
                                                : QStringList();
             m_target = names.isEmpty() ? 0 : (m_target + 1) % names.size();
             showRegion();
         }},
        {100001, [this] { changeSize(10); }},
        {100002, [this] { changeSize(1); }},
        {100003, [this] { changeSize(-1); }},
        {100004, [this] { changeSize(-10); }},
        {kDelIgnored, [this] { SlotDeleteIgnorePoint(); }},
        {kShowIgnored, [this] { SlotShowHideAlarmPoint(); }},
        {kDelTemp, [this] { SlotTempDeleteCur(); }},
        {kDeleteAllTemplates, [this] { SlotTempDeleteAll(); }},
        {kResample, [this] { SlotResample(); }},
        {kViewTemplate, [this] { SlotChangeSource(SourceTemplate); }},
        {kOutN, [this] {
             const int i = m_canvas->selected();
             if (i >= 0 && vision())
                 SlotOutN((vision()->singleton.roiOut[i] + 1) % 4);
         }},
        {kLiveTemp, [this] { SlotLiveTemp(); }},
        {kHelp, [this] { SlotHelp(); }},
        {kPageRow, [this] {
             m_sidePage = 1 - m_sidePage;
             layoutPage();
         }},
    };
    for (const auto &[row, action] : actions)
        for (const auto &[r, b] : std::as_const(m_buttons))
            if (r == row)
                connect(b, &QPushButton::clicked, this, action);
    connect(m_canvas, &RegionCanvas::regionAdded, this, [this](int) { showRegion(); runPreview(); refreshButtons(); });
    connect(m_canvas, &RegionCanvas::regionEdited, this, [this](int) { showRegion(); });
    connect(m_canvas, &RegionCanvas::selectionChanged, this, [this](int) { m_target = 0; showRegion(); });
    connect(m_canvas, &RegionCanvas::refused, this, [](int row) { Operator::Warn(row); });
    connect(m_canvas, &RegionCanvas::copyRequested, this, [this](QPoint at) {
        if (!vision() || !Operator::Ask(kCopyQuestion))
            return;
        int index = -1;
        const auto outcome = RegionEdit::CopyAt(*vision(), m_d, m_canvas->selected(), at, &index);
        if (outcome == RegionEdit::AddOutcome::Limit)
            Operator::Warn(kRegionLimitFull);
        else if (outcome == RegionEdit::AddOutcome::Added)
            m_canvas->select(index);
        m_canvas->update();
    });
    hide();
}

QPushButton *DrawROIWidget::button(int row) const
{
    for (const auto &[r, b] : m_buttons)
        if (r == row)
            return b;
    return nullptr;
}

CameraVision *DrawROIWidget::vision() const { return m_host.vision ? m_host.vision(m_camera) : nullptr; }
CammerRecong *DrawROIWidget::recong() const { return m_host.recong ? m_host.recong(m_camera) : nullptr; }

QString DrawROIWidget::detectionName(int d) const { return StageName(d, gpWPara ? gpWPara->work_mode : 0); }

int DrawROIWidget::alarmDetection() const
{
    return cycle() ? std::clamp(cycle()->alarmStage(), 0, kMaxDetect - 1) : m_d;
}

bool DrawROIWidget::onAlarmCamera() const
{
    return cycle() && cycle()->alarmState == InspectionCycle::AlarmRaised
           && !cycle()->cameraOk(m_camera);
}

void DrawROIWidget::open(int camera, bool alarm)
{
    m_alarm = alarm;
    const int cameras = m_host.cameraCount ? std::max(1, m_host.cameraCount()) : 1;
    m_cameraBox->clear();
    for (int c = 0; c < cameras; ++c)
        m_cameraBox->addItem(LanStr(kCameraN).arg(c + 1).trimmed());
    m_detectBox->clear();
    m_detectBox->addItems(DetectionNames(gpWPara ? gpWPara->work_mode : 0, gDNum));
    camera = std::clamp(camera, 0, cameras - 1);
    // Opened again while the setter is editing (an alarm opens the alarm view over the editor):
    // the edits stay and keep their backup, so a later save records them against the last save.
    const bool editing = isVisible() && dirty();
    if (editing && camera != m_camera && !SlotSaveData() && vision())
        vision()->LoadRegions();  // the edits of the camera left are dropped, as on a camera change
    const bool keepBackup = editing && camera == m_camera;
    m_camera = camera;
    m_d = alarm ? alarmDetection() : std::clamp(m_d, 0, m_detectBox->count() - 1);
    // The alarm view shows what is in the mould now; the editor starts on the template.
    m_source = alarm ? SourceLive : SourceTemplate;
    m_cameraBox->setCurrentIndex(m_camera);
    m_detectBox->setCurrentIndex(m_d);
    m_sourceBox->setCurrentIndex(m_source);
    if (!keepBackup)
        takeBackup();
    m_canvas->setVision(vision(), m_d);
    m_canvas->showAlarm = alarm;
    m_canvas->DeselectROI();
    m_alarmRow->setVisible(alarm);
    if (alarm) {
        QStringList failed;
        for (int c = 0; c < cameras; ++c)
            if (cycle() && !cycle()->cameraOk(c))
                failed << LanStr(kCameraN).arg(c + 1).trimmed();
        m_alarmText->setText(LanStr(kAlarm).trimmed() + QStringLiteral(": ") + failed.join(QStringLiteral(", "))
                             + QStringLiteral(" \u2013 ") + detectionName(m_d));
    }
    layoutPage();
    showRegion();
    refreshButtons();
    show();
    raise();
}

void DrawROIWidget::alarmEnded()
{
    if (!m_alarm)
        return;
    m_alarm = false;
    m_alarmRow->hide();
    m_canvas->showAlarm = false;
    layoutPage();
    refreshButtons();
}

bool DrawROIWidget::dirty() const
{
    const CameraVision *v = vision();
    if (!v)
        return false;
    for (int d = 0; d < std::clamp(gDNum, 1, 8); ++d) {
        const RegionEdit::DetectionState now = RegionEdit::Snapshot(v->singleton, d);
        if (!RegionEdit::ChangeRecords(m_backup[d], now, m_camera, QString()).isEmpty())
            return true;
    }
    return false;
}

void DrawROIWidget::takeBackup()
{
    for (int d = 0; d < 8; ++d) {
        m_backup[d] = vision() ? RegionEdit::Snapshot(vision()->singleton, d) : RegionEdit::DetectionState();
        m_trial[d] = StoredTrial();  // a trial tells of the edits up to the next save only
    }
}

void DrawROIWidget::resizeEvent(QResizeEvent *) { layoutPage(); }

void DrawROIWidget::layoutPage()
{
    const int w = width(), h = height();
    const bool compact = w <= 1600;
    if (compact != m_compact) {
        m_compact = compact;
        setStyleSheet(compact ? kStyle + kCompactStyle : kStyle);
        for (const auto &[row, b] : std::as_const(m_buttons))
            if (b->parent() == m_alarmRow)
                b->setMinimumWidth(compact ? 150 : 200);
        for (QLabel *name : m_sliderNames)
            name->setFixedWidth(compact ? 84 : 120);
    }
    const int sideWidth = std::min(600, std::max(w / 3, 470));
    const int topHeight = 80;
    const int alarmHeight = m_alarmRow->isVisible() ? 90 : 0;
    const int cavityHeight = 128;
    const int sideHeight = h - topHeight - alarmHeight;
    // Both pages at once when every row and the three sliders fit at full button height.
    const int rowHeight = kButtonHeight + kSpacing;
    const bool paged = sideHeight < (kSideRows + 3) * rowHeight + 16;
    if (!paged)
        m_sidePage = 0;
    for (int r = 0; r < kSideRows; ++r) {
        const bool shown = !paged || (r < kFirstPageRows) == (m_sidePage == 0);
        for (QPushButton *b : std::as_const(m_sideRow[r]))
            b->setVisible(shown);
    }
    m_pageButton->setVisible(paged);
    m_pageButton->setText(LanStr(m_sidePage == 0 ? kNextPage : kBack).trimmed());
    m_slidersShown = !paged || m_sidePage == 0;
    m_top->setGeometry(0, 0, w, topHeight);
    m_alarmRow->setGeometry(0, topHeight, w, alarmHeight);
    m_side->setGeometry(w - sideWidth, topHeight + alarmHeight, sideWidth, sideHeight);
    m_canvas->setGeometry(0, topHeight + alarmHeight, w - sideWidth, sideHeight - cavityHeight);
    m_cavityRow->setGeometry(0, h - cavityHeight, w - sideWidth, cavityHeight);
    showRegion();
}

bool DrawROIWidget::drawingAllowed() const { return m_source == SourceTemplate && vision(); }

void DrawROIWidget::refreshButtons()
{
    const bool canDraw = drawingAllowed();
    for (int row : {kDrawRect, kDrawCircle, kDrawPolygon, kDrawGesture})
        button(row)->setEnabled(canDraw);
    m_drawPolygon->setText(LanStr(m_canvas->drawMode() == RegionCanvas::Polygon && !m_canvas->gesture() ? kEndPolygon
                                                                                                        : kDrawPolygon)
                               .trimmed());
    m_showIgnore->setText(LanStr(m_canvas->showIgnorePoints ? kHideIgnored : kShowIgnored).trimmed());
    const bool alarmCamera = onAlarmCamera();
    button(kNextFailedCamera)->setVisible(m_alarm);
    // The output group belongs to the product detection's regions.
    const int selected = m_canvas->selected();
    const CameraVision *v = vision();
    m_outButton->setEnabled(m_d == 0 && selected >= 0 && v);
    m_outButton->setText(LanStr(kOutN).arg(selected >= 0 && v ? v->singleton.roiOut[selected] + 1 : 1).trimmed());
    button(kLiveTemp)->setEnabled(v != nullptr);
    for (const auto &[row, b] : std::as_const(m_buttons))
        if (row == kIgnoreAlarm && b->parent() == m_alarmRow)
            b->setEnabled(alarmCamera);
}

const cv::Mat *DrawROIWidget::shownImage()
{
    CameraVision *v = vision();
    if (!v)
        return nullptr;
    switch (m_source) {
    case SourceTemplate: {
        const int slot = std::clamp(v->tempCur[m_d], 0, int(v->tempImage[m_d].size()) - 1);
        return slot >= 0 ? &v->Template(m_d, slot) : nullptr;
    }
    case SourceLive:
        m_liveImage = m_host.liveImage ? m_host.liveImage(m_camera) : cv::Mat();
        return &m_liveImage;
    case SourceRecentNg:
        return &v->failFrame[m_d][std::clamp(m_ngShown, 0, kFailFrames - 1)];
    case SourceOkRecord:
    case SourceNgRecord:
        return &m_recordImage;
    }
    return nullptr;
}

void DrawROIWidget::SlotChangeSource(int source)
{
    if (source != m_source && !Guard::Require(Guard::Action::ImageSource)) {
        m_sourceBox->setCurrentIndex(m_source);
        return;
    }
    setSource(Source(source));
}

void DrawROIWidget::setSource(Source source)
{
    m_source = Source(std::clamp(int(source), 0, int(SourceNgRecord)));
    m_sourceBox->setCurrentIndex(m_source);
    m_canvas->setDrawMode(RegionCanvas::None);
    m_recordFiles.clear();
    m_recordImage.release();
    if (m_source == SourceOkRecord || m_source == SourceNgRecord) {
        QDir dir(FailImageDir(m_camera + 1, m_d + 1, m_source == SourceNgRecord));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name | QDir::Reversed))
            m_recordFiles << dir.filePath(name);
        m_recordShown = 0;
        step(0);
    }
    refreshButtons();
    m_canvas->update();
}

void DrawROIWidget::step(int direction)
{
    CameraVision *v = vision();
    if (!v)
        return;
    switch (m_source) {
    case SourceTemplate:
        if (direction)
            TemplateLibrary::Browse(*v, m_d, direction);
        break;
    case SourceRecentNg:
        m_ngShown = (m_ngShown + direction + kFailFrames) % kFailFrames;
        break;
    case SourceOkRecord:
    case SourceNgRecord:
        if (!m_recordFiles.isEmpty()) {
            m_recordShown = (m_recordShown + direction + int(m_recordFiles.size())) % int(m_recordFiles.size());
            const cv::Mat file = cv::imread(m_recordFiles[m_recordShown].toStdString(), cv::IMREAD_COLOR);
            if (!file.empty())
                cv::cvtColor(file, m_recordImage, cv::COLOR_BGR2RGBA);
        }
        break;
    case SourceLive:
        break;
    }
    m_canvas->update();
}

void DrawROIWidget::SlotChangeCamera(int camera)
{
    if (camera == m_camera)
        return;
    if (dirty()) {
        if (!SlotSaveData() && vision())
            vision()->LoadRegions();  // the edits of the camera left are dropped
    }
    m_camera = camera;
    m_cameraBox->setCurrentIndex(camera);
    takeBackup();
    m_canvas->setVision(vision(), m_d);
    m_canvas->DeselectROI();
    refreshButtons();
}

void DrawROIWidget::SlotChangeDetect(int d)
{
    m_d = std::clamp(d, 0, kMaxDetect - 1);
    m_detectBox->setCurrentIndex(m_d);
    m_canvas->setDrawMode(RegionCanvas::None);
    m_canvas->setVision(vision(), m_d);
    m_canvas->DeselectROI();
    CameraVision *v = vision();
    // An empty detection may get a proposed region around where product and mould differ.
    if (v && gpWPara && v->singleton.roiNum[m_d] == 0 && gpWPara->word145 && m_source != SourceLive
        && Operator::Ask(kNeedAutoArea) && AutogenerationRegion(*v, m_d, *gpWPara)) {
        m_canvas->select(0);
    }
    if (m_source == SourceOkRecord || m_source == SourceNgRecord)
        SlotChangeSource(m_source);
    showRegion();
    refreshButtons();
}

void DrawROIWidget::showRegion()
{
    CameraVision *v = vision();
    m_filling = true;
    for (int k = 0; k < 16; ++k) {
        // The cavity boxes carry the camera's cavity names (the setter's own, or "1#".. by default).
        const QString name = CavityName(m_camera, k);
        m_cavity[k]->setText(name.isEmpty() ? LanStr(kCavityRows[k]).trimmed() : name);
        m_cavity[k]->setChecked(v && v->singleton.cavity[m_d][k] == 2);
    }
    const int i = m_canvas->selected();
    const int func = (v && i >= 0) ? v->singleton.roiFunc[m_d][i] : -1;
    m_func->setText(func >= 0 ? RegionEdit::FunctionName(func) : LanStr(kFunc).trimmed());
    const QStringList targets = v ? RegionEdit::NudgeTargetNames(v->singleton, m_d, i) : QStringList();
    m_target = targets.isEmpty() ? 0 : std::clamp(m_target, 0, int(targets.size()) - 1);
    m_targetButton->setText(targets.isEmpty() ? LanStr(30).trimmed() : targets[m_target].trimmed());
    m_regionLabel->setText(i >= 0 ? LanStr(kNo).arg(i + 1) + QStringLiteral(" / %1").arg(v->singleton.roiNum[m_d])
                                  : QStringLiteral("%1").arg(v ? v->singleton.roiNum[m_d] : 0));
    // Per function: the three sliders' names and ranges (-1: not used).
    struct Use { int row; int min, max; };
    Use use[3] = {{-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}};
    switch (func) {
    case FuncDefect: use[0] = {kFilterSize, 1, 10}; use[1] = {kSensitivity, 0, 255}; use[2] = {kArea, 0, 1000}; break;
    case FuncSpot:
        use[0] = {m_paramHigh ? kMaxGray : kMinGray, 0, 255}; use[1] = {kMinArea, 0, 99999}; use[2] = {kMaxArea, 0, 99999};
        break;
    case FuncPosition: use[0] = {kLeastMatch, 1, 100}; use[1] = {kReserved, 1, 32}; use[2] = {kReserved, 1, 100}; break;
    case FuncBlackArea: use[1] = {kMaxGray, 0, 255}; use[2] = {kArea, 0, 50000}; break;
    case FuncWhiteArea: use[1] = {kMinGray, 0, 255}; use[2] = {kArea, 0, 50000}; break;
    case FuncSimilarity: use[1] = {kMinScore, 0, 100}; break;
    case FuncWhiteNum:
        use[0] = {kFilterSize, 1, 100}; use[1] = {kMinGray, 0, 255}; use[2] = {m_paramHigh ? kMaxNumber : kMinNumber, 0, 30000};
        break;
    case FuncDirection: use[0] = {kFilterSize, 0, 1}; use[1] = {kMinArea, 0, 50000}; use[2] = {kMaxArea, 0, 50000}; break;
    case FuncDistance: use[0] = {kDirection, 0, 1}; use[1] = {kSensitivityLower, 0, 255}; use[2] = {kQualifiedDist, 0, 5000}; break;
    default: break;
    }
    m_paramSwitch->setVisible(m_slidersShown && (func == FuncSpot || func == FuncWhiteNum));
    for (int k = 0; k < 3; ++k) {
        const bool used = m_slidersShown && use[k].row >= 0;
        m_sliders[k]->setVisible(used);
        m_sliderNames[k]->setVisible(used);
        if (!used)
            continue;
        m_sliderNames[k]->setText(LanStr(use[k].row).trimmed());
        m_sliders[k]->setRange(use[k].min, use[k].max);
        int value = k == 0 ? v->singleton.roiPara1[m_d][i] : k == 1 ? v->singleton.roiPara2[m_d][i] : v->singleton.roiPara3[m_d][i];
        if (func == FuncSpot && k == 0)
            value = m_paramHigh ? (value >> 8) & 0xFF : value & 0xFF;
        if (func == FuncWhiteNum && k == 2)
            value = m_paramHigh ? (value >> 16) & 0xFFFF : value & 0xFFFF;
        m_sliders[k]->setValue(value);
    }
    m_filling = false;
    refreshButtons();
    m_canvas->update();
}

void DrawROIWidget::sliderMoved(int k, int value)
{
    CameraVision *v = vision();
    const int i = m_canvas->selected();
    if (m_filling || !v || i < 0)
        return;
    CammerSingleton &r = v->singleton;
    int &para = k == 0 ? r.roiPara1[m_d][i] : k == 1 ? r.roiPara2[m_d][i] : r.roiPara3[m_d][i];
    const int func = r.roiFunc[m_d][i];
    if (func == FuncSpot && k == 0)
        para = m_paramHigh ? (para & 0xFF) | ((value & 0xFF) << 8) : (para & ~0xFF) | (value & 0xFF);
    else if (func == FuncWhiteNum && k == 2)
        para = m_paramHigh ? (para & 0xFFFF) | ((value & 0xFFFF) << 16) : (para & ~0xFFFF) | (value & 0xFFFF);
    else
        para = value;
    runPreview();
}

// The preview judges the selected region on the picture shown, so the setter sees its verdict at once.
void DrawROIWidget::runPreview()
{
    CameraVision *v = vision();
    CammerRecong *rec = recong();
    const int i = m_canvas->selected();
    const cv::Mat *shown = shownImage();
    if (!v || !rec || i < 0 || !shown || shown->empty() || shown->size() != v->workImage.size()
        || shown->type() != v->workImage.type()) {
        m_verdict->clear();
        return;
    }
    const cv::Mat working = v->workImage.clone();
    shown->copyTo(v->workImage);
    rec->RunTest(m_d, i);
    working.copyTo(v->workImage);
    const bool ok = v->roiOK[m_d][i] != 0;
    m_verdict->setText(QStringLiteral("%1  %2").arg(ok ? QStringLiteral("OK") : QStringLiteral("NG")).arg(v->roiValue[m_d][i]));
    m_verdict->setStyleSheet(ok ? QStringLiteral("color: #30e030; font-size: 28px; font-weight: bold;")
                                : QStringLiteral("color: #ff4040; font-size: 28px; font-weight: bold;"));
    m_canvas->showAlarm = true;
    m_canvas->update();
}

void DrawROIWidget::nudge(int dx, int dy)
{
    CameraVision *v = vision();
    if (!v)
        return;
    const int i = m_moveAll ? -1 : m_canvas->selected();
    if (!m_moveAll && i < 0)
        return;
    if (RegionEdit::Nudge(*v, m_d, i, dx, dy, QSize(gImageW, gImageH)))
        m_canvas->update();
}

void DrawROIWidget::changeSize(int step)
{
    CameraVision *v = vision();
    const int i = m_canvas->selected();
    if (v && i >= 0 && RegionEdit::ChangeSize(*v, m_d, i, m_target, step, QSize(gImageW, gImageH)))
        m_canvas->update();
}

void DrawROIWidget::SlotDrawRect()
{
    if (!drawingAllowed())
        return;
    m_canvas->DeselectROI();
    m_canvas->setDrawMode(RegionCanvas::Rect);
    refreshButtons();
}

void DrawROIWidget::SlotDrawCircle()
{
    if (!drawingAllowed())
        return;
    m_canvas->DeselectROI();
    m_canvas->setDrawMode(RegionCanvas::Circle);
    refreshButtons();
}

void DrawROIWidget::SlotDrawPloygn()
{
    if (!drawingAllowed())
        return;
    // A second press ends the polygon being drawn.
    if (m_canvas->drawMode() == RegionCanvas::Polygon && !m_canvas->gesture()) {
        m_canvas->SavePolygon();
    } else {
        m_canvas->DeselectROI();
        m_canvas->setDrawMode(RegionCanvas::Polygon);
    }
    refreshButtons();
}

void DrawROIWidget::SlotDrawHand()
{
    if (!drawingAllowed())
        return;
    m_canvas->DeselectROI();
    m_canvas->setDrawMode(RegionCanvas::Polygon, true);
    refreshButtons();
}

void DrawROIWidget::SlotCopy()
{
    if (m_canvas->selected() < 0) {
        Operator::Warn(kNoSelection);
        return;
    }
    m_canvas->armCopy();
}

void DrawROIWidget::SlotDeleteROI()
{
    const int i = m_canvas->selected();
    if (i < 0) {
        Operator::Warn(kNoSelection);
        return;
    }
    if (!Operator::Ask(kDelQuestion))
        return;
    RegionEdit::DeleteRegion(*vision(), m_d, i);
    m_canvas->DeselectROI();
    showRegion();
}

void DrawROIWidget::SlotDeleteAllROI()
{
    if (!vision() || !Operator::Ask(kDelAllQuestion))
        return;
    RegionEdit::DeleteAll(*vision(), m_d);
    m_canvas->DeselectROI();
    showRegion();
}

bool DrawROIWidget::SlotSaveData()
{
    CameraVision *v = vision();
    if (!v || !Operator::Ask(kSaveQuestion))
        return false;
    QStringList rows;
    QList<int> changed;
    for (int d = 0; d < std::clamp(gDNum, 1, 8); ++d) {
        const QStringList detectionRows =
            RegionEdit::ChangeRecords(m_backup[d], RegionEdit::Snapshot(v->singleton, d), m_camera, detectionName(d));
        rows << detectionRows;
        if (!detectionRows.isEmpty())
            changed << d;
    }
    const bool saved = v->singleton.SaveDatatoFile();
    // The rows say what the tables now hold: they are written only once the tables were.
    if (m_host.record) {
        if (saved) {
            for (const QString &row : std::as_const(rows))
                m_host.record(row);
            for (int d = 0; d < std::clamp(gDNum, 1, 8); ++d) {
                const StoredTrial &t = m_trial[d];
                if (!t.run)
                    continue;
                QString line = LanStr(kTrialRecord)
                                   .arg(m_camera + 1)
                                   .arg(detectionName(d))
                                   .arg(t.goodFailing)
                                   .arg(t.good)
                                   .arg(t.failedPassing)
                                   .arg(t.failed);
                if (!RegionEdit::ChangeRecords(t.regions, RegionEdit::Snapshot(v->singleton, d), m_camera, QString()).isEmpty())
                    line += LanStr(kChangedAfterTrial);
                m_host.record(line);
            }
        } else {
            m_host.record(LanStr(kSaveFailed).arg(m_camera + 1));
        }
    }
    if (!saved) {
        Operator::Warn(LanStr(kSaveFailed).arg(m_camera + 1));
        return false;
    }
    if (CammerRecong *rec = recong()) {
        for (int d : std::as_const(changed)) {
            rec->VarTrain(d);
            rec->CreateShape(d);
        }
    }
    takeBackup();
    return true;
}

ReplayDialog *DrawROIWidget::replayDialog() const { return m_replayDialog.data(); }

void DrawROIWidget::SlotTryStored()
{
    CameraVision *v = vision();
    if (!v || m_replayDialog)
        return;
    m_canvas->setDrawMode(RegionCanvas::None);
    const int camera = m_camera;
    const int d = m_d;
    const RegionEdit::DetectionState regions = RegionEdit::Snapshot(v->singleton, d);
    const QString title = LanStr(kTryStored).trimmed() + QStringLiteral(" \u2013 ") + LanStr(kCameraN).arg(camera + 1).trimmed()
                          + QStringLiteral(", ") + detectionName(d);
    auto *dialog = new ReplayDialog(Replay::TakeSettings(*v, d),
                                    Replay::ListPictures(QString::fromLatin1(Replay::kRoot), camera, d), title, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &ReplayDialog::runEnded, this, [this, dialog, camera, d, regions] {
        const Replay::Result &r = dialog->result();
        if (camera != m_camera || r.cancelled)
            return;
        m_trial[d] = {true, r.storedGood, r.goodNowFailing, r.storedFailed, r.failedNowPassing, regions};
    });
    m_replayDialog = dialog;
    const QSize size(std::max(900, width() * 85 / 100), std::max(700, height() * 85 / 100));
    dialog->resize(size);
    dialog->move(mapToGlobal(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2)));
    dialog->open();
}

void DrawROIWidget::SlotEndSet()
{
    m_canvas->setDrawMode(RegionCanvas::None);
    if (dirty() && !SlotSaveData() && vision())
        vision()->LoadRegions();
    if (m_alarm)
        return;  // the alarm view stays until the alarm is cleared
    hide();
    emit closed();
}

void DrawROIWidget::SlotIgnoreAlarmPoint()
{
    CameraVision *v = vision();
    if (!v)
        return;
    if (!onAlarmCamera()) {
        Operator::Warn(kSwitchToAlarmCamera);
        return;
    }
    if (!Guard::Require(Guard::Action::IgnoreAlarmPoint) || !Operator::Ask(kIgnoreQuestion))
        return;
    if (m_host.record)
        m_host.record(LanStr(kIgnoreDone).arg(m_camera + 1));
    const int d = alarmDetection();
    QList<int> refused;
    RegionEdit::IgnoreAlarmPoints(*v, d, &refused, kIgnoreLimit);
    for (int k = 0; k < refused.size(); ++k)
        Operator::Warn(LanStr(kIgnoreTooLarge).arg(kIgnoreLimit));
    if (!v->SaveIgnorePoint(d) && m_host.record)
        m_host.record(LanStr(kSaveFailed).arg(m_camera + 1));
    if (CammerRecong *rec = recong())
        rec->VarTrain(d);
    m_canvas->update();
}

void DrawROIWidget::SlotDeleteIgnorePoint()
{
    CameraVision *v = vision();
    if (!v)
        return;
    if (!onAlarmCamera()) {
        Operator::Warn(kSwitchToAlarmCamera);
        return;
    }
    if (!Operator::Ask(kDelIgnoredQuestion))
        return;
    const int d = alarmDetection();
    v->ignorePoint[d].setTo(0);
    if (m_host.record)
        m_host.record(LanStr(kDelIgnoredDone).arg(m_camera + 1));
    v->SaveIgnorePoint(d);
    if (CammerRecong *rec = recong())
        rec->VarTrain(d);
    m_canvas->update();
}

void DrawROIWidget::SlotShowHideAlarmPoint()
{
    m_canvas->showIgnorePoints = !m_canvas->showIgnorePoints;
    refreshButtons();
    m_canvas->update();
}

void DrawROIWidget::SlotAddTemp()
{
    CameraVision *v = vision();
    if (!v)
        return;
    TemplateLibrary::AddRequest request;
    request.detection = m_d;
    InspectionCycle *cycle = this->cycle();
    request.alarmPending = cycle && cycle->alarmState == InspectionCycle::AlarmRaised;
    request.alarmOnThisCamera = onAlarmCamera();
    request.alarmDetection = alarmDetection();
    request.doorMustBeOpen = gpWPara && gpWPara->enable_disarm_before_open;
    request.doorOpen = gisSafeDoorOpen.load();
    request.liveShown = m_source != SourceRecentNg;
    request.failFrameShown = m_ngShown;
    // The live frame becomes the template: the working image is what the library copies.
    if (request.liveShown && m_host.liveImage) {
        const cv::Mat live = m_host.liveImage(m_camera);
        if (live.size() == v->workImage.size() && live.type() == v->workImage.type())
            live.copyTo(v->workImage);
    }
    int slot = -1;
    const auto result = TemplateLibrary::AddTemplate(*v, recong(), request, &slot);
    m_canvas->update();
    // Added as a template while the alarm stands: the alarm's stage is checked again on it.
    if (result == TemplateLibrary::AddResult::Added && request.alarmPending && cycle) {
        m_releaseCode = 1;
        cycle->SlotReCheckAlarm(m_releaseCode);
    }
}

void DrawROIWidget::SlotTempDeleteCur()
{
    if (CameraVision *v = vision()) {
        TemplateLibrary::DeleteCurrent(*v, m_d);
        m_canvas->update();
    }
}

void DrawROIWidget::SlotTempDeleteAll()
{
    if (!Operator::Ask(kDeleteAllQuestion))
        return;
    const QList<CameraVision *> views = m_host.allVisions ? m_host.allVisions() : QList<CameraVision *>{vision()};
    TemplateLibrary::DeleteAll(std::span<CameraVision *const>(views.data(), views.size()));
    if (m_host.record)
        m_host.record(LanStr(kDeleteAllTemplates));
    m_canvas->update();
}

void DrawROIWidget::SlotResample()
{
    InspectionCycle *cycle = this->cycle();
    if (!cycle || m_alarm || !Guard::Require(Guard::Action::Resample) || !Operator::Ask(kResampleQuestion))
        return;
    cycle->StartResample();
}

void DrawROIWidget::SlotReCheck()
{
    InspectionCycle *cycle = this->cycle();
    if (!cycle)
        return;
    // Region edits count in the re-check.
    if (dirty())
        SlotSaveData();
    m_releaseCode = 3;
    cycle->SlotReCheckAlarm(m_releaseCode);
    if (cycle->alarmState == InspectionCycle::AlarmRaised && cycle->cameraOk(m_camera))
        SlotNextFailedCamera();
    m_canvas->update();
}

void DrawROIWidget::SlotDontDetect()
{
    InspectionCycle *cycle = this->cycle();
    if (!cycle || cycle->alarmState != InspectionCycle::AlarmRaised)
        return;
    if (!Guard::Require(Guard::Action::DontDetect))
        return;
    m_releaseCode = 0;
    if (Operator::Ask(kNotAllCameras)) {
        if (m_host.record)
            m_host.record(LanStr(kNotAllCamerasDone));
        cycle->DontDetectRelease(-1, m_releaseCode);
    } else if (Operator::Ask(LanStr(kNotThisCamera).arg(m_camera + 1))) {
        if (m_host.record)
            m_host.record(LanStr(kNotThisCameraDone).arg(m_camera + 1));
        cycle->DontDetectRelease(m_camera, m_releaseCode);
        if (cycle->alarmState == InspectionCycle::AlarmRaised)
            SlotNextFailedCamera();
    }
}

void DrawROIWidget::SlotOutN(int group)
{
    CameraVision *v = vision();
    const int i = m_canvas->selected();
    if (!v || i < 0 || m_d != 0)
        return;
    v->singleton.roiOut[i] = std::clamp(group, 0, 3);
    refreshButtons();
}

void DrawROIWidget::SlotLiveTemp()
{
    SlotChangeSource(m_source == SourceTemplate ? SourceLive : SourceTemplate);
}

void DrawROIWidget::SlotHelp() { Operator::Notify(LanStr(kHelpText)); }

void DrawROIWidget::SlotNextFailedCamera()
{
    InspectionCycle *cycle = this->cycle();
    const int cameras = m_host.cameraCount ? std::max(1, m_host.cameraCount()) : 1;
    if (!cycle)
        return;
    for (int k = 1; k <= cameras; ++k) {
        const int c = (m_camera + k) % cameras;
        if (!cycle->cameraOk(c)) {
            if (c != m_camera)
                SlotChangeCamera(c);
            break;
        }
    }
    refreshButtons();
}
