#include "ui/users/drawuserwidget.h"

#include "core/globals.h"
#include "ui/users/userdialogs.h"
#include "ui/users/userstyle.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowManageUsers = 604;
constexpr int kRowAdd = 605;
constexpr int kRowModify = 606;
constexpr int kRowLogin = 607;
constexpr int kRowCurrentAccount = 608;
constexpr int kRowAssign = 609;
constexpr int kRowSwitch = 610;
constexpr int kRowDelete = 611;
constexpr int kRowReturn = 58;
constexpr int kRowWarning = 639;
constexpr int kRowLogInFirst = 640;
constexpr int kRowNoAccess = 641;

}  // namespace

DrawUserWidget::DrawUserWidget(UserManager &users, QWidget *parent) : QFrame(parent), m_users(users)
{
    setObjectName(QStringLiteral("usersPage"));
    setAutoFillBackground(true);
    setStyleSheet(UserStyle::Dialog(QStringLiteral("usersPage"))
                  + QStringLiteral("#usersPage QPushButton { min-height: 90px; min-width: 300px; font-size: 28px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 36, 48, 36);
    layout->setSpacing(24);
    m_title = new QLabel(LanStr(kRowManageUsers));
    m_title->setStyleSheet(QStringLiteral("font-size: 40px; font-weight: bold;"));
    layout->addWidget(m_title);
    m_account = new QLabel;
    m_account->setStyleSheet(QStringLiteral("font-size: 30px; color: #e0a020;"));
    layout->addWidget(m_account);

    auto *grid = new QGridLayout;
    grid->setSpacing(28);
    m_login = new QPushButton(LanStr(kRowLogin));
    m_add = new QPushButton(LanStr(kRowAdd));
    m_modify = new QPushButton(LanStr(kRowModify));
    m_delete = new QPushButton(LanStr(kRowDelete));
    m_assign = new QPushButton(LanStr(kRowAssign));
    QPushButton *const grid6[] = {m_login, m_modify, m_add, m_delete, m_assign};
    for (int i = 0; i < 5; ++i) {
        grid6[i]->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(grid6[i], i / 2, i % 2);
    }
    auto *centre = new QHBoxLayout;
    centre->addStretch();
    centre->addLayout(grid);
    centre->addStretch();
    layout->addLayout(centre);
    layout->addStretch(1);
    m_return = new QPushButton(LanStr(kRowReturn));
    m_return->setFocusPolicy(Qt::NoFocus);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_return);
    layout->addLayout(bottom);

    // Each dialog shows with the page as parent; open() keeps the event loop the station's own.
    m_changeUser = new ChangeUserDialog(users, this);
    m_addUser = new AddUserDialog(users, this);
    m_deleteUser = new DeleteUserDialog(users, this);
    m_changePsd = new ChangePsdDialog(users, this);
    m_allocate = new AllocateDialog(users, this);
    const struct { QPushButton *button; UserDialog *dialog; } pairs[] = {
        {m_login, m_changeUser}, {m_add, m_addUser}, {m_delete, m_deleteUser}, {m_modify, m_changePsd}, {m_assign, m_allocate}};
    for (const auto &p : pairs) {
        connect(p.button, &QPushButton::clicked, p.dialog, &QDialog::open);
        connect(p.dialog, &UserDialog::succeeded, this, &DrawUserWidget::Refresh);
    }
    connect(m_return, &QPushButton::clicked, this, [this] {
        hide();
        emit closed();
    });
    Refresh();
    hide();
}

void DrawUserWidget::Refresh()
{
    const UserType type = m_users.getUserType();
    m_account->setText(LanStr(kRowCurrentAccount) + QStringLiteral("  [%1]").arg(m_users.currentName()));
    m_login->setText(LanStr(type == NoAccount ? kRowLogin : kRowSwitch));
    const bool loggedIn = type != NoAccount;
    const bool manages = type == AdministratorAccount || type == TechnicianAccount;
    m_add->setVisible(manages);
    m_delete->setVisible(manages);
    m_modify->setVisible(loggedIn);
    m_assign->setVisible(m_users.CanAllocate());
}

void DrawUserWidget::ShowDenial(UserManager::Denial why)
{
    const bool notLoggedIn = why == UserManager::NotLoggedIn;
    MessageDialog box(LanStr(kRowWarning), LanStr(notLoggedIn ? kRowLogInFirst : kRowNoAccess), notLoggedIn, this);
    if (box.exec() == QDialog::Accepted && notLoggedIn)
        m_changeUser->open();
}

void DrawUserWidget::showEvent(QShowEvent *event)
{
    Refresh();
    QFrame::showEvent(event);
}
