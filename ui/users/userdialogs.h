// The dialogs of the "Manage users" page: login, adding, deleting, password change, permissions,
// and the message dialog of the permission check.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;
class UserManager;

// A title, the dialog's fields, a message line and "Confirm" / "Cancel". Opening it clears the
// fields and resets the message line; after a success it closes itself 500 ms later.
class UserDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kCloseAfterMs = 500;

    QLabel *title() const { return m_title; }
    QLabel *message() const { return m_message; }
    QPushButton *confirmButton() const { return m_confirm; }
    QPushButton *cancelButton() const { return m_cancel; }
    // Running while a success waits to close the dialog.
    const QTimer &closeTimer() const { return m_close; }

    // The message line in the information or the error style.
    void showInfo(const QString &text);
    void showError(const QString &text);

signals:
    // An account operation succeeded (the page refreshes).
    void succeeded();

protected:
    UserDialog(int titleRow, UserManager &users, QWidget *parent);
    QVBoxLayout *body() const { return m_body; }
    QLineEdit *addField(int placeholderRow, bool password);
    QListWidget *addAccountList();
    // Fills `list` with the accounts whose type is within [lowest, 3], with their icons.
    void fillAccounts(QListWidget *list, int lowest);
    QString chosenAccount(const QListWidget *list) const;
    void success(const QString &text);

    virtual void reset() = 0;
    virtual void confirm() = 0;
    void showEvent(QShowEvent *event) override;

    UserManager &m_users;

private:
    QLabel *m_title;
    QVBoxLayout *m_body;
    QLabel *m_message;
    QPushButton *m_confirm;
    QPushButton *m_cancel;
    QTimer m_close;
};

class ChangeUserDialog : public UserDialog
{
    Q_OBJECT
public:
    explicit ChangeUserDialog(UserManager &users, QWidget *parent = nullptr);
    QListWidget *accounts() const { return m_accounts; }
    QLineEdit *password() const { return m_password; }

protected:
    void reset() override;
    void confirm() override;

private:
    QListWidget *m_accounts;
    QLineEdit *m_password;
};

class AddUserDialog : public UserDialog
{
    Q_OBJECT
public:
    explicit AddUserDialog(UserManager &users, QWidget *parent = nullptr);
    QLineEdit *name() const { return m_name; }
    QLineEdit *password() const { return m_password; }
    QLineEdit *repeat() const { return m_repeat; }
    QPushButton *technician() const { return m_technician; }
    QPushButton *operatorType() const { return m_operator; }

protected:
    void reset() override;
    void confirm() override;

private:
    QLineEdit *m_name;
    QLineEdit *m_password;
    QLineEdit *m_repeat;
    QPushButton *m_technician;
    QPushButton *m_operator;
    QButtonGroup *m_types;
};

class DeleteUserDialog : public UserDialog
{
    Q_OBJECT
public:
    explicit DeleteUserDialog(UserManager &users, QWidget *parent = nullptr);
    QListWidget *accounts() const { return m_accounts; }

protected:
    void reset() override;
    void confirm() override;

private:
    QListWidget *m_accounts;
};

class ChangePsdDialog : public UserDialog
{
    Q_OBJECT
public:
    explicit ChangePsdDialog(UserManager &users, QWidget *parent = nullptr);
    QLineEdit *oldPassword() const { return m_old; }
    QLineEdit *newPassword() const { return m_new; }
    QLineEdit *repeat() const { return m_repeat; }

protected:
    void reset() override;
    void confirm() override;

private:
    QLineEdit *m_old;
    QLineEdit *m_new;
    QLineEdit *m_repeat;
};

class AllocateDialog : public UserDialog
{
    Q_OBJECT
public:
    explicit AllocateDialog(UserManager &users, QWidget *parent = nullptr);
    // Column 0 Technician, column 1 Operator; rows in the permission order.
    QCheckBox *box(int column, int flag) const { return m_boxes[column][flag]; }

protected:
    void reset() override;
    void confirm() override;

private:
    std::array<std::array<QCheckBox *, 7>, 2> m_boxes{};
};

// The permission check's message: a title, a text and "Confirm", with "Cancel" when asked for.
class MessageDialog : public QDialog
{
    Q_OBJECT
public:
    MessageDialog(const QString &title, const QString &text, bool withCancel, QWidget *parent = nullptr);
};
