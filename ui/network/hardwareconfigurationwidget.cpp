#include "ui/network/hardwareconfigurationwidget.h"

#include "core/globals.h"
#include "params/hardwareconf.h"
#include "ui/widgets/ctypecom.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowNextPage = 569;
constexpr int kRowTitle = 1403;
constexpr int kRowCamerasInUse = 1475;
constexpr int kButtonHeight = 64;

}  // namespace

HardwareConfigurationWidget::HardwareConfigurationWidget(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("hardware"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#hardware { background-color: #1a222c; } QLabel { color: #e8eef4; }"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 16, 24, 16);
    outer->setSpacing(12);
    auto *title = new QLabel(LanStr(kRowTitle).simplified());
    title->setFont(C_Type_COM::font(28));
    title->setStyleSheet(QStringLiteral("color: #9fc4e8;"));
    outer->addWidget(title);
    m_cameras = new QLabel;
    m_cameras->setFont(C_Type_COM::font(24));
    outer->addWidget(m_cameras);

    m_table = new QTableWidget(0, 2);
    m_table->setFont(C_Type_COM::font(22));
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(44);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setStyleSheet(QStringLiteral("QTableWidget { background: #223040; color: #e8eef4; gridline-color: #4a6a8a; }"
                                          "QTableWidget::item { padding: 0 16px; }"));
    outer->addWidget(m_table, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_next = new QPushButton(LanStr(kRowNextPage).simplified());
    m_confirm = new QPushButton(LanStr(kRowConfirm).simplified());
    for (QPushButton *b : {m_next, m_confirm}) {
        b->setFont(C_Type_COM::font(24));
        b->setFixedSize(240, kButtonHeight);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    C_Type_COM::setBtnQss(m_next, C_Type_COM::Blue);
    C_Type_COM::setBtnQss(m_confirm, C_Type_COM::Green);
    connect(m_next, &QPushButton::clicked, this, &HardwareConfigurationWidget::slotNextpage);
    connect(m_confirm, &QPushButton::clicked, this, &HardwareConfigurationWidget::slotConfirm);
    outer->addLayout(buttons);
    hide();
}

QList<QPair<QString, QString>> HardwareConfigurationWidget::loadConfiguration()
{
    return HardwareConf::Load(QStringLiteral("conf.txt"));
}

QList<QPair<QString, QString>> HardwareConfigurationWidget::loadConfigurationnext()
{
    return HardwareConf::Load(QStringLiteral("confnext.txt"));
}

void HardwareConfigurationWidget::Open()
{
    m_pages[0] = loadConfiguration();
    m_pages[1] = loadConfigurationnext();
    m_cameras->setText(LanStr(kRowCamerasInUse).arg(gCameraID == 0 ? 0 : numCamera));
    m_page = 0;
    showPage();
}

void HardwareConfigurationWidget::showPage()
{
    const QList<QPair<QString, QString>> &pairs = m_pages[m_page];
    m_table->setRowCount(int(pairs.size()));
    for (int row = 0; row < pairs.size(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(pairs[row].first));
        m_table->setItem(row, 1, new QTableWidgetItem(pairs[row].second));
    }
}

void HardwareConfigurationWidget::slotNextpage()
{
    m_page = 1 - m_page;
    showPage();
}

void HardwareConfigurationWidget::slotConfirm()
{
    hide();
    emit closed();
}
