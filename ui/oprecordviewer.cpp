#include "ui/oprecordviewer.h"

#include "core/globals.h"
#include "core/guard.h"
#include "log/operationrecord.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

// Text table rows.
constexpr int kRowYes = 122;
constexpr int kRowNo = 123;
constexpr int kRowDelete = 184;
constexpr int kRowTime = 288;
constexpr int kRowUser = 289;
constexpr int kRowContent = 290;
constexpr int kRowClearQuestion = 297;
constexpr int kRowCleared = 298;

constexpr int kAdvancedLevel = 2;

}  // namespace

OpRecordViewer::OpRecordViewer(OperationRecord *record, QWidget *parent)
    : QWidget(parent)
    , m_record(record)
    , m_days(new QListWidget(this))
    , m_table(new QTableView(this))
    , m_clear(new QPushButton(LanStr(kRowDelete), this))
{
    m_days->setFixedWidth(180);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);

    auto *right = new QVBoxLayout;
    right->addWidget(m_table, 1);
    right->addWidget(m_clear, 0, Qt::AlignRight);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_days);
    layout->addLayout(right, 1);

    connect(m_days, &QListWidget::itemClicked, this, &OpRecordViewer::UpdateRecord);
    connect(m_clear, &QPushButton::clicked, this, &OpRecordViewer::SlotClearRecord);
}

OpRecordViewer::~OpRecordViewer()
{
    ShowModel(nullptr);
    CloseViewConnection();
    QSqlDatabase::removeDatabase(QLatin1String(kViewConnection));
}

void OpRecordViewer::SetRootCheck(std::function<bool()> check) { m_rootCheck = std::move(check); }

void OpRecordViewer::SetConfirm(std::function<bool(const QString &)> confirm) { m_confirm = std::move(confirm); }

QStringList OpRecordViewer::RecordDays(const QString &today)
{
    QStringList days{today};
    const QStringList files = QDir(QLatin1String(OperationRecord::kArchiveDir))
                                  .entryList(QStringList{QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (auto it = files.crbegin(); it != files.crend(); ++it)
        days.append(it->chopped(3));
    return days;
}

void OpRecordViewer::SlotToRecord()
{
    m_days->clear();
    m_days->addItems(RecordDays(m_record->Today()));
    m_days->setCurrentRow(0);
    UpdateRecord(m_days->item(0));
}

void OpRecordViewer::UpdateRecord(QListWidgetItem *item)
{
    ShowModel(nullptr);
    if (!item)
        return;
    QSqlDatabase db;
    if (m_days->row(item) == 0) {
        m_record->Flush();  // rows queued by other threads show too
        db = m_record->Connection();
    } else {
        CloseViewConnection();
        const QString path = OperationRecord::ArchivePath(item->text());
        // Opening a missing file would leave an empty one behind in the archive.
        if (!QFile::exists(path)) {
            qWarning().noquote() << "operation record viewer:" << path << "is gone";
            return;
        }
        db = QSqlDatabase::contains(QLatin1String(kViewConnection))
                 ? QSqlDatabase::database(QLatin1String(kViewConnection), false)
                 : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kViewConnection));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            qWarning().noquote() << "operation record viewer: cannot open" << path << db.lastError().text();
            return;
        }
    }
    if (!db.isOpen())
        return;

    auto model = std::make_unique<QSqlTableModel>(nullptr, db);
    model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    model->setTable(QStringLiteral("RECORD"));
    model->setSort(0, Qt::DescendingOrder);
    if (!model->select())
        qWarning().noquote() << "operation record viewer: cannot read" << item->text() << model->lastError().text();
    model->setHeaderData(0, Qt::Horizontal, LanStr(kRowTime));
    model->setHeaderData(1, Qt::Horizontal, LanStr(kRowUser));
    model->setHeaderData(2, Qt::Horizontal, LanStr(kRowContent));
    ShowModel(std::move(model));

    const QScreen *screen = QGuiApplication::primaryScreen();
    const bool wide = screen && screen->geometry().width() > 1024;
    m_table->setColumnWidth(0, wide ? 120 : 70);
    m_table->setColumnWidth(1, wide ? 125 : 65);
    m_table->setColumnWidth(2, wide ? 1330 : 405);
}

void OpRecordViewer::SlotClearRecord()
{
    const auto advanced = [this] { return m_record->CurrentLevel() == kAdvancedLevel; };
    const bool rootHolds = m_rootCheck ? m_rootCheck() : Guard::Require(Guard::Action::ClearRecord);
    if (!rootHolds)
        return;
    const QString question = LanStr(kRowClearQuestion);
    bool confirmed = false;
    if (m_confirm) {
        confirmed = m_confirm(question);
    } else {
        QMessageBox box(QMessageBox::Question, QString(), question, QMessageBox::NoButton, this);
        QPushButton *yes = box.addButton(LanStr(kRowYes), QMessageBox::YesRole);
        box.addButton(LanStr(kRowNo), QMessageBox::NoRole);
        box.exec();
        confirmed = box.clickedButton() == yes;
    }
    // The login may have timed out while the question was open.
    if (!confirmed || !advanced())
        return;
    m_record->ClearRecord();
    m_record->InsertRecord(LanStr(kRowCleared));
    if (m_days->currentRow() == 0)
        UpdateRecord(m_days->item(0));
}

void OpRecordViewer::ShowModel(std::unique_ptr<QSqlTableModel> model)
{
    QItemSelectionModel *oldSelection = m_table->selectionModel();
    m_table->setModel(model.get());
    delete oldSelection;
    m_model = std::move(model);
}

void OpRecordViewer::CloseViewConnection()
{
    if (QSqlDatabase::contains(QLatin1String(kViewConnection)))
        QSqlDatabase::database(QLatin1String(kViewConnection), false).close();
}
