// The hardware information screen: two pages of names and values from conf.txt and confnext.txt,
// and the number of cameras in use.
#pragma once

#include <QFrame>
#include <QList>
#include <QPair>
#include <QString>

class QLabel;
class QPushButton;
class QTableWidget;

class HardwareConfigurationWidget : public QFrame
{
    Q_OBJECT
public:
    explicit HardwareConfigurationWidget(QWidget *parent = nullptr);

    // The pairs of conf.txt and confnext.txt in the working directory.
    static QList<QPair<QString, QString>> loadConfiguration();
    static QList<QPair<QString, QString>> loadConfigurationnext();

    // Reads both files again and shows the first page.
    void Open();

    int currentPage() const { return m_page; }
    QTableWidget *table() const { return m_table; }
    QLabel *cameraCount() const { return m_cameras; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *confirmButton() const { return m_confirm; }

public slots:
    void slotNextpage();
    // Hides the screen; the settings screen under it is shown again.
    void slotConfirm();

signals:
    void closed();

private:
    void showPage();

    int m_page = 0;
    QList<QPair<QString, QString>> m_pages[2];
    QLabel *m_cameras = nullptr;
    QTableWidget *m_table = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_confirm = nullptr;
};
