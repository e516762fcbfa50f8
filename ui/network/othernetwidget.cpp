#include "ui/network/othernetwidget.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "net/netsettings.h"
#include "params/wizardpara.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/ctypecom.h"
#include "ui/widgets/editbox.h"
#include "ui/widgets/editip.h"

#include <QColor>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Text-table rows of the screen.
constexpr int kRowConfirmClose = 211;
constexpr int kRowTitle = 424;
constexpr int kRowAlarmNotification = 425;
constexpr int kRowRecordAlarmVideo = 426;
constexpr int kRowTechName = 427;
constexpr int kRowTechPhone = 428;
constexpr int kRowEnableSms = 429;
constexpr int kRowRecordNgVideo = 430;
constexpr int kRowProductName = 432;
constexpr int kRowGetProductName = 433;
constexpr int kRowOperator = 434;
constexpr int kRowCavity = 435;
constexpr int kRowPlannedOutput = 436;
constexpr int kRowBatch = 437;
constexpr int kRowResetStatistics = 438;
constexpr int kRowWifiSetting = 443;
constexpr int kRowUpdateWifi = 444;
constexpr int kRowWifiName = 445;
constexpr int kRowWifiPassword = 446;
constexpr int kRowResetQuestion = 447;
constexpr int kRowWifiQuestion = 448;
constexpr int kRowServerSettings = 449;
constexpr int kRowInfoServer = 450;
constexpr int kRowFileServer = 451;
constexpr int kRowPort = 452;
constexpr int kRowUpdateServer = 453;
constexpr int kRowServerQuestion = 454;
constexpr int kRowReminders = 456;
constexpr int kRowLinkCheck = 525;
constexpr int kRowStatistics = 1478;
constexpr int kRowLanOk = 420;
constexpr int kRowLanNg = 421;
constexpr int kRowCreated = 1460;       // 1460-1463: the reminder table's columns after the operator
constexpr int kRowGetReminders = 1464;
constexpr int kRowInterface = 1465;     // 1465-1467: the link check's columns
constexpr int kRowDatabaseError = 1468;
constexpr int kRowServerFileMissing = 1469;
constexpr int kRowBadAddress = 1470;
constexpr int kRowBadPort = 1471;
constexpr int kRowBadSsid = 1472;
constexpr int kRowBadPsk = 1473;
constexpr int kRowWifiNotSaved = 1474;
constexpr int kRowServerSaved = 1476;
constexpr int kRowNotConnected = 1477;

constexpr int kButtonHeight = 64;
constexpr int kLinkPeriodMs = 3000;

QString oneLine(int row) { return LanStr(row).simplified(); }

QLabel *heading(int row)
{
    auto *label = new QLabel(oneLine(row));
    label->setFont(C_Type_COM::font(28));
    label->setStyleSheet(QStringLiteral("color: #9fc4e8;"));
    return label;
}

QLabel *caption(int row)
{
    auto *label = new QLabel(oneLine(row));
    label->setFont(C_Type_COM::font(24));
    return label;
}

QLineEdit *textField(int maxLength, bool digits = false)
{
    auto *edit = new QLineEdit;
    edit->setMaxLength(maxLength);
    edit->setFont(C_Type_COM::font(24));
    edit->setMinimumHeight(kButtonHeight - 4);
    C_Type_COM::setTxtQss(edit, C_Type_COM::Blue);
    if (digits)
        edit->setProperty("mouldKeypad", QStringLiteral("number"));
    return edit;
}

QLabel *note()
{
    auto *label = new QLabel;
    label->setFont(C_Type_COM::font(20));
    label->setStyleSheet(QStringLiteral("color: #f0b429;"));
    return label;
}

// A switch keeps a stored value other than 0 and 1 while it stays on.
void storeSwitch(int32_t &word, bool on)
{
    if (on != (word != 0))
        word = on ? 1 : 0;
}

QTableView *table(QStandardItemModel *model)
{
    auto *view = new QTableView;
    view->setModel(model);
    view->setFont(C_Type_COM::font(20));
    view->horizontalHeader()->setFont(C_Type_COM::font(20));
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->verticalHeader()->setDefaultSectionSize(44);
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->setStyleSheet(QStringLiteral("QTableView { background: #223040; color: #e8eef4; gridline-color: #4a6a8a; }"
                                       "QHeaderView::section { background: #2d4a66; color: #e8eef4; padding: 6px; }"));
    return view;
}

QStandardItem *cell(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

}  // namespace

