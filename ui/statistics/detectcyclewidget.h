// The cycle-record window: the recorded days, the cycles of the chosen day, and the export of a
// date range to a USB stick through the converter.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QWidget>

#include <memory>

class CycleExportJob;
class DetectCycleSQL;
class QDateTimeEdit;
class QListWidget;
class QModelIndex;
class QPushButton;
class QSqlTableModel;
class QTableView;

// "导出选项": the start and end of the range to export.
class ExportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ExportDialog(QWidget *parent = nullptr);
    QDateTimeEdit *startEdit() const { return m_start; }
    QDateTimeEdit *endEdit() const { return m_end; }

public slots:
    void acceptedDialog();

signals:
    void rangeChosen(const QDateTime &from, const QDateTime &to);

private:
    QDateTimeEdit *m_start, *m_end;
};

class DetectCycleWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char *kConnection = "dbDetectCycleView";

    // `cycles` is borrowed (DetectCycleSQL::instance); it names the running day.
    explicit DetectCycleWidget(DetectCycleSQL *cycles, QWidget *parent = nullptr);
    ~DetectCycleWidget() override;

    QListWidget *dayList() const { return m_days; }
    QTableView *table() const { return m_table; }
    QSqlTableModel *model() const { return m_model.get(); }

public slots:
    void listDataChanged(const QModelIndex &index);
    void bindSql(const QString &file);
    void exportData();
    // The range of the dialog: the converter runs and its file goes to the stick.
    void startExport(const QDateTime &from, const QDateTime &to);
    void closeAction();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void receive(bool ok, const QString &fileOrReason);
    void fillDays();

    DetectCycleSQL *m_cycles;  // borrowed
    QListWidget *m_days;
    QTableView *m_table;
    QPushButton *m_export, *m_close;
    std::unique_ptr<QSqlTableModel> m_model;
    CycleExportJob *m_job;
    QString m_stick;
};
