// The system-parameter screen: pages over the edit copy of the parameter record, the accept that
// records every changed value, and the station's maintenance actions.
#pragma once

#include <QFrame>
#include <QList>
#include <QPair>
#include <functional>

class CammerWidget;
class CheckBox;
class ComboBox;
class EditBox;
class EditIP;
class OpRecordViewer;
class OperationRecord;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class Slider;
namespace ParaClauses { struct Field; }

class WizardParaWidget : public QFrame
{
    Q_OBJECT
public:
    enum Page { CommonPage, CameraPage, NetworkPage, IoPage, AdvancedPage, RecordPage, PageCount };

    // What the screen reaches outside itself; the main window installs them. An entry point left
    // empty shows that the screen is not available yet.
    struct Hooks
    {
        std::function<void(const QString &)> insertRecord;  // the operation record
        std::function<void()> flushAll;                     // close the databases before a restart
        std::function<void()> resetCounters;                // write the cleared counters to their file
        std::function<void()> exitProgram;                  // end the station
        std::function<void()> networkChanged;               // restart the network service
        std::function<void()> retrainAll;                   // train every camera's regions again
        std::function<void()> accepted;                     // after an accept that closed the screen
        std::function<CammerWidget *(int position)> cameraView;
        std::function<QString()> chooseUpdateArchive;       // the archive of a program update
        std::function<int()> chooseCalibrationPoints;       // 0 cancelled
        // Entry points to screens of their own.
        std::function<void()> showIoWidget, showCustomIoNames, showEditCavity, showDetectCycle,
            showHardwareConfiguration, exportData, showCameraNumbering, showOtherNetwork;
    };

    // `record` is borrowed for the operation-record page and must outlive the screen.
    explicit WizardParaWidget(OperationRecord *record, QWidget *parent = nullptr);

    Hooks &hooks() { return m_hooks; }

    // Fills the edit copy from the whole live record, loads every field and shows the first page.
    void Open();
    // The IO settings wrote the stage count into the edit copy: the field shows it.
    void reloadStageCount();

    int currentPage() const { return m_page; }
    QWidget *page(int which) const;
    QPushButton *pageButton(int which) const { return m_pageButtons[which]; }
    // The field of the record word `word`, nullptr without one.
    QWidget *fieldOf(int word) const;
    QLineEdit *groupNameEdit() const { return m_groupName; }
    ComboBox *groupList() const { return m_groupList; }
    ComboBox *languageBox() const { return m_language; }
    QLineEdit *passwordEdit(int i) const { return m_password[i]; }
    OpRecordViewer *recordViewer() const { return m_viewer; }
    Slider *cameraSlider(int i) const { return m_cameraSliders[i]; }

public slots:
    void SlotToCommon();
    void SlotToCamera();
    void SlotToNetwork();
    void SlotToIO();
    void SlotToAdvance();
    void SlotToRecord();
    void DoChangePage();

    void SlotShowIOWidget();
    void SlotShowCustomIONameWidget();
    void SlotShowEditcavityWidget();
    void SlotShowDetectCycle();
    void SlotShowHardwareConfigurationWidget();
    void SlotShowChangeCamera();
    void SlotShowOtherNet();
    void SlotExportData();

    void ResetTotal();
    void ChangePwd();
    void SlotChangeLan(int index);
    void SlotShutDown();
    void SlotExit();
    void SlotModifyTime();
    void SlotParaGroupBackup();
    void SlotParaGroupRestore();
    void SlotParaGroupDelete();
    void SlotParaGroupChange(int index);
    void ParaGroupUpdateList();
    void SlotRestoreFactorySet();
    void SlotRestoreDefaultSettings();
    void SlotCalibration();
    void SlotUpdateApp();

    // Live camera adjustments of the selected camera, from the edit copy.
    void SetExposeTime(int value);
    void SetAdjust(int value);
    void SetSharp(int value);
    void SetContrast(int value);
    void SetGamma(int value);
    void SetAutoExp(int on);
    void SetAutoWDR(int on);
    void SetHMirror();
    void SetVMirror();
    void SlotAutoExposeTime();
    void SlotChangeCamera(int position);

    // Saves what changed, after a question, and closes; an unchanged record closes silently.
    void accept();
    // Closes; the live record stays as it was.
    void reject();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildCommonPage();
    QWidget *buildCameraPage();
    QWidget *buildNetworkPage();
    QWidget *buildIoPage();
    QWidget *buildAdvancedPage();
    void addFields(class QGridLayout *grid, int page, int &row);
    QPushButton *actionButton(int row, void (WizardParaWidget::*slot)(), QWidget *parent);
    void changePage(int which);
    void loadFields();
    void storeFields();
    void loadCamera();
    void record(const QString &text);
    void entryPoint(const std::function<void()> &hook, int nameRow);
    void restart();
    CammerWidget *selectedCamera() const;

    OperationRecord *m_record;  // borrowed
    Hooks m_hooks;
    int m_page = -1;
    int m_camera = 0;
    bool m_loading = false;
    QPushButton *m_pageButtons[PageCount] = {};
    QStackedWidget *m_stack = nullptr;
    QList<QPair<const ParaClauses::Field *, QWidget *>> m_fields;
    ComboBox *m_language = nullptr;
    ComboBox *m_workMode = nullptr;
    EditBox *m_customStages = nullptr;
    QLineEdit *m_password[2] = {};
    ComboBox *m_cameraChoice = nullptr;
    Slider *m_cameraSliders[5] = {};
    CheckBox *m_mirror[2] = {};
    CheckBox *m_enableNetwork = nullptr;
    CheckBox *m_netReport = nullptr;
    EditIP *m_address[3] = {};
    QLineEdit *m_groupName = nullptr;
    ComboBox *m_groupList = nullptr;
    OpRecordViewer *m_viewer = nullptr;
};
