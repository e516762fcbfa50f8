#include "ui/indexpanel.h"

#include "core/globals.h"
#include "ui/stationimages.h"
#include "cycle/inspectioncycle.h"
#include "params/wizardpara.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowStopDetection = 127;
constexpr int kRowStartDetection = 136;
constexpr int kRowSkipStart = 573;
constexpr int kRowSkipStop = 576;
constexpr int kRowProductSnapshot = 131;
constexpr int kRowMouldSnapshot = 132;
constexpr int kRowSnapshot = 516;
constexpr int kRowContinuous = 650;
constexpr int kRowTriggered = 651;
constexpr int kRowNgCountSetting = 656;
constexpr int kRowSystemParam = 215;
constexpr int kRowAreaSettings = 130;
constexpr int kRowManageUsers = 604;
constexpr int kRowNgImage = 457;
constexpr int kRowStatistics = 541;
constexpr int kRowHelp = 111;
constexpr int kRowMultiScreen = 126;

}  // namespace

QString StageName(int stage, int workMode)
{
    if (workMode == 0 || workMode == 3)
        return LanStr(stage % 2 == 0 ? 263 : 264);
    if (workMode == 1 || workMode == 2)
        return LanStr(372 + (stage & 3));
    return LanStr(477 + (stage & 7));
}

IndexButton::IndexButton(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("IndexButton"));
    setAutoFillBackground(true);
    // Touch-sized text: 14 px on panels up to 1024 px wide, 19 px on larger ones.
    const int textSize = parent && parent->width() <= 1024 ? 14 : 19;
    setStyleSheet(QStringLiteral(
        "#IndexButton { background-color: rgba(16, 22, 29, 215); border-left: 1px solid #3a4a5a; }"
        "QPushButton { color: #e8eef4; background-color: #24405c; border: 1px solid #4a6a8a;"
        "  border-radius: 6px; padding: 6px; font-family: 'WenQuanYi Micro Hei'; font-size: %1px; }"
        "QPushButton:pressed { background-color: #2d8cd6; }"
        "QPushButton#startStop { font-weight: bold; }"
        "QLabel { color: #e8eef4; font-family: 'WenQuanYi Micro Hei'; font-size: %2px; }")
                      .arg(textSize)
                      .arg(textSize - 3));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    auto *logo = new QLabel;
    if (gpImages && !gpImages->logo.isNull())
        logo->setPixmap(gpImages->logo.scaledToWidth(120, Qt::SmoothTransformation));
    logo->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo);

    auto button = [&](const QString &name) {
        auto *b = new QPushButton;
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumHeight(44);
        layout->addWidget(b);
        return b;
    };
    startStop = button(QStringLiteral("startStop"));
    skip = button(QStringLiteral("skip"));
    for (std::size_t i = 0; i < manual.size(); ++i)
        manual[i] = button(QStringLiteral("manual%1").arg(i));
    captureMode = button(QStringLiteral("captureMode"));
    ngWarnCount = new QLabel;
    ngWarnCount->setObjectName(QStringLiteral("ngWarnCount"));
    ngWarnCount->setAlignment(Qt::AlignCenter);
    layout->addWidget(ngWarnCount);
    layout->addStretch(1);
    multiScreen = button(QStringLiteral("multiScreen"));
    alarmImages = button(QStringLiteral("alarmImages"));
    statistics = button(QStringLiteral("statistics"));
    areaSettings = button(QStringLiteral("areaSettings"));
    systemPara = button(QStringLiteral("systemPara"));
    users = button(QStringLiteral("users"));
    help = button(QStringLiteral("help"));
    status = new QLabel;
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignCenter);
    layout->addWidget(status);

    multiScreen->setText(LanStr(kRowMultiScreen));
    alarmImages->setText(LanStr(kRowNgImage));
    statistics->setText(LanStr(kRowStatistics));
    systemPara->setText(LanStr(kRowSystemParam));
    areaSettings->setText(LanStr(kRowAreaSettings));
    users->setText(LanStr(kRowManageUsers));
    help->setText(LanStr(kRowHelp));
}

void IndexButton::Refresh(const InspectionCycle *cycle, const WizardPara *para, int stages, bool singleOfSeveral)
{
    const bool stopped = !cycle || cycle->detectState == InspectionCycle::Stopped;
    startStop->setText(LanStr(stopped ? kRowStartDetection : kRowStopDetection));

    skip->setVisible(para && para->offer_skip_detect != 0);
    skip->setText(LanStr(cycle && cycle->skipActive ? kRowSkipStop : kRowSkipStart));

    const int mode = para ? para->work_mode : 0;
    const bool snapshots = para && para->snap_shot != 0;
    for (int i = 0; i < static_cast<int>(manual.size()); ++i) {
        manual[i]->setVisible(snapshots && i < stages);
        if (mode == 0 || mode == 3)
            manual[i]->setText(LanStr(i % 2 == 0 ? kRowProductSnapshot : kRowMouldSnapshot));
        else
            manual[i]->setText(LanStr(kRowSnapshot) + QLatin1Char(' ') + StageName(i, mode));
    }

    const bool triggered = para && para->external_trigger != 0;
    captureMode->setText(LanStr(triggered ? kRowTriggered : kRowContinuous));
    ngWarnCount->setText(QStringLiteral("%1: %2").arg(LanStr(kRowNgCountSetting)).arg(para ? para->roi_ng_warn_count : 0));
    statistics->setVisible(para && para->enable_statistics != 0);
    multiScreen->setVisible(singleOfSeveral);
}
