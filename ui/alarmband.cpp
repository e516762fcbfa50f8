#include "ui/alarmband.h"

#include "core/globals.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace {
constexpr int kRowAlarm = 146;
constexpr int kRowCamera = 151;
constexpr int kRowLiftAlarm = 195;  // "Open the safety door to lift the alarm"
constexpr int kRowReCheck = 61;     // "Re-detected"
constexpr int kRowStopDetection = 127;
}  // namespace

AlarmBand::AlarmBand(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("AlarmBand"));
    setAutoFillBackground(true);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(24, 10, 24, 10);
    row->setSpacing(24);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    title = new QLabel;
    title->setObjectName(QStringLiteral("title"));
    hint = new QLabel;
    hint->setObjectName(QStringLiteral("hint"));
    title->setWordWrap(true);
    hint->setWordWrap(true);
    texts->addWidget(title);
    texts->addWidget(hint);
    row->addLayout(texts, 1);
    auto button = [&](const QString &name) {
        auto *b = new QPushButton;
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumSize(220, 90);  // a gloved finger's target
        row->addWidget(b);
        return b;
    };
    reCheck = button(QStringLiteral("reCheck"));
    stop = button(QStringLiteral("stop"));
    hide();
}

void AlarmBand::setKind(Kind kind)
{
    m_kind = kind;
    const bool alarm = kind == Alarm;
    // Red for the alarm, amber for a stop: the two are never mistaken for each other.
    setStyleSheet(QStringLiteral(
        "#AlarmBand { background-color: %1; border-top: 4px solid %2; }"
        "QLabel { color: %3; font-family: 'WenQuanYi Micro Hei'; }"
        "QLabel#title { font-size: %4px; font-weight: bold; }"
        "QLabel#hint { font-size: 30px; }"
        "QPushButton { color: white; background-color: #2a1010; border: 3px solid white; border-radius: 10px;"
        "  font-family: 'WenQuanYi Micro Hei'; font-size: 28px; font-weight: bold; padding: 8px 18px; }"
        "QPushButton:pressed { background-color: #ffffff; color: #2a1010; }")
                      .arg(alarm ? QStringLiteral("#c0101a") : QStringLiteral("#e0a000"),
                           alarm ? QStringLiteral("#ffd0d0") : QStringLiteral("#fff0b0"),
                           alarm ? QStringLiteral("white") : QStringLiteral("#1a1200"))
                      .arg(alarm ? 44 : 36));
    reCheck->setVisible(alarm);
    stop->setVisible(alarm);
    hint->setVisible(alarm);
    setVisible(kind != Hidden);
    if (kind != Hidden)
        raise();
}

void AlarmBand::showAlarm(const QList<int> &cameras, const QString &stageName)
{
    QStringList names;
    for (int camera : cameras)
        names << LanStr(kRowCamera).arg(camera + 1).trimmed();
    QString text = LanStr(kRowAlarm).trimmed();
    if (!names.isEmpty())
        text += QStringLiteral(":  ") + names.join(QStringLiteral(", "));
    if (!stageName.isEmpty())
        text += QStringLiteral("  \u2013  ") + stageName;
    title->setText(text);
    hint->setText(LanStr(kRowLiftAlarm).simplified());
    reCheck->setText(LanStr(kRowReCheck));
    stop->setText(LanStr(kRowStopDetection));
    setKind(Alarm);
}

void AlarmBand::showStopped(const QString &reason)
{
    title->setText(reason.simplified());
    setKind(Stopped);
}

void AlarmBand::hideBand() { setKind(Hidden); }

void AlarmBand::place(QSize size, int panelWidth)
{
    if (m_kind == Alarm) {
        const int h = std::max(150, size.height() / 7);
        setGeometry(0, size.height() - h, size.width(), h);
    } else {
        const int h = std::max(80, size.height() / 12);
        setGeometry(0, size.height() - h, std::max(size.width() - panelWidth, 1), h);
    }
}
