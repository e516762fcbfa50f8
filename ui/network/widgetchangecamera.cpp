#include "ui/network/widgetchangecamera.h"

#include "camera/cameraglobals.h"
#include "camera/cameraprobe.h"
#include "core/globals.h"
#include "core/operatorport.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/ctypecom.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowRepeating = 361;
constexpr int kRowNumber = 394;
constexpr int kRowSwitchesTo = 395;
constexpr int kRowTitle = 396;
constexpr int kButtonHeight = 64;

}  // namespace

WidgetChangeCamera::WidgetChangeCamera(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("changecamera"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#changecamera { background-color: #1a222c; } QLabel { color: #e8eef4; }"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 16, 24, 16);
    auto *title = new QLabel(LanStr(kRowTitle).simplified());
    title->setFont(C_Type_COM::font(28));
    title->setStyleSheet(QStringLiteral("color: #9fc4e8;"));
    outer->addWidget(title);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    for (int i = 0; i < 8; ++i) {
        m_labels[i] = new QLabel(LanStr(kRowSwitchesTo).arg(i + 1));
        m_labels[i]->setFont(C_Type_COM::font(24));
        m_choices[i] = new ComboBox;
        m_choices[i]->setMinimumWidth(200);
        // Two columns of four cameras.
        grid->addWidget(m_labels[i], i % 4, (i / 4) * 2);
        grid->addWidget(m_choices[i], i % 4, (i / 4) * 2 + 1);
        connect(m_choices[i], &QComboBox::activated, this, [this, i](int n) { SetCameraNO(i, n); });
    }
    grid->setColumnStretch(4, 1);
    outer->addLayout(grid);
    outer->addStretch(1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(LanStr(kRowConfirm).simplified());
    m_cancel = new QPushButton(LanStr(kRowCancel).simplified());
    for (QPushButton *b : {m_ok, m_cancel}) {
        b->setFont(C_Type_COM::font(24));
        b->setFixedSize(240, kButtonHeight);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    C_Type_COM::setBtnQss(m_ok, C_Type_COM::Green);
    C_Type_COM::setBtnQss(m_cancel, C_Type_COM::Red);
    connect(m_ok, &QPushButton::clicked, this, &WidgetChangeCamera::SlotOK);
    connect(m_cancel, &QPushButton::clicked, this, &WidgetChangeCamera::SlotCancel);
    outer->addLayout(buttons);
    hide();
}

int WidgetChangeCamera::cameraCount() const { return qBound(0, numCamera, 8); }

void WidgetChangeCamera::Open()
{
    const int count = cameraCount();
    for (int i = 0; i < 8; ++i) {
        // A stored number outside the cameras present starts at the camera's own position.
        m_numbers[i] = gCamNO[i] >= 0 && gCamNO[i] < count ? gCamNO[i] : i;
        m_choices[i]->clear();
        for (int n = 0; n < count; ++n)
            m_choices[i]->addItem(LanStr(kRowNumber).arg(n + 1));
        m_choices[i]->setCurrentIndex(m_numbers[i]);
        m_labels[i]->setVisible(i < count);
        m_choices[i]->setVisible(i < count);
    }
}

void WidgetChangeCamera::SetCameraNO(int index, int number)
{
    if (index < 0 || index >= cameraCount() || number < 0 || number >= cameraCount())
        return;
    m_numbers[index] = number;
}

void WidgetChangeCamera::SlotOK()
{
    const int count = cameraCount();
    for (int i = 0; i < count; ++i)
        for (int k = i + 1; k < count; ++k)
            if (m_numbers[i] == m_numbers[k]) {
                Operator::Warn(LanStr(kRowRepeating).arg(m_numbers[i] + 1));
                return;
            }
    for (int i = 0; i < count; ++i)
        gCamNO[i] = m_numbers[i];
    hide();
    emit closed();
    SaveSN(0);
    if (shutDown)
        shutDown();
}

void WidgetChangeCamera::SlotCancel()
{
    hide();
    emit closed();
}
