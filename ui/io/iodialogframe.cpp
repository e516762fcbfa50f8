#include "ui/io/iodialogframe.h"

#include "core/globals.h"
#include "ui/users/userstyle.h"
#include "ui/widgets/colorbutton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
}  // namespace

IoDialogFrame::IoDialogFrame(const QString &objectName, int title, QWidget *parent)
    : QFrame(parent)
{
    setObjectName(objectName);
    m_card = new QFrame(this);
    m_card->setObjectName(objectName + QStringLiteral("Card"));
    setStyleSheet(UserStyle::Dialog(m_card->objectName())
                  + QStringLiteral("#%1 { background-color: rgba(0, 0, 0, 140); }").arg(objectName));
    auto *host = new QGridLayout(this);
    host->setContentsMargins(0, 0, 0, 0);
    host->addWidget(m_card, 1, 1);
    host->setRowStretch(0, 1);
    host->setRowStretch(2, 1);
    host->setColumnStretch(0, 1);
    host->setColumnStretch(2, 1);

    auto *outer = new QVBoxLayout(m_card);
    outer->setContentsMargins(12, 8, 12, 8);
    outer->setSpacing(8);
    m_title = new QLabel(LanStr(title), m_card);
    outer->addWidget(m_title);
    m_content = new QVBoxLayout;
    m_content->setSpacing(8);
    outer->addLayout(m_content);

    auto *buttons = new QHBoxLayout;
    m_confirm = new ColorButton(LanStr(kRowConfirm), m_card, C_Type_COM::Green);
    m_cancel = new ColorButton(LanStr(kRowCancel), m_card, C_Type_COM::Blue);
    m_confirm->setFixedSize(180, 64);
    m_cancel->setFixedSize(180, 64);
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addSpacing(40);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    outer->addLayout(buttons);

    connect(m_confirm, &QPushButton::clicked, this, [this] {
        if (store())
            finish();
    });
    connect(m_cancel, &QPushButton::clicked, this, &IoDialogFrame::finish);
    hide();
}

void IoDialogFrame::open(QWidget *opener)
{
    load();
    m_opener = opener;
    // A screen inside the main window makes way; a window of its own would take the dialog with it.
    if (opener && opener != opener->window() && !opener->isAncestorOf(this))
        opener->hide();
    show();
    raise();
}

void IoDialogFrame::finish()
{
    hide();
    if (m_opener)
        m_opener->show();
    emit closed();
}

void IoDialogFrame::showEvent(QShowEvent *event)
{
    if (QWidget *over = parentWidget())
        setGeometry(over->rect());
    raise();
    QFrame::showEvent(event);
}