OtherNetWidget::OtherNetWidget(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("othernet"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#othernet { background-color: #1a222c; }"
                                 "QLabel, QCheckBox { color: #e8eef4; }"));

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 8);
    auto *navigation = new QVBoxLayout;
    const struct {
        int page, row;
        void (OtherNetWidget::*slot)();
    } pages[] = {{TelPage, kRowAlarmNotification, &OtherNetWidget::SlotTel},
                 {NgVideoPage, kRowRecordAlarmVideo, &OtherNetWidget::SlotNgVideo},
                 {StatisticsPage, kRowStatistics, &OtherNetWidget::SlotStatistics},
                 {WifiPage, kRowWifiSetting, &OtherNetWidget::SlotWifi},
                 {ServerPage, kRowServerSettings, &OtherNetWidget::SlotServer},
                 {RemindPage, kRowReminders, &OtherNetWidget::SlotRemind},
                 {LinkPage, kRowLinkCheck, &OtherNetWidget::SlotStartChk}};
    for (const auto &p : pages) {
        QPushButton *b = button(p.row, p.slot);
        b->setCheckable(true);
        b->setStyleSheet(b->styleSheet() + QStringLiteral("QPushButton:checked { background-color: #e67e22; }"));
        b->setFixedWidth(260);
        navigation->addWidget(b);
        m_pageButtons[p.page] = b;
    }
    navigation->addStretch(1);
    QPushButton *close = button(kRowConfirmClose, &OtherNetWidget::SlotCloseWgt);
    C_Type_COM::setBtnQss(close, C_Type_COM::Green);
    close->setFixedWidth(260);
    navigation->addWidget(close);
    outer->addLayout(navigation);

    auto *right = new QVBoxLayout;
    right->addWidget(heading(kRowTitle));
    m_stack = new QStackedWidget;
    m_stack->addWidget(new QWidget);  // no page chosen yet
    m_stack->addWidget(buildTelPage());
    m_stack->addWidget(buildNgVideoPage());
    m_stack->addWidget(buildStatisticsPage());
    m_stack->addWidget(buildWifiPage());
    m_stack->addWidget(buildServerPage());
    m_stack->addWidget(buildRemindPage());
    m_stack->addWidget(buildLinkPage());
    right->addWidget(m_stack, 1);
    outer->addLayout(right, 1);

    m_linkTimer = new QTimer(this);
    m_linkTimer->setInterval(kLinkPeriodMs);
    connect(m_linkTimer, &QTimer::timeout, this, &OtherNetWidget::SlotTimerChk);
    hide();
}

QPushButton *OtherNetWidget::button(int row, void (OtherNetWidget::*slot)())
{
    auto *b = new QPushButton(oneLine(row));
    b->setFont(C_Type_COM::font(24));
    b->setMinimumHeight(kButtonHeight);
    b->setMinimumWidth(qMax(180, b->fontMetrics().horizontalAdvance(b->text()) + 48));
    b->setFocusPolicy(Qt::NoFocus);
    C_Type_COM::setBtnQss(b, C_Type_COM::Blue);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
}

QWidget *OtherNetWidget::buildTelPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setVerticalSpacing(16);
    m_telSwitch = new CheckBox(LanStr(kRowEnableSms));
    m_telSwitch->setMinimumHeight(kButtonHeight);
    m_techName = textField(99);
    m_techNumber = textField(99);
    grid->addWidget(m_telSwitch, 0, 0, 1, 2);
    grid->addWidget(caption(kRowTechName), 1, 0);
    grid->addWidget(m_techName, 1, 1);
    grid->addWidget(caption(kRowTechPhone), 2, 0);
    grid->addWidget(m_techNumber, 2, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnMinimumWidth(1, 420);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget *OtherNetWidget::buildNgVideoPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_ngVideo = new CheckBox(LanStr(kRowRecordNgVideo));
    m_ngVideo->setMinimumHeight(kButtonHeight);
    layout->addWidget(m_ngVideo);
    layout->addStretch(1);
    return page;
}

