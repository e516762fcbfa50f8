#include "ui/widgets/editip.h"

#include "ui/widgets/ctypecom.h"
#include "ui/widgets/keypads.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

EditIP::EditIP(const QString &title, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_title = new QLabel(title);
    m_title->setFont(C_Type_COM::font(24));
    m_title->setMinimumWidth(140);
    m_title->setVisible(!title.isEmpty());
    setTitleColor(QColor(0xE8, 0xEE, 0xF4));
    layout->addWidget(m_title);
    auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto *dot = new QLabel(QStringLiteral("."));
            dot->setFont(C_Type_COM::font(30));
            dot->setStyleSheet(QStringLiteral("color:#E8EEF4;"));
            layout->addWidget(dot);
        }
        auto *octet = new QLineEdit;
        octet->setObjectName(QStringLiteral("octet%1").arg(i));
        octet->setProperty("mouldKeypad", QStringLiteral("number"));
        octet->setValidator(digits);
        octet->setAlignment(Qt::AlignCenter);
        octet->setFont(C_Type_COM::font(26));
        octet->setFixedSize(90, 60);
        C_Type_COM::setTxtQss(octet, C_Type_COM::Blue);
        octet->installEventFilter(this);
        layout->addWidget(octet);
        m_octets[i] = octet;
    }
    layout->addStretch();
    connect(m_octets[0], &QLineEdit::textChanged, this, &EditIP::SlotTextChg_0);
    connect(m_octets[1], &QLineEdit::textChanged, this, &EditIP::SlotTextChg_1);
    connect(m_octets[2], &QLineEdit::textChanged, this, &EditIP::SlotTextChg_2);
    connect(m_octets[3], &QLineEdit::textChanged, this, &EditIP::SlotTextChg_3);
}

void EditIP::setTextIP(const QString &address)
{
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        m_octets[i]->setText(i < parts.size() ? parts.at(i).trimmed() : QString());
}

QString EditIP::getTextIP() const
{
    QStringList parts;
    for (QLineEdit *octet : m_octets)
        parts << QString::number(octet->text().toInt());
    return parts.join(QLatin1Char('.'));
}

void EditIP::setTitleColor(const QColor &color)
{
    m_title->setStyleSheet(QStringLiteral("color:%1;").arg(color.name()));
}

void EditIP::limitOctet(int index, const QString &text)
{
    // Also catches text that bypasses the validator (setTextIP): what is not digits is dropped.
    static const QRegularExpression digitsOnly(QStringLiteral("^\\d+$"));
    if (text.isEmpty())
        return;
    if (!digitsOnly.match(text).hasMatch())
        m_octets[index]->clear();
    else if (text.size() > 3 || text.toInt() > 255)
        m_octets[index]->setText(QStringLiteral("255"));
}

void EditIP::pressDot(int index)
{
    if (m_octets[index]->text().isEmpty())
        m_octets[index]->setText(QStringLiteral("0"));
    QLineEdit *next = m_octets[index + 1];
    next->setFocus();
    // The pad follows to the next octet; its next key replaces that octet.
    if (gpNumPad && gpNumPad->target() == m_octets[index])
        gpNumPad->serve(next);
}

bool EditIP::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->text() == QLatin1String(".")) {
        for (int i = 0; i < 3; ++i) {
            if (watched == m_octets[i]) {
                pressDot(i);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
