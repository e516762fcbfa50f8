#include "ui/screenport.h"

#include "ui/prompt.h"
#include "ui/users/passwordbox.h"
#include "users/loginlevels.h"
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
    if (!levels) {
        qWarning("password level %d requested before the login levels exist: refused", level);
        return false;
    }
    if (!gpPasswordBox)
        gpPasswordBox = new PasswordBox(*levels);  // lives as long as the process
    gpPasswordBox->exec();
    return levels->level() >= level;
}

int ScreenPort::oneTimePassword()
{
    if (!levels) {
        qWarning("one-time password requested before the login levels exist: refused");
        return 0;
    }
    PasswordDialog dialog(*levels);
    return dialog.exec() == QDialog::Accepted ? dialog.passwordResult() : 0;
}

void ScreenPort::notify(const QString &text)
{
    qInfo().noquote() << "notice:" << text;
    if (!gpWarnBox)
        return;
    gpWarnBox->setText(text);
    gpWarnBox->show();
}