QWidget *OtherNetWidget::buildStatisticsPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setVerticalSpacing(16);
    grid->setHorizontalSpacing(12);
    int row = 0;
    auto *product = new QHBoxLayout;
    product->setSpacing(12);
    m_product = new ComboBox;
    m_product->setMinimumWidth(420);
    product->addWidget(caption(kRowProductName));
    product->addWidget(m_product);
    product->addWidget(button(kRowGetProductName, &OtherNetWidget::SlotGetProductName));
    product->addStretch(1);
    grid->addLayout(product, row++, 0, 1, -1);
    m_listNote = note();
    grid->addWidget(m_listNote, row++, 0, 1, -1);
    // Product batch ('CntNet' 8), cavities per shot (6) and planned output (7).
    const struct {
        int label, min, max;
    } fields[3] = {{kRowBatch, 0, 99999999}, {kRowCavity, 0, 999}, {kRowPlannedOutput, 0, 99999999}};
    for (int i = 0; i < 3; ++i) {
        m_statFields[i] = new EditBox(fields[i].min, fields[i].max, nullptr, LanStr(fields[i].label));
        m_statFields[i]->setButtonNum(3);
        grid->addWidget(m_statFields[i], row++, 0, 1, -1, Qt::AlignLeft);
    }
    auto *who = new QHBoxLayout;
    who->setSpacing(12);
    m_operator = textField(33);  // 99 bytes of UTF-8
    m_operator->setMinimumWidth(420);
    who->addWidget(caption(kRowOperator));
    who->addWidget(m_operator);
    who->addStretch(1);
    grid->addLayout(who, row++, 0, 1, -1);
    QPushButton *reset = button(kRowResetStatistics, &OtherNetWidget::SlotResetStatistics);
    C_Type_COM::setBtnQss(reset, C_Type_COM::Red);
    grid->addWidget(reset, row++, 0, Qt::AlignLeft);
    grid->setRowStretch(row, 1);
    return page;
}

QWidget *OtherNetWidget::buildWifiPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setVerticalSpacing(16);
    m_ssid = textField(32);
    m_psk = textField(63);
    grid->addWidget(caption(kRowWifiName), 0, 0);
    grid->addWidget(m_ssid, 0, 1);
    grid->addWidget(caption(kRowWifiPassword), 1, 0);
    grid->addWidget(m_psk, 1, 1);
    grid->addWidget(button(kRowUpdateWifi, &OtherNetWidget::SlotUpdateWifi), 2, 1, Qt::AlignLeft);
    grid->setColumnMinimumWidth(1, 520);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget *OtherNetWidget::buildServerPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setVerticalSpacing(16);
    grid->setHorizontalSpacing(12);
    const int titles[2] = {kRowInfoServer, kRowFileServer};
    for (int i = 0; i < 2; ++i) {
        m_serverIp[i] = new EditIP(oneLine(titles[i]));
        m_serverPort[i] = textField(5, true);
        m_serverPort[i]->setFixedWidth(140);
        grid->addWidget(m_serverIp[i], i, 0);
        grid->addWidget(caption(kRowPort), i, 1);
        grid->addWidget(m_serverPort[i], i, 2);
    }
    grid->addWidget(button(kRowUpdateServer, &OtherNetWidget::SlotUpdateServer), 2, 0, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget *OtherNetWidget::buildRemindPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_remindModel = new QStandardItemModel(0, 5, this);
    m_remindModel->setHorizontalHeaderLabels({oneLine(kRowOperator), oneLine(kRowCreated), oneLine(kRowCreated + 1),
                                              oneLine(kRowCreated + 2), oneLine(kRowCreated + 3)});
    layout->addWidget(table(m_remindModel), 1);
    auto *below = new QHBoxLayout;
    below->addWidget(button(kRowGetReminders, &OtherNetWidget::SlotGetRemindList));
    m_remindNote = note();
    below->addWidget(m_remindNote, 1);
    layout->addLayout(below);
    return page;
}

QWidget *OtherNetWidget::buildLinkPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_linkModel = new QStandardItemModel(0, 3, this);
    m_linkModel->setHorizontalHeaderLabels(
        {oneLine(kRowInterface), oneLine(kRowInterface + 1), oneLine(kRowInterface + 2)});
    layout->addWidget(table(m_linkModel), 1);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Opening, pages and closing

void OtherNetWidget::Open()
{
    const WizardPara &p = *gpWParaBak;
    m_telSwitch->setChecked(p.net_options[3] != 0);
    m_techName->setText(ParaText(p.net_tech_name));
    m_techNumber->setText(ParaText(p.net_tech_num));
    m_ngVideo->setChecked(p.net_options[2] != 0);
    const QString product = ParaText(p.net_product_name, true);
    m_product->clear();
    if (!product.isEmpty())
        m_product->addItem(product);
    for (int i = 0; i < 3; ++i)
        m_statFields[i]->setValue(p.net_stat_settings[i]);
    m_operator->setText(ParaText(p.net_operator, true));
    m_listNote->clear();
    m_remindNote->clear();
    showPage(NoPage);
}

