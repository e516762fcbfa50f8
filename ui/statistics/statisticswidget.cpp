#include "ui/statistics/statisticswidget.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "params/wizardpara.h"
#include "records/resstatistics.h"
#include "records/usbexport.h"
#include "ui/indexpanel.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabBar>
#include <QVBoxLayout>
#include <QtDebug>

#include <algorithm>

namespace {

constexpr int kRowReturn = 58;
constexpr int kRowExport = 326;
constexpr int kRowExported = 147;
constexpr int kRowCamera = 43;
constexpr int kRowAllCameras = 44;
constexpr int kRowDetection = 1005;
constexpr int kRowMorning = 545;
constexpr int kRowNight = 546;
constexpr int kRowTotal = 547;
constexpr int kRowAllDetections = 1301;
constexpr int kRowNgRate = 1302;
constexpr int kRowOutputCount = 1303;
constexpr int kRowAbnormalCount = 1304;
constexpr int kRowExportFailed = 1313;
constexpr int kRowOkTotal = 1316;
constexpr int kRowNgTotal = 1317;
constexpr int kRowProduction = 1318;

const QColor kOkBar(0, 255, 0, 200);
const QColor kNgBar(255, 0, 0, 200);

QLabel *Label(const QString &text, int pixelSize, const QSize &size, QWidget *parent = nullptr)
{
    auto *label = new QLabel(text, parent);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    label->setFont(font);
    label->setMinimumSize(size);
    return label;
}

}  // namespace

QString NgRateText(int ok, int ng)
{
    const int production = ok + ng;
    const double rate = production > 0 ? ng * 100.0 / production : 0.0;
    return QString::number(rate, 'g', 4) + QLatin1Char('%');
}

// ---- Histogram ---------------------------------------------------------------------------------

Histogram::Histogram(QWidget *parent) : QWidget(parent)
{
    setMinimumHeight(420);
    setMinimumWidth(560);
}

void Histogram::modifyDataAxisY(const QList<int> &ok, const QList<int> &ng)
{
    m_ok = ok;
    m_ng = ng;
    update();
}

void Histogram::modifyDataAxisY1(const QList<int> &ok)
{
    m_ok = ok;
    update();
}

void Histogram::modifyDataAxisY2(const QList<int> &ng)
{
    m_ng = ng;
    update();
}

void Histogram::setHours(const QList<int> &hours)
{
    m_hours = hours;
    update();
}

int Histogram::clcMaxY() const
{
    int top = 0;
    for (int v : m_ok)
        top = std::max(top, v);
    for (int v : m_ng)
        top = std::max(top, v);
    return top;
}

void Histogram::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(15);
    painter.setFont(font);
    const QColor ink(0xe8, 0xee, 0xf4);

    // Axes in the lower left; 59 px of the height are left for the legend, values and labels.
    const int left = 40, bottom = height() - 30, top = 29;
    painter.setPen(QPen(ink, 2));
    painter.drawLine(left, bottom, width() - 10, bottom);
    painter.drawLine(left, bottom, left, top - 10);

    // Legend.
    const int legendX = width() - 260;
    painter.fillRect(legendX, 6, 18, 18, kOkBar);
    painter.drawText(legendX + 24, 21, LanStr(kRowOutputCount));
    painter.fillRect(legendX + 130, 6, 18, 18, kNgBar);
    painter.drawText(legendX + 154, 21, LanStr(kRowAbnormalCount));

    const int n = std::min({m_ok.size(), m_ng.size(), m_hours.size()});
    if (n == 0)
        return;
    const int maxY = clcMaxY();
    // In floating point: a large count must not turn the scale into 0 (no bars) or a jagged one.
    const double scale = maxY > 0 ? double(height() - 59) / maxY : 0.0;
    const double group = double(width() - left - 20) / n;
    const double bar = std::max(2.0, group * 0.36);
    for (int i = 0; i < n; ++i) {
        const double x = left + 6 + i * group;
        const struct { int value; QColor colour; double at; } bars[2] = {
            {m_ok[i], kOkBar, x}, {m_ng[i], kNgBar, x + bar}};
        for (const auto &b : bars) {
            const double h = b.value * scale;
            const QRectF rect(b.at, bottom - h, bar, h);
            painter.fillRect(rect, b.colour);
            painter.setPen(ink);
            painter.drawText(QRectF(b.at - 10, bottom - h - 20, bar + 20, 18), Qt::AlignCenter, QString::number(b.value));
        }
        painter.drawText(QRectF(x - 4, bottom + 4, 2 * bar + 8, 22), Qt::AlignCenter,
                         QStringLiteral("%1").arg(m_hours[i]));
    }
}

