#include "ui/prompt.h"

#include "core/globals.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>
#include <QtDebug>

namespace Prompt {
namespace {

Answerer answerer;

bool autoConfirm() { return qgetenv("MOULD_AUTO_CONFIRM") == "1"; }

QString buttonText(int row, const char *fallback)
{
    const QString text = LanStr(row);
    return text.isEmpty() ? QString::fromLatin1(fallback) : text;
}

}  // namespace

void SetAnswerer(Answerer a) { answerer = std::move(a); }

void Warn(const QString &text)
{
    qWarning().noquote() << "warning box:" << text;
    if (answerer) {
        answerer({Kind::Warning, text});
        return;
    }
    if (autoConfirm())
        return;
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::NoButton);
    box.addButton(buttonText(121, "Confirm"), QMessageBox::AcceptRole);
    box.exec();
}

bool Choose(const QString &text)
{
    if (answerer)
        return answerer({Kind::Choice, text}).toInt() != 0;
    if (autoConfirm())
        return false;
    QMessageBox box(QMessageBox::Question, QString(), text, QMessageBox::NoButton);
    QAbstractButton *yes = box.addButton(buttonText(122, "YES"), QMessageBox::YesRole);
    box.addButton(buttonText(123, "NO"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<QDateTime> AskTime(const QString &text)
{
    if (answerer) {
        const QDateTime answer = answerer({Kind::SetTime, text}).toDateTime();
        return answer.isValid() ? std::optional<QDateTime>(answer) : std::nullopt;
    }
    if (autoConfirm())
        return std::nullopt;
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(text));
    auto *edit = new QDateTimeEdit(QDateTime::currentDateTime());
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setCalendarPopup(true);
    edit->setMinimumHeight(60);
    layout->addWidget(edit);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(buttonText(121, "Confirm"), QDialogButtonBox::AcceptRole);
    buttons->addButton(buttonText(124, "Cancel"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->dateTime();
}

}  // namespace Prompt