void OtherNetWidget::showPage(int page)
{
    if (m_page == LinkPage && page != LinkPage)
        m_linkTimer->stop();
    m_page = page;
    for (int i = TelPage; i < PageCount; ++i)
        m_pageButtons[i]->setChecked(i == page);
    m_stack->setCurrentIndex(page);
}

void OtherNetWidget::SlotTel() { showPage(TelPage); }
void OtherNetWidget::SlotNgVideo() { showPage(NgVideoPage); }

void OtherNetWidget::SlotStatistics()
{
    showPage(StatisticsPage);
    SlotGetProductName();
}

void OtherNetWidget::SlotRemind() { showPage(RemindPage); }

void OtherNetWidget::SlotCloseWgt()
{
    WizardPara &p = *gpWParaBak;
    storeSwitch(p.net_options[3], m_telSwitch->isChecked());
    SetParaText(p.net_tech_name, m_techName->text());
    SetParaText(p.net_tech_num, m_techNumber->text());
    storeSwitch(p.net_options[2], m_ngVideo->isChecked());
    if (m_product->count() > 0)
        SetParaText(p.net_product_name, m_product->currentText(), true);
    for (int i = 0; i < 3; ++i) {
        m_statFields[i]->CheckRange();
        p.net_stat_settings[i] = m_statFields[i]->value();
    }
    SetParaText(p.net_operator, m_operator->text(), true);
    hide();
    emit closed();
}

void OtherNetWidget::hideEvent(QHideEvent *event)
{
    m_linkTimer->stop();
    QFrame::hideEvent(event);
}

bool OtherNetWidget::relayConnected() const { return m_hooks.relayConnected && m_hooks.relayConnected(); }

// ---------------------------------------------------------------------------------------------
// The relay's lists

void OtherNetWidget::SlotGetProductName()
{
    if (!relayConnected()) {
        m_listNote->setText(oneLine(kRowNotConnected));
        return;
    }
    m_listNote->clear();
    if (m_hooks.requestProducts)
        m_hooks.requestProducts();
}

void OtherNetWidget::SlotGetRemindList()
{
    if (!relayConnected()) {
        m_remindNote->setText(oneLine(kRowNotConnected));
        return;
    }
    m_remindNote->clear();
    if (m_hooks.requestReminders)
        m_hooks.requestReminders();
}

void OtherNetWidget::cnt_reset_product(const QString &body)
{
    const std::optional<QStringList> names = NetSettings::ParseProductList(body.toUtf8());
    if (!names)
        return;
    const QStringList choices = NetSettings::ProductChoices(m_product->currentText(), *names);
    m_product->clear();
    m_product->addItems(choices);
    m_product->setCurrentIndex(choices.isEmpty() ? -1 : 0);
}

void OtherNetWidget::cnt_reset_remind(const QString &body)
{
    const auto rows = NetSettings::ParseRemindList(body.toUtf8());
    if (!rows)
        return;
    m_remindModel->removeRows(0, m_remindModel->rowCount());
    for (const NetSettings::Reminder &r : *rows)
        m_remindModel->appendRow({cell(r.operatorName), cell(r.created), cell(r.notify), cell(r.duration), cell(r.name)});
}

// ---------------------------------------------------------------------------------------------
// Wi-Fi and server

void OtherNetWidget::SlotWifi()
{
    showPage(WifiPage);
    QFile file(m_paths.wifiInstalled);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QString ssid, psk;
    NetSettings::ParseWifiConf(file.read(64 * 1024), &ssid, &psk);
    m_ssid->setText(ssid);
    m_psk->setText(psk);
}

void OtherNetWidget::SlotUpdateWifi()
{
    if (!Operator::Ask(LanStr(kRowWifiQuestion)))
        return;
    const QString ssid = m_ssid->text(), psk = m_psk->text();
    switch (NetSettings::CheckWifi(ssid, psk)) {
    case NetSettings::WifiFault::Ssid:
        Operator::Warn(LanStr(kRowBadSsid));
        return;
    case NetSettings::WifiFault::Psk:
        Operator::Warn(LanStr(kRowBadPsk));
        return;
    case NetSettings::WifiFault::None:
        break;
    }
    if (!NetSettings::SaveWifi(ssid, psk, m_paths.wifiFile))
        Operator::Warn(LanStr(kRowWifiNotSaved));
}