// ---- one page ----------------------------------------------------------------------------------

CameraStatisticsWidget::CameraStatisticsWidget(ResStatisticsParam *stats, int camera, int detection, QWidget *parent)
    : QWidget(parent), m_stats(stats), m_camera(camera), m_detection(detection)
{
    const QSize title(150, 50), cell(120, 40);
    const auto block = [&](int titleRow, QList<QPair<int, QLabel **>> values, Histogram **chart) {
        auto *frame = new QFrame;
        frame->setObjectName(QStringLiteral("block"));
        auto *grid = new QGridLayout(frame);
        grid->addWidget(Label(LanStr(titleRow), 28, title), 0, 0, 1, 2);
        int row = 1;
        for (auto &[nameRow, value] : values) {
            grid->addWidget(Label(LanStr(nameRow), 22, cell), row, 0);
            *value = Label(QStringLiteral("0"), 26, cell);
            grid->addWidget(*value, row++, 1);
        }
        if (chart) {
            *chart = new Histogram;
            grid->addWidget(*chart, row, 0, 1, 3);
        }
        grid->setRowStretch(row, 1);
        grid->setColumnStretch(2, 1);
        return frame;
    };
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(12);
    layout->addWidget(block(kRowMorning, {{kRowOkTotal, &m_morningOk}, {kRowNgTotal, &m_morningNg}}, &m_morningChart), 5);
    layout->addWidget(block(kRowNight, {{kRowOkTotal, &m_nightOk}, {kRowNgTotal, &m_nightNg}}, &m_nightChart), 5);
    layout->addWidget(block(kRowTotal, {{kRowProduction, &m_production}, {kRowNgTotal, &m_ngTotal}, {kRowNgRate, &m_ngRate}},
                            nullptr),
                      2);
    for (QLabel *ok : {m_morningOk, m_nightOk})
        ok->setStyleSheet(QStringLiteral("color: rgb(40, 210, 60);"));  // green, legible on the dark panel
    for (QLabel *ng : {m_morningNg, m_nightNg, m_ngTotal})
        ng->setStyleSheet(QStringLiteral("color: rgb(255, 70, 60);"));
    m_morningChart->setHours(ResStatistics::ShiftHours(MorningShift));
    m_nightChart->setHours(ResStatistics::ShiftHours(NightShift));
}

void CameraStatisticsWidget::updateData()
{
    if (!m_stats)
        return;
    const auto count = [&](ShiftType shift, bool ok) { return m_stats->getCount(shift, ok, m_camera, m_detection); };
    m_morningOk->setText(QString::number(count(MorningShift, true)));
    m_morningNg->setText(QString::number(count(MorningShift, false)));
    m_nightOk->setText(QString::number(count(NightShift, true)));
    m_nightNg->setText(QString::number(count(NightShift, false)));
    const int ok = count(WholeDay, true), ng = count(WholeDay, false);
    m_production->setText(QString::number(ok + ng));
    m_ngTotal->setText(QString::number(ng));
    m_ngRate->setText(NgRateText(ok, ng));
    m_morningChart->modifyDataAxisY(m_stats->getRes(MorningShift, true, m_camera, m_detection),
                                    m_stats->getRes(MorningShift, false, m_camera, m_detection));
    m_nightChart->modifyDataAxisY(m_stats->getRes(NightShift, true, m_camera, m_detection),
                                  m_stats->getRes(NightShift, false, m_camera, m_detection));
}

