// The "Manage users" page: the current account and the account operations, each in its dialog.
#pragma once

#include "users/usermanager.h"

#include <QFrame>

class AddUserDialog;
class AllocateDialog;
class ChangePsdDialog;
class ChangeUserDialog;
class DeleteUserDialog;
class QLabel;
class QPushButton;

// Hosted by the main window over the camera views. What it offers follows the current account's
// type: nobody logged in sees the login only; an Operator also changes its password; Technicians
// and Administrators add and delete accounts; only an Administrator assigns permissions.
class DrawUserWidget : public QFrame
{
    Q_OBJECT
public:
    // `users` is borrowed and outlives the page.
    explicit DrawUserWidget(UserManager &users, QWidget *parent = nullptr);

    // The account line, the login caption and which buttons show, for the account now.
    void Refresh();
    // The permission check's refusal: the message dialog, and the login after "Confirm" when
    // nobody is logged in.
    void ShowDenial(UserManager::Denial why);

    QLabel *account() const { return m_account; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *modifyButton() const { return m_modify; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *loginButton() const { return m_login; }
    QPushButton *assignButton() const { return m_assign; }
    QPushButton *returnButton() const { return m_return; }
    ChangeUserDialog *changeUserDialog() const { return m_changeUser; }
    AddUserDialog *addUserDialog() const { return m_addUser; }
    DeleteUserDialog *deleteUserDialog() const { return m_deleteUser; }
    ChangePsdDialog *changePsdDialog() const { return m_changePsd; }
    AllocateDialog *allocateDialog() const { return m_allocate; }

signals:
    // "Return": the main view comes back.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;

private:
    UserManager &m_users;
    QLabel *m_title;
    QLabel *m_account;
    QPushButton *m_add, *m_modify, *m_delete, *m_login, *m_assign, *m_return;
    ChangeUserDialog *m_changeUser;
    AddUserDialog *m_addUser;
    DeleteUserDialog *m_deleteUser;
    ChangePsdDialog *m_changePsd;
    AllocateDialog *m_allocate;
};
