#include "ui/screenport.h"

#include "ui/prompt.h"
#include "ui/warnbox.h"

#include <QtDebug>

void ScreenPort::warn(const QString &text)
{
    if (!gpWarnBox) {
        Prompt::Warn(text);
        return;
    }
    gpWarnBox->setText(text);
    gpWarnBox->exec();
}

bool ScreenPort::ask(const QString &question)
{
    if (!gpChooseBox)
        return Prompt::Choose(question);
    gpChooseBox->setText(question);
    return gpChooseBox->exec() == QDialog::Accepted;
}

bool ScreenPort::password(int level)
{
    if (checkLevel)
        return checkLevel(level);
    qInfo("password level %d requested: no accounts on this station yet, granted", level);
    return true;
}

void ScreenPort::notify(const QString &text)
{
    qInfo().noquote() << "notice:" << text;
    if (!gpWarnBox)
        return;
    gpWarnBox->setText(text);
    gpWarnBox->show();
}