QStringList CameraStatisticsWidget::shownValues() const
{
    QStringList values;
    for (const QLabel *label : {m_morningOk, m_morningNg, m_nightOk, m_nightNg, m_production, m_ngTotal, m_ngRate})
        values << label->text();
    return values;
}

void CameraStatisticsWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateData();
}

// ---- tabs --------------------------------------------------------------------------------------

CamereaTabWidget::CamereaTabWidget(ResStatisticsParam *stats, int camera, int steps, int workMode, QWidget *parent)
    : QTabWidget(parent)
{
    // Tab i shows detection (i + 8) mod 9: "all" first.
    for (int i = 0; i <= steps; ++i) {
        const int detection = (i + 8) % 9;
        const QString name = detection == ResStatistics::kAll ? LanStr(kRowAllDetections)
                                                              : LanStr(kRowDetection).arg(StageName(detection, workMode));
        addTab(new CameraStatisticsWidget(stats, camera, detection), name);
    }
    connect(this, &QTabWidget::currentChanged, this, [this] { updateData(); });
}

void CamereaTabWidget::updateData()
{
    if (CameraStatisticsWidget *shown = page(currentIndex()))
        shown->updateData();
}

CameraStatisticsWidget *CamereaTabWidget::page(int tab) const { return qobject_cast<CameraStatisticsWidget *>(widget(tab)); }

// ---- the screen --------------------------------------------------------------------------------