void OtherNetWidget::SlotServer()
{
    showPage(ServerPage);
    NetSettings::Server server{m_serverIp[0]->getTextIP(), m_serverPort[0]->text(), m_serverIp[1]->getTextIP(),
                               m_serverPort[1]->text()};
    QString error;
    const NetSettings::DbResult result = NetSettings::ReadServer(m_paths.sysconf, &server, &error);
    if (result == NetSettings::DbResult::OpenFailed) {
        Operator::Warn(LanStr(kRowDatabaseError).arg(error));
        return;
    }
    if (result != NetSettings::DbResult::Ok)
        return;
    m_serverIp[0]->setTextIP(server.infoIp);
    m_serverPort[0]->setText(server.infoPort);
    m_serverIp[1]->setTextIP(server.fileIp);
    m_serverPort[1]->setText(server.filePort);
}

void OtherNetWidget::SlotUpdateServer()
{
    if (!Operator::Ask(LanStr(kRowServerQuestion)))
        return;
    const NetSettings::Server server{m_serverIp[0]->getTextIP(), m_serverPort[0]->text(), m_serverIp[1]->getTextIP(),
                                     m_serverPort[1]->text()};
    QString error, bad;
    switch (NetSettings::WriteServer(m_paths.sysconf, server, &error, &bad)) {
    case NetSettings::DbResult::Ok:
        if (m_hooks.serverChanged)
            m_hooks.serverChanged();
        Operator::Warn(LanStr(kRowServerSaved));
        break;
    case NetSettings::DbResult::Missing:
        Operator::Warn(LanStr(kRowServerFileMissing));
        break;
    case NetSettings::DbResult::OpenFailed:
        Operator::Warn(LanStr(kRowDatabaseError).arg(error));
        break;
    case NetSettings::DbResult::InvalidAddress:
        Operator::Warn(LanStr(kRowBadAddress).arg(bad));
        break;
    case NetSettings::DbResult::InvalidPort:
        Operator::Warn(LanStr(kRowBadPort).arg(bad));
        break;
    }
}

void OtherNetWidget::SlotResetStatistics()
{
    if (!Operator::Ask(LanStr(kRowResetQuestion)))
        return;
    NetSettings::ResetStatistics(m_paths.stationRoot);
    if (m_hooks.reloadStatistics)
        m_hooks.reloadStatistics();
}

// ---------------------------------------------------------------------------------------------
// Link check

void OtherNetWidget::SlotStartChk()
{
    showPage(LinkPage);
    QFile dev(m_paths.procNetDev);
    m_received = dev.open(QIODevice::ReadOnly) ? NetSettings::ReceivedBytes(dev.read(1 << 20)) : QMap<QString, qint64>();
    m_receivedDelta.clear();
    m_running.clear();
    for (auto it = m_received.cbegin(); it != m_received.cend(); ++it)
        m_running[it.key()] = NetSettings::InterfaceRunning(it.key(), m_paths.sysNet);
    showLinks();
    m_linkTimer->start();
}

void OtherNetWidget::SlotTimerChk()
{
    QFile dev(m_paths.procNetDev);
    const QMap<QString, qint64> now =
        dev.open(QIODevice::ReadOnly) ? NetSettings::ReceivedBytes(dev.read(1 << 20)) : QMap<QString, qint64>();
    m_running.clear();
    m_receivedDelta.clear();
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        m_running[it.key()] = NetSettings::InterfaceRunning(it.key(), m_paths.sysNet);
        const qint64 before = m_received.value(it.key(), it.value());
        // A counter that went back (interface reset) counts from zero.
        m_receivedDelta[it.key()] = it.value() >= before ? it.value() - before : it.value();
    }
    m_received = now;
    showLinks();
}

void OtherNetWidget::showLinks()
{
    m_linkModel->removeRows(0, m_linkModel->rowCount());
    for (auto it = m_running.cbegin(); it != m_running.cend(); ++it) {
        const auto delta = m_receivedDelta.constFind(it.key());
        QStandardItem *state = cell(oneLine(it.value() ? kRowLanOk : kRowLanNg));
        state->setForeground(it.value() ? QColor(0x6f, 0xd0, 0x8c) : QColor(0xf0, 0x6c, 0x5c));
        m_linkModel->appendRow(
            {cell(it.key()), state, cell(delta == m_receivedDelta.cend() ? QStringLiteral("-") : QString::number(*delta))});
    }
}
