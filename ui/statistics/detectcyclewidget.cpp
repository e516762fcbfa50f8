#include "ui/statistics/detectcyclewidget.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "records/detectcycle.h"
#include "records/usbexport.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowClose = 211;
constexpr int kRowExport = 326;
constexpr int kRowDetectionDate = 1305;
constexpr int kRowNumber = 1306;
constexpr int kRowDetectionTime = 1307;
constexpr int kRowCycle = 1308;
constexpr int kRowExportOptions = 1309;
constexpr int kRowStartDate = 1310;
constexpr int kRowEndDate = 1311;
constexpr int kRowExported = 1312;
constexpr int kRowExportFailed = 1313;
constexpr int kRowCycleRecords = 1314;

const QString kStyle = QStringLiteral(
    "QWidget { color: #e8eef4; background-color: #1a222c; font-family: 'WenQuanYi Micro Hei'; font-size: 20px; }"
    "QListWidget, QTableView, QDateTimeEdit { background-color: #222c38; border: 1px solid #3a4a5a; }"
    "QListWidget::item { height: 52px; }"
    "QListWidget::item:selected { background-color: #2d8cd6; }"
    "QHeaderView::section { background-color: #24405c; padding: 6px; border: 0; }"
    "QPushButton { background-color: #24405c; border: 1px solid #4a6a8a; border-radius: 6px; font-size: 22px; }"
    "QPushButton:pressed { background-color: #2d8cd6; }");

QPushButton *TouchButton(int row)
{
    auto *button = new QPushButton(LanStr(row));
    button->setFixedSize(200, 64);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

// ---- the range dialog ----------------------------------------------------------------------------

ExportDialog::ExportDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(LanStr(kRowExportOptions));
    setStyleSheet(kStyle + QStringLiteral("QDateTimeEdit { min-height: 60px; font-size: 24px; }"
                                          "QDateTimeEdit::drop-down { width: 64px; }"));
    setMinimumWidth(560);
    const QDateTime now = QDateTime::currentDateTime();
    m_start = new QDateTimeEdit(QDateTime(now.date(), QTime(0, 0)));
    m_end = new QDateTimeEdit(now);
    for (QDateTimeEdit *edit : {m_start, m_end}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        edit->setCalendarPopup(true);
        edit->setMinimumWidth(360);
    }
    auto *form = new QVBoxLayout(this);
    auto *title = new QLabel(LanStr(kRowExportOptions));
    title->setStyleSheet(QStringLiteral("font-size: 28px;"));
    form->addWidget(title);
    form->addWidget(new QLabel(LanStr(kRowStartDate)));
    form->addWidget(m_start);
    form->addWidget(new QLabel(LanStr(kRowEndDate)));
    form->addWidget(m_end);
    auto *buttons = new QHBoxLayout;
    QPushButton *confirm = TouchButton(kRowConfirm);
    QPushButton *cancel = TouchButton(kRowCancel);
    buttons->addStretch(1);
    buttons->addWidget(confirm);
    buttons->addWidget(cancel);
    form->addSpacing(20);
    form->addLayout(buttons);
    connect(confirm, &QPushButton::clicked, this, &ExportDialog::acceptedDialog);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ExportDialog::acceptedDialog()
{
    accept();
    emit rangeChosen(m_start->dateTime(), m_end->dateTime());
}

// ---- the records window --------------------------------------------------------------------------

DetectCycleWidget::DetectCycleWidget(DetectCycleSQL *cycles, QWidget *parent)
    : QWidget(parent), m_cycles(cycles), m_job(new CycleExportJob(this))
{
    setFixedSize(1000, 700);
    setWindowTitle(LanStr(kRowCycleRecords));
    setStyleSheet(kStyle);
    m_days = new QListWidget;
    m_days->setFixedWidth(200);
    m_table = new QTableView;
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(44);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_export = TouchButton(kRowExport);
    m_close = TouchButton(kRowClose);

    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(LanStr(kRowDetectionDate)));
    left->addWidget(m_days, 1);
    auto *body = new QHBoxLayout;
    body->addLayout(left);
    body->addWidget(m_table, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_export);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    connect(m_days, &QListWidget::clicked, this, &DetectCycleWidget::listDataChanged);
    connect(m_export, &QPushButton::clicked, this, &DetectCycleWidget::exportData);
    connect(m_close, &QPushButton::clicked, this, &DetectCycleWidget::closeAction);
    connect(m_job, &CycleExportJob::finished, this, &DetectCycleWidget::receive);
}

DetectCycleWidget::~DetectCycleWidget()
{
    m_model.reset();
    if (QSqlDatabase::contains(QLatin1String(kConnection))) {
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    }
}

void DetectCycleWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fillDays();
}

// Archived days first, oldest first, then the running day (today, once a day that ended is
// archived).
void DetectCycleWidget::fillDays()
{
    if (m_cycles)
        m_cycles->checkDate();
    m_days->clear();
    m_days->addItems(DetectCycleSQL::getDBName());
    const QString today = m_cycles ? m_cycles->storedDay().toString(QStringLiteral("yyyy-MM-dd"))
                                   : QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    m_days->addItem(today);
    m_days->setCurrentRow(m_days->count() - 1);
    listDataChanged(m_days->currentIndex());
}

void DetectCycleWidget::listDataChanged(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QString day = index.data().toString();
    bindSql(m_cycles ? m_cycles->dayFile(day) : DetectCycleSQL::ArchivePath(day));
}

void DetectCycleWidget::bindSql(const QString &file)
{
    m_model.reset();
    m_table->setModel(nullptr);
    const QString name = QLatin1String(kConnection);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.close();
    // Opening a missing file would leave an empty one behind.
    if (!QFile::exists(file)) {
        qDebug("database open fail!");
        return;
    }
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        qDebug("database open fail!");
        return;
    }
    m_model = std::make_unique<QSqlTableModel>(nullptr, db);
    m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    m_model->setTable(QStringLiteral("detect_cycle"));
    if (!m_model->select())
        qWarning().noquote() << "cycle records: cannot read" << file << m_model->lastError().text();
    m_model->setHeaderData(0, Qt::Horizontal, LanStr(kRowNumber));
    m_model->setHeaderData(1, Qt::Horizontal, LanStr(kRowDetectionTime));
    m_model->setHeaderData(2, Qt::Horizontal, LanStr(kRowCycle));
    m_table->setModel(m_model.get());
    m_table->setColumnWidth(0, 120);
    m_table->setColumnWidth(1, 360);
    m_table->horizontalHeader()->setStretchLastSection(true);
}

void DetectCycleWidget::exportData()
{
    if (m_job->running())
        return;
    m_stick = UsbStick::FindForExport(false);
    if (m_stick.isEmpty())
        return;
    ExportDialog dialog(this);
    connect(&dialog, &ExportDialog::rangeChosen, this, &DetectCycleWidget::startExport);
    dialog.exec();
}

void DetectCycleWidget::startExport(const QDateTime &from, const QDateTime &to)
{
    if (m_stick.isEmpty())
        m_stick = UsbStick::MountPoint();
    if (!m_job->start(from, to, m_stick))
        Operator::Warn(LanStr(kRowExportFailed).arg(QStringLiteral("sql.txt")));
}

void DetectCycleWidget::receive(bool ok, const QString &fileOrReason)
{
    Operator::Warn(ok ? LanStr(kRowExported) : LanStr(kRowExportFailed).arg(fileOrReason));
}

void DetectCycleWidget::closeAction()
{
    m_model.reset();
    m_table->setModel(nullptr);
    if (QSqlDatabase::contains(QLatin1String(kConnection)))
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
    close();
    emit closed();
}