StatisticsWidget::StatisticsWidget(ResStatisticsParam *stats, QWidget *parent) : QFrame(parent), m_stats(stats)
{
    setObjectName(QStringLiteral("statistics"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral(
        "#statistics { background-color: #1a222c; }"
        "QLabel { color: #e8eef4; }"
        "#block { background-color: #222c38; border: 1px solid #3a4a5a; border-radius: 6px; }"
        "QListWidget { color: #e8eef4; background-color: #222c38; font-family: 'WenQuanYi Micro Hei'; font-size: 20px; }"
        "QListWidget::item { height: 56px; }"
        "QListWidget::item:selected { background-color: #2d8cd6; }"
        "QTabWidget::pane { border: 1px solid #3a4a5a; }"
        "QTabBar::tab{width: 150px; height: 50px; font-size: 25px;}"
        "QTabBar::tab { color: #e8eef4; background-color: #24405c; font-family: 'WenQuanYi Micro Hei'; }"
        "QTabBar::tab:selected { background-color: #2d8cd6; }"
        "QPushButton { color: #e8eef4; background-color: #24405c; border: 1px solid #4a6a8a; border-radius: 6px;"
        "  font-family: 'WenQuanYi Micro Hei'; font-size: 24px; }"
        "QPushButton:pressed { background-color: #2d8cd6; }"));

    m_days = new QListWidget;
    m_days->setFixedWidth(170);
    m_cameras = new QTabWidget;
    const int cameras = std::clamp(numCamera, 0, 8);
    const int steps = std::clamp(gDNum, 0, 8);
    const int mode = gpWPara ? gpWPara->work_mode : 0;
    // Tab i shows camera (i + 8) mod 9: "all cameras" first.
    for (int i = 0; i <= cameras; ++i) {
        const int camera = (i + 8) % 9;
        const QString name = camera == ResStatistics::kAll ? LanStr(kRowAllCameras) : LanStr(kRowCamera).arg(camera + 1);
        m_cameras->addTab(new CamereaTabWidget(stats, camera, steps, mode), name);
    }
    connect(m_cameras, &QTabWidget::currentChanged, this, [this] {
        if (CamereaTabWidget *tab = cameraTab(m_cameras->currentIndex()))
            tab->updateData();
    });

    m_return = new QPushButton(LanStr(kRowReturn));
    m_export = new QPushButton(LanStr(kRowExport));
    for (QPushButton *button : {m_return, m_export}) {
        button->setFixedSize(300, 64);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_export);
    buttons->addWidget(m_return);

    auto *body = new QHBoxLayout;
    body->addWidget(m_days);
    body->addWidget(m_cameras, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    connect(m_days, &QListWidget::itemClicked, this, &StatisticsWidget::UpdateRecord);
    connect(m_return, &QPushButton::clicked, this, &StatisticsWidget::SlotConfirm);
    connect(m_export, &QPushButton::clicked, this, &StatisticsWidget::SlotExportData);
    if (m_stats) {
        connect(m_stats, &ResStatisticsParam::counted, this, &StatisticsWidget::checkUpdate);
        connect(m_stats, &ResStatisticsParam::dayEnded, this, [this] {
            if (isVisible())
                updateList();
        });
    }
    hide();
}

StatisticsWidget::~StatisticsWidget()
{
    if (QSqlDatabase::contains(QLatin1String(kConnection))) {
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    }
}

CamereaTabWidget *StatisticsWidget::cameraTab(int tab) const
{
    return qobject_cast<CamereaTabWidget *>(m_cameras->widget(tab));
}

CameraStatisticsWidget *StatisticsWidget::currentPage() const
{
    CamereaTabWidget *tab = cameraTab(m_cameras->currentIndex());
    return tab ? tab->page(tab->currentIndex()) : nullptr;
}

void StatisticsWidget::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    updateList();
}

void StatisticsWidget::updateList()
{
    if (!m_stats)
        return;
    m_days->clear();
    m_days->addItem(m_stats->dayName());
    const QStringList archived = QDir(QLatin1String(ResStatisticsParam::kArchiveDir))
                                     .entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (auto it = archived.crbegin(); it != archived.crend(); ++it)
        m_days->addItem(it->chopped(3));
    m_shownRow = -1;
    m_days->setCurrentRow(0);
    UpdateRecord(m_days->item(0));
}

void StatisticsWidget::UpdateRecord(QListWidgetItem *item)
{
    if (!m_stats || !item)
        return;
    const int row = m_days->row(item);
    if (row == 0) {
        m_stats->setFollowLive(true);
        m_stats->setFindCount();
    } else {
        const QString name = QLatin1String(kConnection);
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                       : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.close();
        const QString path = ResStatisticsParam::ArchivePath(item->text());
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery probe(db);
        // A day that cannot be read leaves the shown day on screen.
        if (!QFile::exists(path) || !db.open() || !probe.exec(QStringLiteral("SELECT count(*) FROM resstatistics"))) {
            qWarning().noquote() << "statistics screen: cannot read" << path;
            probe.finish();
            db.close();
            if (m_shownRow >= 0)
                m_days->setCurrentRow(m_shownRow);
            return;
        }
        probe.finish();
        m_stats->setFollowLive(false);
        QSqlQuery query(db);
        m_stats->setFindCount(query);
        query.finish();
        db.close();
    }
    m_shownRow = row;
    if (CamereaTabWidget *tab = cameraTab(m_cameras->currentIndex()))
        tab->updateData();
}

void StatisticsWidget::checkUpdate()
{
    if (m_shownRow != 0)
        return;
    if (CamereaTabWidget *tab = cameraTab(m_cameras->currentIndex()))
        tab->updateData();
}

void StatisticsWidget::SlotConfirm()
{
    hide();
    emit closed();
}

void StatisticsWidget::SlotExportData()
{
    if (!m_stats)
        return;
    const QString stick = UsbStick::FindForExport(true);
    if (stick.isEmpty())
        return;
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss"));
    const QString local = QDir::current().absoluteFilePath(name + QStringLiteral(".xlsx"));
    QString why;
    bool ok = StatisticsExport::Write(local, m_stats->dayName(), numCamera);
    if (!ok)
        why = QStringLiteral("cannot write %1").arg(local);
    ok = ok && UsbStick::CopyVerified(local, QDir(stick).filePath(name + QStringLiteral(".xlsx")), &why);
    QFile::remove(local);
    const bool released = UsbStick::Release();
    if (ok && !released)
        why = QStringLiteral("sync failed");
    Operator::Warn(ok && released ? LanStr(kRowExported) : LanStr(kRowExportFailed).arg(why));
}
