// The statistics screen: a list of days, camera and detection tabs, per page the morning, night and
// whole-day totals with the NG rate and two hourly bar charts.
#pragma once

#include <QFrame>
#include <QList>
#include <QString>
#include <QTabWidget>
#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class ResStatisticsParam;

// The NG rate as shown: NG x 100 / (OK + NG) with 4 significant digits and "%"; "0%" before any
// result.
QString NgRateText(int ok, int ng);

// Two series of counts (OK green, NG red) side by side over hour labels, each bar with its value.
class Histogram : public QWidget
{
    Q_OBJECT
public:
    explicit Histogram(QWidget *parent = nullptr);

    void modifyDataAxisY(const QList<int> &ok, const QList<int> &ng);
    void modifyDataAxisY1(const QList<int> &ok);
    void modifyDataAxisY2(const QList<int> &ng);
    void setHours(const QList<int> &hours);
    // The largest value of both series.
    int clcMaxY() const;

    const QList<int> &okSeries() const { return m_ok; }
    const QList<int> &ngSeries() const { return m_ng; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<int> m_ok, m_ng, m_hours;
};

// One page: camera `camera` (8 all) and detection `detection` (8 all) of the viewed record.
class CameraStatisticsWidget : public QWidget
{
    Q_OBJECT
public:
    CameraStatisticsWidget(ResStatisticsParam *stats, int camera, int detection, QWidget *parent = nullptr);
    void updateData();

    int camera() const { return m_camera; }
    int detection() const { return m_detection; }
    // Shown values: morning OK, morning NG, night OK, night NG, production, NG total, NG rate.
    QStringList shownValues() const;
    Histogram *morningChart() const { return m_morningChart; }
    Histogram *nightChart() const { return m_nightChart; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    ResStatisticsParam *m_stats;  // borrowed
    int m_camera, m_detection;
    QLabel *m_morningOk, *m_morningNg, *m_nightOk, *m_nightNg, *m_production, *m_ngTotal, *m_ngRate;
    Histogram *m_morningChart, *m_nightChart;
};

// The detection tabs of one camera: "all detections" first, then one per step in force.
class CamereaTabWidget : public QTabWidget
{
    Q_OBJECT
public:
    CamereaTabWidget(ResStatisticsParam *stats, int camera, int steps, int workMode, QWidget *parent = nullptr);
    void updateData();
    CameraStatisticsWidget *page(int tab) const;
};

class StatisticsWidget : public QFrame
{
    Q_OBJECT
public:
    // `stats` is borrowed and lives as long as the station.
    explicit StatisticsWidget(ResStatisticsParam *stats, QWidget *parent = nullptr);
    ~StatisticsWidget() override;

    static constexpr const char *kConnection = "dbListRes";

    QListWidget *dayList() const { return m_days; }
    QTabWidget *cameraTabs() const { return m_cameras; }
    CamereaTabWidget *cameraTab(int tab) const;
    // The page on screen.
    CameraStatisticsWidget *currentPage() const;

public slots:
    void updateList();
    void UpdateRecord(QListWidgetItem *item);
    void checkUpdate();
    void SlotConfirm();
    void SlotExportData();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;

private:
    ResStatisticsParam *m_stats;  // borrowed
    QListWidget *m_days;
    QTabWidget *m_cameras;
    QPushButton *m_return, *m_export;
    int m_shownRow = -1;
};
