#include "ui/settings/wizardparawidget.h"

#include "camera/cameraglobals.h"
#include "core/globals.h"
#include "core/guard.h"
#include "core/operatorport.h"
#include "core/systemgateway.h"
#include "params/paraclauses.h"
#include "params/paragroups.h"
#include "params/wizardpara.h"
#include "ui/cammerwidget.h"
#include "ui/oprecordviewer.h"
#include "ui/prompt.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/ctypecom.h"
#include "ui/widgets/editbox.h"
#include "ui/widgets/editip.h"
#include "ui/widgets/slider.h"
#include "log/eventrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSqlDatabase>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cstring>
#include <optional>

using ParaClauses::Field;
using ParaClauses::Kind;
using ParaClauses::Text;

namespace {

// Text-table rows of the screen.
constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowCameraParam = 128;
constexpr int kRowExposure = 164;
constexpr int kRowGain = 165;
constexpr int kRowChangePwd = 171;
constexpr int kRowResetCount = 172;
constexpr int kRowBackup = 182;
constexpr int kRowRestore = 183;
constexpr int kRowDelete = 184;
constexpr int kRowAdvancedParam = 205;
constexpr int kRowOpRecord = 206;
constexpr int kRowShutDown = 209;
constexpr int kRowExit = 210;
constexpr int kRowUnitMs = 214;
constexpr int kRowUnitS = 220;
constexpr int kRowPasswordSettings = 225;
constexpr int kRowNewPassword = 226;
constexpr int kRowConfirmPassword = 227;
constexpr int kRowSaveQuestion = 234;
constexpr int kRowClarity = 241;
constexpr int kRowTruth = 242;
constexpr int kRowCountCleared = 255;
constexpr int kRowInputOutput = 266;
constexpr int kRowPasswordEmpty = 278;
constexpr int kRowPasswordChanged = 279;
constexpr int kRowPasswordMismatch = 280;
constexpr int kRowGroupNameEmpty = 282;
constexpr int kRowGroupBackupQuestion = 283;
constexpr int kRowGroupExists = 284;
constexpr int kRowGroupRestoreQuestion = 285;
constexpr int kRowGroupRestored = 286;
constexpr int kRowGroupDeleteQuestion = 287;
constexpr int kRowPowerOffQuestion = 291;
constexpr int kRowPowerOffRecord = 292;
constexpr int kRowRestartQuestion = 293;
constexpr int kRowExitQuestion = 294;
constexpr int kRowExitRecord = 295;
constexpr int kRowExitNotice = 296;
constexpr int kRowLanguageQuestion = 318;
constexpr int kRowLanguageRecord = 319;
constexpr int kRowUpdateQuestion = 323;
constexpr int kRowUpdate = 325;
constexpr int kRowExport = 326;
constexpr int kRowEnableNetwork = 327;
constexpr int kRowNetworkSettings = 328;
constexpr int kRowIp = 329;
constexpr int kRowMask = 330;
constexpr int kRowGateway = 331;
constexpr int kRowCalibrationQuestion = 459;
constexpr int kRowGamma = 364;
constexpr int kRowStandard = 384;
constexpr int kRowReordering = 396;
constexpr int kRowModifyTime = 401;
constexpr int kRowModifyTimeRestart = 402;
constexpr int kRowOtherNetwork = 424;
constexpr int kRowIoName = 498;
constexpr int kRowIoSettings = 259;
constexpr int kRowDefaultsQuestion = 527;
constexpr int kRowFactoryRestore = 551;
constexpr int kRowParameterGroup = 557;
constexpr int kRowHMirror = 565;
constexpr int kRowVMirror = 566;
constexpr int kRowNotAvailable = 1400;
constexpr int kRowCavityNames = 1401;
constexpr int kRowCycleRecords = 1402;
constexpr int kRowHardware = 1403;
constexpr int kRowWorkMode = 1404;
constexpr int kRowCustom = 1405;
constexpr int kRowStages = 1406;
constexpr int kRowNextStart = 1407;
constexpr int kRowModeN = 1408;
constexpr int kRowGroupNameInvalid = 1409;
constexpr int kRowGroupFactory = 1410;
constexpr int kRowGroupRestoreFailed = 1411;
constexpr int kRowGroupBackupFailed = 1412;
constexpr int kRowNotAnArchive = 1413;
constexpr int kRowSetTime = 1414;
constexpr int kRowCalibration = 1415;
constexpr int kRowDefaultSettings = 1416;
constexpr int kRowAutoExposeOnce = 1417;
constexpr int kRowCommonParam = 1418;
constexpr int kRowLanguage = 1419;
constexpr int kRowNetReport = 1420;
constexpr int kRowUpdateCopyFailed = 1421;
constexpr int kRowFactoryFailed = 1422;
constexpr int kRowLanguageNames = 1423;  // 1423-1425: the three languages in their own words
constexpr int kRowCamera = 1426;

constexpr int kButtonHeight = 64;

QString oneLine(int row) { return Text(row).simplified(); }

QLabel *heading(int row)
{
    auto *label = new QLabel(oneLine(row));
    label->setFont(C_Type_COM::font(28));
    label->setStyleSheet(QStringLiteral("color: #9fc4e8;"));
    return label;
}

QWidget *scrolled(QWidget *content)
{
    auto *area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

}  // namespace

WizardParaWidget::WizardParaWidget(OperationRecord *record, QWidget *parent) : QFrame(parent), m_record(record)
{
    setObjectName(QStringLiteral("settings"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#settings { background-color: #1a222c; }"
                                 "QLabel, QCheckBox { color: #e8eef4; }"
                                 "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 8);
    auto *navigation = new QVBoxLayout;
    const int pageRows[PageCount] = {kRowCommonParam, kRowCameraParam, kRowNetworkSettings, kRowInputOutput,
                                     kRowAdvancedParam, kRowOpRecord};
    void (WizardParaWidget::*pageSlots[PageCount])() = {
        &WizardParaWidget::SlotToCommon, &WizardParaWidget::SlotToCamera, &WizardParaWidget::SlotToNetwork,
        &WizardParaWidget::SlotToIO,     &WizardParaWidget::SlotToAdvance, &WizardParaWidget::SlotToRecord};
    for (int i = 0; i < PageCount; ++i) {
        m_pageButtons[i] = actionButton(pageRows[i], pageSlots[i], this);
        m_pageButtons[i]->setCheckable(true);
        m_pageButtons[i]->setStyleSheet(m_pageButtons[i]->styleSheet()
                                        + QStringLiteral("QPushButton:checked { background-color: #e67e22; }"));
        m_pageButtons[i]->setFixedWidth(240);
        navigation->addWidget(m_pageButtons[i]);
    }
    navigation->addStretch(1);
    QPushButton *confirm = actionButton(kRowConfirm, &WizardParaWidget::accept, this);
    QPushButton *cancel = actionButton(kRowCancel, &WizardParaWidget::reject, this);
    C_Type_COM::setBtnQss(confirm, C_Type_COM::Green);
    C_Type_COM::setBtnQss(cancel, C_Type_COM::Red);
    confirm->setFixedWidth(240);
    cancel->setFixedWidth(240);
    navigation->addWidget(confirm);
    navigation->addWidget(cancel);
    outer->addLayout(navigation);

    m_stack = new QStackedWidget;
    m_stack->addWidget(scrolled(buildCommonPage()));
    m_stack->addWidget(scrolled(buildCameraPage()));
    m_stack->addWidget(scrolled(buildNetworkPage()));
    m_stack->addWidget(scrolled(buildIoPage()));
    m_stack->addWidget(scrolled(buildAdvancedPage()));
    m_viewer = new OpRecordViewer(m_record);
    m_viewer->ClearButton()->setMinimumSize(180, kButtonHeight);  // a finger's target on the panel
    m_viewer->ClearButton()->setFont(C_Type_COM::font(24));
    m_stack->addWidget(m_viewer);
    outer->addWidget(m_stack, 1);

    m_hooks.insertRecord = [](const QString &text) { EventRecord::Insert(text); };
    m_hooks.exitProgram = [] { QCoreApplication::exit(0); };
    m_hooks.chooseUpdateArchive = [this] {
        // The title and start folder the panel's update sticks are made for.
        return QFileDialog::getOpenFileName(this, QStringLiteral("选择投影数据文件目录"),
                                            QStringLiteral("../../ProjectData/"), QStringLiteral("*.[r,t]ar*"));
    };
    m_hooks.chooseCalibrationPoints = [this] {
        bool ok = false;
        const int points = QInputDialog::getInt(this, oneLine(kRowCalibration), oneLine(kRowCalibrationQuestion), 5, 4,
                                                25, 1, &ok);
        return ok ? points : 0;
    };
    hide();
}

QPushButton *WizardParaWidget::actionButton(int row, void (WizardParaWidget::*slot)(), QWidget *parent)
{
    auto *button = new QPushButton(oneLine(row), parent);
    button->setFont(C_Type_COM::font(24));
    button->setMinimumHeight(kButtonHeight);
    button->setMinimumWidth(qMax(180, button->fontMetrics().horizontalAdvance(button->text()) + 48));
    button->setFocusPolicy(Qt::NoFocus);
    C_Type_COM::setBtnQss(button, C_Type_COM::Blue);
    connect(button, &QPushButton::clicked, this, slot);
    return button;
}

void WizardParaWidget::addFields(QGridLayout *grid, int page, int &row)
{
    // Number fields two to a row, then the switches three to a row, each set in a grid of its own.
    auto isToggle = [](const Field &field) {
        return field.kind == Kind::Switch || field.kind == Kind::SwitchReversed
               || (field.kind == Kind::Silent && field.max == 1);
    };
    auto *numbers = new QGridLayout;
    auto *toggles = new QGridLayout;
    numbers->setHorizontalSpacing(40);
    toggles->setHorizontalSpacing(24);
    int numberCount = 0, toggleCount = 0;
    for (const Field &field : ParaClauses::Fields()) {
        if (field.page != page || field.kind == Kind::CameraNumber)
            continue;
        if (isToggle(field)) {
            auto *box = new CheckBox(Text(field.labelRow));
            box->setMinimumHeight(kButtonHeight);
            toggles->addWidget(box, toggleCount / 3, toggleCount % 3);
            ++toggleCount;
            m_fields.append({&field, box});
            continue;
        }
        const QString unit = field.divisor == 10 ? Text(kRowUnitS) : QString();
        auto *box = new EditBox(field.min, field.max, nullptr, Text(field.labelRow), unit,
                                field.divisor == 10 ? 2 : 0, field.divisor);
        box->setButtonNum(3);
        if (field.word == 108)
            box->setUse0(true);  // screen-off delay: 0 keeps the screen on
        numbers->addWidget(box, numberCount / 2, numberCount % 2);
        ++numberCount;
        m_fields.append({&field, box});
    }
    if (numberCount)
        grid->addLayout(numbers, row++, 0, 1, -1);
    else
        delete numbers;
    if (toggleCount)
        grid->addLayout(toggles, row++, 0, 1, -1);
    else
        delete toggles;
}

QWidget *WizardParaWidget::buildCommonPage()
{
    auto *content = new QWidget;
    auto *grid = new QGridLayout(content);
    grid->setVerticalSpacing(8);
    int row = 0;
    grid->addWidget(heading(kRowCommonParam), row++, 0, 1, -1);
    addFields(grid, CommonPage, row);

    // Language, working mode and the custom stage count.
    auto *modeRow = new QHBoxLayout;
    modeRow->setSpacing(12);
    auto *languageLabel = new QLabel(Text(kRowLanguage));
    languageLabel->setFont(C_Type_COM::font(24));
    m_language = new ComboBox;
    for (int i = 0; i < 3; ++i)
        m_language->addItem(Text(kRowLanguageNames + i));
    connect(m_language, &QComboBox::activated, this, &WizardParaWidget::SlotChangeLan);
    auto *modeLabel = new QLabel(Text(kRowWorkMode));
    modeLabel->setFont(C_Type_COM::font(24));
    m_workMode = new ComboBox;
    for (int mode = 0; mode <= 5; ++mode) {
        const QString name = mode <= 2 ? Text(kRowStandard + mode)
                                       : mode == 4 ? Text(kRowCustom) : Text(kRowModeN).arg(mode);
        m_workMode->addItem(QStringLiteral("%1 %2").arg(mode).arg(name));
    }
    m_customStages = new EditBox(2, 8, nullptr, Text(kRowStages));
    m_customStages->setButtonNum(3);
    auto *nextStart = new QLabel(Text(kRowNextStart));
    nextStart->setFont(C_Type_COM::font(20));
    modeRow->addWidget(languageLabel);
    modeRow->addWidget(m_language);
    modeRow->addSpacing(30);
    modeRow->addWidget(modeLabel);
    modeRow->addWidget(m_workMode);
    modeRow->addWidget(nextStart);
    modeRow->addStretch(1);
    grid->addLayout(modeRow, row++, 0, 1, -1);
    grid->addWidget(m_customStages, row++, 0);

    // Password.
    grid->addWidget(heading(kRowPasswordSettings), row++, 0, 1, -1);
    auto *passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(12);
    const int labels[2] = {kRowNewPassword, kRowConfirmPassword};
    for (int i = 0; i < 2; ++i) {
        auto *label = new QLabel(Text(labels[i]));
        label->setFont(C_Type_COM::font(24));
        m_password[i] = new QLineEdit;
        m_password[i]->setEchoMode(QLineEdit::Password);
        m_password[i]->setMaxLength(99);
        m_password[i]->setFont(C_Type_COM::font(24));
        m_password[i]->setMinimumHeight(kButtonHeight - 4);
        passwordRow->addWidget(label);
        passwordRow->addWidget(m_password[i], 1);
    }
    passwordRow->addWidget(actionButton(kRowChangePwd, &WizardParaWidget::ChangePwd, nullptr));
    grid->addLayout(passwordRow, row++, 0, 1, -1);

    // Station actions.
    auto *actions = new QHBoxLayout;
    actions->setSpacing(16);
    actions->addWidget(actionButton(kRowResetCount, &WizardParaWidget::ResetTotal, nullptr));
    actions->addWidget(actionButton(kRowSetTime, &WizardParaWidget::SlotModifyTime, nullptr));
    QPushButton *shutDown = actionButton(kRowShutDown, &WizardParaWidget::SlotShutDown, nullptr);
    QPushButton *exitButton = actionButton(kRowExit, &WizardParaWidget::SlotExit, nullptr);
    C_Type_COM::setBtnQss(shutDown, C_Type_COM::Red);
    C_Type_COM::setBtnQss(exitButton, C_Type_COM::Red);
    actions->addWidget(shutDown);
    actions->addWidget(exitButton);
    actions->addStretch(1);
    grid->addLayout(actions, row++, 0, 1, -1);
    grid->setRowStretch(row, 1);
    return content;
}

QWidget *WizardParaWidget::buildCameraPage()
{
    auto *content = new QWidget;
    auto *grid = new QGridLayout(content);
    grid->setVerticalSpacing(8);
    int row = 0;
    grid->addWidget(heading(kRowCameraParam), row++, 0, 1, -1);
    auto *choice = new QHBoxLayout;
    choice->setSpacing(16);
    m_cameraChoice = new ComboBox;
    for (int position = 0; position < 8; ++position)
        m_cameraChoice->addItem(QStringLiteral("%1 %2").arg(Text(kRowCamera)).arg(position + 1));
    connect(m_cameraChoice, &QComboBox::activated, this, &WizardParaWidget::SlotChangeCamera);
    choice->addWidget(m_cameraChoice);
    choice->addWidget(actionButton(kRowDefaultSettings, &WizardParaWidget::SlotRestoreDefaultSettings, nullptr));
    choice->addWidget(actionButton(kRowAutoExposeOnce, &WizardParaWidget::SlotAutoExposeTime, nullptr));
    choice->addWidget(actionButton(kRowReordering, &WizardParaWidget::SlotShowChangeCamera, nullptr));
    choice->addStretch(1);
    grid->addLayout(choice, row++, 0, 1, -1);

    // The five settings of the chosen camera, each applied to the camera as it moves.
    const struct {
        int label;
        int min, max;
        void (WizardParaWidget::*apply)(int);
    } sliders[5] = {{kRowExposure, 1, 100, &WizardParaWidget::SetExposeTime},
                    {kRowGain, 0, 64, &WizardParaWidget::SetAdjust},
                    {kRowClarity, 0, 100, &WizardParaWidget::SetSharp},
                    {kRowTruth, 1, 200, &WizardParaWidget::SetContrast},
                    {kRowGamma, 0, 250, &WizardParaWidget::SetGamma}};
    for (int i = 0; i < 5; ++i) {
        const QString label = i == 0 ? Text(sliders[i].label) + QLatin1Char(' ') + Text(kRowUnitMs)
                                     : Text(sliders[i].label);
        m_cameraSliders[i] = new Slider(sliders[i].min, sliders[i].max, nullptr, label);
        connect(m_cameraSliders[i], &Slider::valueChanged, this, sliders[i].apply);
        grid->addWidget(m_cameraSliders[i], row++, 0, 1, -1);
    }
    m_mirror[0] = new CheckBox(Text(kRowHMirror));
    m_mirror[1] = new CheckBox(Text(kRowVMirror));
    for (CheckBox *mirror : m_mirror)
        mirror->setMinimumHeight(kButtonHeight);
    connect(m_mirror[0], &QCheckBox::clicked, this, &WizardParaWidget::SetHMirror);
    connect(m_mirror[1], &QCheckBox::clicked, this, &WizardParaWidget::SetVMirror);
    grid->addWidget(m_mirror[0], row, 0);
    grid->addWidget(m_mirror[1], row++, 1);
    addFields(grid, CameraPage, row);
    // The automatic exposure and shading switches act on the cameras at once.
    for (const auto &entry : m_fields) {
        if (entry.first->word == 168)
            connect(static_cast<CheckBox *>(entry.second), &QCheckBox::toggled, this,
                    [this](bool on) { SetAutoExp(on); });
        if (entry.first->word == 169)
            connect(static_cast<CheckBox *>(entry.second), &QCheckBox::toggled, this,
                    [this](bool on) { SetAutoWDR(on); });
    }
    grid->setRowStretch(row, 1);
    return content;
}

QWidget *WizardParaWidget::buildNetworkPage()
{
    auto *content = new QWidget;
    auto *grid = new QGridLayout(content);
    grid->setVerticalSpacing(8);
    int row = 0;
    grid->addWidget(heading(kRowNetworkSettings), row++, 0, 1, -1);
    m_enableNetwork = new CheckBox(Text(kRowEnableNetwork));
    m_netReport = new CheckBox(Text(kRowNetReport));
    m_enableNetwork->setMinimumHeight(kButtonHeight);
    m_netReport->setMinimumHeight(kButtonHeight);
    grid->addWidget(m_enableNetwork, row, 0);
    grid->addWidget(m_netReport, row++, 1);
    const int titles[3] = {kRowIp, kRowMask, kRowGateway};
    for (int i = 0; i < 3; ++i) {
        m_address[i] = new EditIP(Text(titles[i]));
        grid->addWidget(m_address[i], row++, 0, 1, -1);
    }
    auto *entries = new QHBoxLayout;
    entries->setSpacing(16);
    entries->addWidget(actionButton(kRowOtherNetwork, &WizardParaWidget::SlotShowOtherNet, nullptr));
    entries->addWidget(actionButton(kRowHardware, &WizardParaWidget::SlotShowHardwareConfigurationWidget, nullptr));
    entries->addStretch(1);
    grid->addLayout(entries, row++, 0, 1, -1);
    grid->setRowStretch(row, 1);
    return content;
}

QWidget *WizardParaWidget::buildIoPage()
{
    auto *content = new QWidget;
    auto *grid = new QGridLayout(content);
    grid->setVerticalSpacing(8);
    int row = 0;
    auto *entries = new QHBoxLayout;
    entries->setSpacing(16);
    entries->addWidget(heading(kRowInputOutput));
    entries->addSpacing(40);
    entries->addWidget(actionButton(kRowIoSettings, &WizardParaWidget::SlotShowIOWidget, nullptr));
    entries->addWidget(actionButton(kRowIoName, &WizardParaWidget::SlotShowCustomIONameWidget, nullptr));
    entries->addStretch(1);
    grid->addLayout(entries, row++, 0, 1, -1);
    addFields(grid, IoPage, row);
    grid->setRowStretch(row, 1);
    return content;
}

QWidget *WizardParaWidget::buildAdvancedPage()
{
    auto *content = new QWidget;
    auto *grid = new QGridLayout(content);
    grid->setVerticalSpacing(8);
    int row = 0;
    grid->addWidget(heading(kRowAdvancedParam), row++, 0, 1, -1);
    addFields(grid, AdvancedPage, row);

    grid->addWidget(heading(kRowParameterGroup), row++, 0, 1, -1);
    auto *groups = new QHBoxLayout;
    groups->setSpacing(12);
    m_groupName = new QLineEdit;
    m_groupName->setMaxLength(32);
    m_groupName->setFont(C_Type_COM::font(24));
    m_groupName->setMinimumHeight(kButtonHeight - 4);
    m_groupList = new ComboBox;
    m_groupList->setMinimumWidth(220);
    connect(m_groupList, &QComboBox::activated, this, &WizardParaWidget::SlotParaGroupChange);
    groups->addWidget(m_groupName, 1);
    groups->addWidget(actionButton(kRowBackup, &WizardParaWidget::SlotParaGroupBackup, nullptr));
    groups->addWidget(m_groupList, 1);
    groups->addWidget(actionButton(kRowRestore, &WizardParaWidget::SlotParaGroupRestore, nullptr));
    groups->addWidget(actionButton(kRowDelete, &WizardParaWidget::SlotParaGroupDelete, nullptr));
    grid->addLayout(groups, row++, 0, 1, -1);

    auto *maintenance = new QGridLayout;
    maintenance->setSpacing(16);
    const struct {
        int label;
        void (WizardParaWidget::*slot)();
    } buttons[] = {{kRowFactoryRestore, &WizardParaWidget::SlotRestoreFactorySet},
                   {kRowCalibration, &WizardParaWidget::SlotCalibration},
                   {kRowUpdate, &WizardParaWidget::SlotUpdateApp},
                   {kRowExport, &WizardParaWidget::SlotExportData},
                   {kRowCavityNames, &WizardParaWidget::SlotShowEditcavityWidget},
                   {kRowCycleRecords, &WizardParaWidget::SlotShowDetectCycle}};
    int i = 0;
    for (const auto &b : buttons) {
        maintenance->addWidget(actionButton(b.label, b.slot, nullptr), i / 3, i % 3);
        ++i;
    }
    grid->addLayout(maintenance, row++, 0, 1, -1);
    grid->setRowStretch(row, 1);
    return content;
}

QWidget *WizardParaWidget::page(int which) const
{
    QWidget *w = m_stack->widget(which);
    auto *area = qobject_cast<QScrollArea *>(w);
    return area ? area->widget() : w;
}

QWidget *WizardParaWidget::fieldOf(int word) const
{
    for (const auto &entry : m_fields)
        if (entry.first->word == word)
            return entry.second;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Opening, pages and the edit copy

void WizardParaWidget::Open()
{
    // The whole record, words 240-479 too (custom stages, IO names, mirrors, cycle records).
    for (int w = 0; w < WizardPara::kWords; ++w)
        gpWParaBak->word(w) = gpWPara->word(w);
    for (QLineEdit *edit : m_password)
        edit->clear();
    m_camera = 0;
    loadFields();
    ParaGroupUpdateList();
    m_page = -1;
    changePage(CommonPage);
}

void WizardParaWidget::loadFields()
{
    m_loading = true;
    const WizardPara &p = *gpWParaBak;
    for (const auto &entry : m_fields) {
        const int value = p.word(entry.first->word);
        if (auto *box = qobject_cast<EditBox *>(entry.second))
            box->setValue(value);
        else if (auto *check = qobject_cast<CheckBox *>(entry.second))
            check->setChecked(entry.first->kind == Kind::SwitchReversed ? value == 0 : value != 0);
    }
    m_language->setCurrentIndex(gLan);
    m_workMode->setCurrentIndex(qBound(0, p.work_mode_next, 5));
    m_customStages->setValue(p.custom_stage_count);
    m_enableNetwork->setChecked(p.enable_network != 0);
    m_netReport->setChecked(p.net_report != 0);
    const int32_t *addresses[3] = {p.local_addr, p.mask, p.gateway};
    for (int i = 0; i < 3; ++i)
        m_address[i]->setTextIP(QStringLiteral("%1.%2.%3.%4")
                                    .arg(addresses[i][0]).arg(addresses[i][1]).arg(addresses[i][2]).arg(addresses[i][3]));
    m_cameraChoice->setCurrentIndex(m_camera);
    loadCamera();
    m_loading = false;
}

void WizardParaWidget::loadCamera()
{
    const bool loading = m_loading;
    m_loading = true;
    const WizardPara &p = *gpWParaBak;
    const int values[5] = {p.expose_time[m_camera], p.adjust_plus[m_camera], p.sharp[m_camera],
                           p.contrast[m_camera], p.gamma[m_camera]};
    for (int i = 0; i < 5; ++i)
        m_cameraSliders[i]->setValue(values[i]);
    m_mirror[0]->setChecked(p.h_mirror[m_camera] != 0);
    m_mirror[1]->setChecked(p.v_mirror[m_camera] != 0);
    m_loading = loading;
}

void WizardParaWidget::storeFields()
{
    WizardPara &p = *gpWParaBak;
    for (const auto &entry : m_fields) {
        const Field &field = *entry.first;
        if (auto *box = qobject_cast<EditBox *>(entry.second)) {
            box->CheckRange();
            p.word(field.word) = box->value();
        } else if (auto *check = qobject_cast<CheckBox *>(entry.second)) {
            if (field.kind == Kind::SwitchReversed)
                p.word(field.word) = check->isChecked() ? 0 : -1;
            else if (check->isChecked() != (p.word(field.word) != 0))
                p.word(field.word) = check->isChecked() ? 1 : 0;  // an unchanged switch keeps its stored value
        }
    }
    p.work_mode_next = m_workMode->currentIndex();
    m_customStages->CheckRange();
    p.custom_stage_count = m_customStages->value();
    p.enable_network = m_enableNetwork->isChecked() ? 1 : 0;
    p.net_report = m_netReport->isChecked() ? 1 : 0;
    int32_t *addresses[3] = {p.local_addr, p.mask, p.gateway};
    for (int i = 0; i < 3; ++i) {
        const QStringList octets = m_address[i]->getTextIP().split(QLatin1Char('.'));
        for (int k = 0; k < 4 && k < octets.size(); ++k)
            addresses[i][k] = octets[k].toInt();
    }
    // The camera sliders and mirrors write the edit copy as they move.
}

void WizardParaWidget::changePage(int which)
{
    if (which == m_page)
        return;
    m_page = which;
    if (which == RecordPage)
        m_viewer->SlotToRecord();
    DoChangePage();
}

void WizardParaWidget::DoChangePage()
{
    for (int i = 0; i < PageCount; ++i)
        m_pageButtons[i]->setChecked(i == m_page);
    if (m_page >= 0)
        m_stack->setCurrentIndex(m_page);
}

void WizardParaWidget::SlotToCommon() { changePage(CommonPage); }
void WizardParaWidget::SlotToCamera() { changePage(CameraPage); }

void WizardParaWidget::SlotToNetwork()
{
    if (m_page != NetworkPage && Guard::Require(Guard::Action::NetworkPage))
        changePage(NetworkPage);
    DoChangePage();
}

void WizardParaWidget::SlotToIO()
{
    if (m_page != IoPage && Guard::Require(Guard::Action::IoPage))
        changePage(IoPage);
    DoChangePage();
}

void WizardParaWidget::SlotToAdvance()
{
    if (m_page != AdvancedPage && Guard::Require(Guard::Action::AdvancedPage))
        changePage(AdvancedPage);
    DoChangePage();
}

void WizardParaWidget::SlotToRecord() { changePage(RecordPage); }

void WizardParaWidget::showEvent(QShowEvent *event)
{
    gParamScreenVisible = true;
    QFrame::showEvent(event);
}

void WizardParaWidget::hideEvent(QHideEvent *event)
{
    gParamScreenVisible = false;
    QFrame::hideEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Accept and cancel

void WizardParaWidget::accept()
{
    storeFields();
    WizardPara &edited = *gpWParaBak;
    if (ParaClauses::SameRecord(edited, *gpWPara)) {
        hide();
        if (m_hooks.accepted)
            m_hooks.accepted();
        emit closed();
        return;
    }
    if (!Operator::Ask(Text(kRowSaveQuestion)))
        return;
    const bool networkChanged = [&] {
        for (int w = 206; w <= 219; ++w)
            if (edited.word(w) != gpWPara->word(w))
                return true;
        return false;
    }();
    // The defect regions' models take the lighting switch when they are trained.
    const bool lightingChanged = edited.lighting_compensation != gpWPara->lighting_compensation;
    const QString text = ParaClauses::ChangeText(*gpWPara, edited);
    ParaClauses::PrepareAccept(*gpWPara, edited);
    record(text);
    for (int w = 0; w < WizardPara::kWords; ++w)
        gpWPara->word(w) = edited.word(w);
    gpWPara->SaveDatatoFile();
    // Every camera takes the accepted image settings.
    if (m_hooks.cameraView)
        for (int position = 0; position < 8; ++position)
            if (CammerWidget *view = m_hooks.cameraView(position)) {
                view->SetExposeTime();
                view->SetAdjustPlus();
                view->SetSharp();
                view->SetContrast();
                view->SetGamma();
            }
    if (networkChanged && m_hooks.networkChanged)
        m_hooks.networkChanged();
    if (lightingChanged && m_hooks.retrainAll)
        m_hooks.retrainAll();
    hide();
    if (m_hooks.accepted)
        m_hooks.accepted();
    emit closed();
}

void WizardParaWidget::reject()
{
    // The cameras go back to the live settings the sliders may have changed.
    hide();
    if (m_hooks.cameraView)
        for (int position = 0; position < 8; ++position)
            if (CammerWidget *view = m_hooks.cameraView(position)) {
                view->SetExposeTime();
                view->SetAdjustPlus();
                view->SetSharp();
                view->SetContrast();
                view->SetGamma();
                view->SetHMirror();
                view->SetVMirror();
            }
    emit closed();
}

void WizardParaWidget::record(const QString &text)
{
    if (m_hooks.insertRecord)
        m_hooks.insertRecord(text);
}

void WizardParaWidget::restart()
{
    if (m_hooks.flushAll)
        m_hooks.flushAll();
    SystemGateway::reboot();
}

// ---------------------------------------------------------------------------------------------
// Entry points to other screens

void WizardParaWidget::entryPoint(const std::function<void()> &hook, int nameRow)
{
    if (hook)
        hook();
    else
        Operator::Warn(Text(kRowNotAvailable).arg(oneLine(nameRow)));
}

void WizardParaWidget::SlotShowIOWidget()
{
    // The IO settings edit the stage count too: they start from the count shown here.
    m_customStages->CheckRange();
    gpWParaBak->custom_stage_count = m_customStages->value();
    entryPoint(m_hooks.showIoWidget, kRowIoSettings);
}

void WizardParaWidget::reloadStageCount() { m_customStages->setValue(gpWParaBak->custom_stage_count); }
void WizardParaWidget::SlotShowCustomIONameWidget() { entryPoint(m_hooks.showCustomIoNames, kRowIoName); }
void WizardParaWidget::SlotShowEditcavityWidget() { entryPoint(m_hooks.showEditCavity, kRowCavityNames); }
void WizardParaWidget::SlotShowDetectCycle() { entryPoint(m_hooks.showDetectCycle, kRowCycleRecords); }
void WizardParaWidget::SlotShowHardwareConfigurationWidget()
{
    entryPoint(m_hooks.showHardwareConfiguration, kRowHardware);
}
void WizardParaWidget::SlotExportData() { entryPoint(m_hooks.exportData, kRowExport); }
void WizardParaWidget::SlotShowChangeCamera() { entryPoint(m_hooks.showCameraNumbering, kRowReordering); }
void WizardParaWidget::SlotShowOtherNet() { entryPoint(m_hooks.showOtherNetwork, kRowOtherNetwork); }

// ---------------------------------------------------------------------------------------------
// Station actions

void WizardParaWidget::ResetTotal()
{
    for (int camera = 0; camera < 8; ++camera)
        gAllNum[camera] = gFailNum[camera] = 0;
    gLost = 0;
    if (m_hooks.resetCounters)
        m_hooks.resetCounters();  // writes the counter file
    record(Text(kRowCountCleared));
}

void WizardParaWidget::ChangePwd()
{
    const QString first = m_password[0]->text(), second = m_password[1]->text();
    if (first.isEmpty()) {
        Operator::Warn(Text(kRowPasswordEmpty));
        return;
    }
    if (first != second) {
        Operator::Warn(Text(kRowPasswordMismatch));
        return;
    }
    SetParaText(gpWParaBak->password, first);
    m_password[0]->clear();
    m_password[1]->clear();
    Operator::Warn(Text(kRowPasswordChanged));
}

void WizardParaWidget::SlotChangeLan(int index)
{
    if (index == gLan || index < 0 || index > 2) {
        m_language->setCurrentIndex(gLan);
        return;
    }
    if (!Operator::Ask(Text(kRowLanguageQuestion))) {
        m_language->setCurrentIndex(gLan);
        return;
    }
    record(Text(kRowLanguageRecord));
    gLan = index;
    gpWPara->SaveDatatoFile();
    restart();
}

void WizardParaWidget::SlotShutDown()
{
    if (!Operator::Ask(Text(kRowPowerOffQuestion)))
        return;
    gpWPara->SaveDatatoFile();
    record(Text(kRowPowerOffRecord));
    if (m_hooks.flushAll)
        m_hooks.flushAll();
    if (Operator::Ask(Text(kRowRestartQuestion)))
        SystemGateway::reboot();
    else
        SystemGateway::powerOff();
}

void WizardParaWidget::SlotExit()
{
    if (!Operator::Ask(Text(kRowExitQuestion)))
        return;
    record(Text(kRowExitRecord));
    gpWPara->SaveDatatoFile();
    Operator::Warn(Text(kRowExitNotice));
    if (m_hooks.flushAll)
        m_hooks.flushAll();
    if (m_hooks.exitProgram)
        m_hooks.exitProgram();
}

void WizardParaWidget::SlotModifyTime()
{
    const std::optional<QDateTime> set = Prompt::AskTime(Text(kRowModifyTime));
    if (!set || !set->isValid())
        return;
    SystemGateway::run({QStringLiteral("date"), QStringLiteral("-s"),
                        set->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    SystemGateway::run({QStringLiteral("hwclock"), QStringLiteral("-w")});
    record(Text(kRowModifyTime));
    // The start-up clock check compares the clock with the time kept here.
    QFile file(QStringLiteral("realytime.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(set->toMSecsSinceEpoch()));
    file.close();
    Operator::Warn(Text(kRowModifyTimeRestart));
    restart();
}

void WizardParaWidget::SlotParaGroupBackup()
{
    const QString name = m_groupName->text().trimmed();
    if (name.isEmpty()) {
        Operator::Warn(Text(kRowGroupNameEmpty));
        return;
    }
    if (!ParaGroups::ValidName(name)) {
        Operator::Warn(Text(kRowGroupNameInvalid));
        return;
    }
    if (name == ParaGroups::kFactory) {
        Operator::Warn(Text(kRowGroupFactory));
        return;
    }
    if (!Operator::Ask(Text(kRowGroupBackupQuestion)))
        return;
    const bool exists = ParaGroups::Exists(name);
    if (exists && !Operator::Ask(Text(kRowGroupExists)))
        return;
    if (ParaGroups::Backup(name, exists) != ParaGroups::Result::Ok)
        Operator::Warn(Text(kRowGroupBackupFailed));
    ParaGroupUpdateList();
}

void WizardParaWidget::SlotParaGroupRestore()
{
    const QString name = m_groupList->currentText();
    if (name.isEmpty() || !Operator::Ask(Text(kRowGroupRestoreQuestion)))
        return;
    // PARAM.db is swapped under a closed connection; it opens again when the group is refused.
    QSqlDatabase parameters = QSqlDatabase::database(QStringLiteral("dbIn"), false);
    const bool wasOpen = parameters.isOpen();
    parameters.close();
    if (ParaGroups::Restore(name) != ParaGroups::Result::Ok) {
        if (wasOpen)
            parameters.open();
        Operator::Warn(Text(kRowGroupRestoreFailed));
        return;
    }
    record(Text(kRowGroupRestored).arg(name));
    restart();
}

void WizardParaWidget::SlotParaGroupDelete()
{
    const QString name = m_groupList->currentText();
    if (name.isEmpty())
        return;
    if (name == ParaGroups::kFactory) {
        Operator::Warn(Text(kRowGroupFactory));
        return;
    }
    if (!Operator::Ask(Text(kRowGroupDeleteQuestion)))
        return;
    ParaGroups::Delete(name);
    ParaGroupUpdateList();
}

void WizardParaWidget::SlotParaGroupChange(int index)
{
    if (index >= 0)
        m_groupName->setText(m_groupList->itemText(index));
}

void WizardParaWidget::ParaGroupUpdateList()
{
    m_groupList->clear();
    m_groupList->addItems(ParaGroups::List());
}

void WizardParaWidget::SlotRestoreFactorySet()
{
    if (!Operator::Ask(Text(kRowFactoryRestore)))
        return;
    // The start-up script unpacks the update archive of the station directory.
    const QString factory = QStringLiteral("paraGroup/default/20clearsh.tar.gz");
    const QString target = QStringLiteral("newupdate.tar.gz");
    QFile::remove(target + QStringLiteral(".new"));
    if (ParaGroups::ArchiveType(factory) != ParaGroups::Archive::TarGz
        || !QFile::copy(factory, target + QStringLiteral(".new"))
        || (QFile::exists(target) && !QFile::remove(target)) || !QFile::rename(target + QStringLiteral(".new"), target)) {
        QFile::remove(target + QStringLiteral(".new"));
        Operator::Warn(Text(kRowFactoryFailed));
        return;
    }
    ParaGroups::SetActiveName(ParaGroups::kFactory);
    SystemGateway::run({QStringLiteral("sync")});
    restart();
}

void WizardParaWidget::SlotUpdateApp()
{
    if (!Operator::Ask(Text(kRowUpdateQuestion)))
        return;
    const QString archive = m_hooks.chooseUpdateArchive ? m_hooks.chooseUpdateArchive() : QString();
    if (archive.isEmpty())
        return;
    const ParaGroups::Archive type = ParaGroups::ArchiveType(archive);
    if (type == ParaGroups::Archive::None) {
        Operator::Warn(Text(kRowNotAnArchive));
        return;
    }
    const QString target = ParaGroups::UpdateFileName(type);
    const QString partial = target + QStringLiteral(".new");
    QFile::remove(partial);
    if (!QFile::copy(archive, partial) || ParaGroups::ArchiveType(partial) != type
        || QFileInfo(partial).size() != QFileInfo(archive).size()
        || (QFile::exists(target) && !QFile::remove(target)) || !QFile::rename(partial, target)) {
        QFile::remove(partial);
        Operator::Warn(Text(kRowUpdateCopyFailed));
        return;
    }
    SystemGateway::run({QStringLiteral("sync")});
    restart();
}

void WizardParaWidget::SlotCalibration()
{
    const int points = m_hooks.chooseCalibrationPoints ? m_hooks.chooseCalibrationPoints() : 0;
    if (points <= 0)
        return;
    SystemGateway::run({QStringLiteral("./tsc"), QString::number(points)});
    restart();
}

// ---------------------------------------------------------------------------------------------
// Camera live adjustments: the edit copy first, then the camera reads it.

CammerWidget *WizardParaWidget::selectedCamera() const
{
    return m_hooks.cameraView ? m_hooks.cameraView(m_camera) : nullptr;
}

void WizardParaWidget::SetExposeTime(int value)
{
    if (m_loading)
        return;
    gpWParaBak->expose_time[m_camera] = value;
    if (CammerWidget *view = selectedCamera())
        view->SetExposeTime();
}

void WizardParaWidget::SetAdjust(int value)
{
    if (m_loading)
        return;
    gpWParaBak->adjust_plus[m_camera] = value;
    if (CammerWidget *view = selectedCamera())
        view->SetAdjustPlus();
}

void WizardParaWidget::SetSharp(int value)
{
    if (m_loading)
        return;
    gpWParaBak->sharp[m_camera] = value;
    if (CammerWidget *view = selectedCamera())
        view->SetSharp();
}

void WizardParaWidget::SetContrast(int value)
{
    if (m_loading)
        return;
    gpWParaBak->contrast[m_camera] = value;
    if (CammerWidget *view = selectedCamera())
        view->SetContrast();
}

void WizardParaWidget::SetGamma(int value)
{
    if (m_loading)
        return;
    gpWParaBak->gamma[m_camera] = value;
    if (CammerWidget *view = selectedCamera())
        view->SetGamma();
}

void WizardParaWidget::SetAutoExp(int on)
{
    if (m_loading)
        return;
    gpWParaBak->auto_exposure = on ? 1 : 0;
    if (m_hooks.cameraView)
        for (int position = 0; position < 8; ++position)
            if (CammerWidget *view = m_hooks.cameraView(position))
                view->SetExposeTime();
}

void WizardParaWidget::SetAutoWDR(int on)
{
    if (m_loading)
        return;
    gpWParaBak->auto_wdr = on ? 1 : 0;
    if (m_hooks.cameraView)
        for (int position = 0; position < 8; ++position)
            if (CammerWidget *view = m_hooks.cameraView(position))
                view->SetExposeTime();
}

void WizardParaWidget::SetHMirror()
{
    gpWParaBak->h_mirror[m_camera] = m_mirror[0]->isChecked() ? 1 : 0;
    if (CammerWidget *view = selectedCamera())
        view->SetHMirror();
}

void WizardParaWidget::SetVMirror()
{
    gpWParaBak->v_mirror[m_camera] = m_mirror[1]->isChecked() ? 1 : 0;
    if (CammerWidget *view = selectedCamera())
        view->SetVMirror();
}

void WizardParaWidget::SlotAutoExposeTime()
{
    CammerWidget *view = selectedCamera();
    if (!view)
        return;
    QPointer<WizardParaWidget> self(this);
    view->OneShotAutoExposure([self] {
        if (self)
            self->loadCamera();
    });
}

void WizardParaWidget::SlotChangeCamera(int position)
{
    if (position < 0 || position > 7)
        return;
    m_camera = position;
    loadCamera();
}

void WizardParaWidget::SlotRestoreDefaultSettings()
{
    if (!Operator::Ask(Text(kRowDefaultsQuestion)))
        return;
    if (CammerWidget *view = selectedCamera())
        view->RestoreDefaultSettings();
    loadCamera();
}
