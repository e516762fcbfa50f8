// The "Op-Record" viewer: the record days, the rows of the chosen day newest first, and clearing.
#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class OperationRecord;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSqlTableModel;
class QTableView;

// Hosted by the system-parameter screen as its operation-record page; it also works on its own.
// It reads the running file through the record's "dbRecord" connection and an archived day
// through a second connection of its own, read-only.
class OpRecordViewer : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char *kViewConnection = "dbRecordView";

    // `record` is borrowed and must outlive the viewer.
    explicit OpRecordViewer(OperationRecord *record, QWidget *parent = nullptr);
    ~OpRecordViewer() override;

    // Asks for the advanced level and says whether it holds now. Without one, the station's guard
    // asks (Guard::Require with ClearRecord).
    void SetRootCheck(std::function<bool()> check);
    // Asks the operator a yes/no question (the choice box). Without one, a message box asks.
    void SetConfirm(std::function<bool(const QString &question)> confirm);

    // The days to list: `today` first, then the archived days newest first.
    static QStringList RecordDays(const QString &today);

    QListWidget *DayList() const { return m_days; }
    QTableView *Table() const { return m_table; }
    QSqlTableModel *Model() const { return m_model.get(); }
    QPushButton *ClearButton() const { return m_clear; }

public slots:
    // Entering the page: lists the days again and shows today.
    void SlotToRecord();
    // Shows the rows of the day of `item`: the running file for the first row, else the archive.
    void UpdateRecord(QListWidgetItem *item);
    // Clears today's rows after the advanced level and a confirmation, and records that it did.
    void SlotClearRecord();

private:
    void ShowModel(std::unique_ptr<QSqlTableModel> model);
    void CloseViewConnection();

    OperationRecord *m_record;  // borrowed
    QListWidget *m_days;
    QTableView *m_table;
    QPushButton *m_clear;
    std::unique_ptr<QSqlTableModel> m_model;
    std::function<bool()> m_rootCheck;
    std::function<bool(const QString &)> m_confirm;
};
