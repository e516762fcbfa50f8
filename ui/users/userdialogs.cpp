#include "ui/users/userdialogs.h"

#include "core/globals.h"
#include "ui/users/userstyle.h"
#include "users/usermanager.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowPassword = 125;
constexpr int kRowRepeat = 227;  // "Confirm:"
constexpr int kRowAccountName = 1200;
constexpr int kRowLogin = 607;
constexpr int kRowAdd = 605;
constexpr int kRowDelete = 611;
constexpr int kRowModify = 606;
constexpr int kRowAssign = 609;
constexpr int kRowTechnician = 614;
constexpr int kRowOperator = 615;
constexpr int kRowEnterName = 616;
constexpr int kRowEnterPassword = 617;
constexpr int kRowEnterAgain = 618;
constexpr int kRowSelectType = 619;
constexpr int kRowMismatch = 620;
constexpr int kRowNewPassword = 621;
constexpr int kRowOldPassword = 622;
constexpr int kRowEnterOld = 623;
constexpr int kRowEnterNew = 624;
constexpr int kRowChangeTitle = 626;
constexpr int kRowSelectUser = 627;
// The labels of the seven permission flags, in flag order.
constexpr int kPermissionRows[7] = {127, 215, 129, 130, 47, 48, 205};

QIcon typeIcon(int type)
{
    switch (type) {
    case AdministratorAccount: return QIcon(QStringLiteral(":/Resources/Admin.png"));
    case TechnicianAccount: return QIcon(QStringLiteral(":/Resources/Operator.png"));
    case OperatorAccount: return QIcon(QStringLiteral(":/Resources/LimitUser.png"));
    default: return {};
    }
}

}  // namespace

UserDialog::UserDialog(int titleRow, UserManager &users, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_users(users)
{
    setModal(true);
    setObjectName(QStringLiteral("userDialog"));
    setStyleSheet(UserStyle::Dialog(QStringLiteral("userDialog")));
    setMinimumWidth(640);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(16);
    m_title = new QLabel(LanStr(titleRow));
    m_title->setStyleSheet(QStringLiteral("font-size: 32px; font-weight: bold;"));
    m_title->setWordWrap(true);
    layout->addWidget(m_title);
    m_body = new QVBoxLayout;
    m_body->setSpacing(14);
    layout->addLayout(m_body, 1);
    m_message = new QLabel;
    m_message->setWordWrap(true);
    m_message->setMinimumHeight(44);
    layout->addWidget(m_message);
    auto *buttons = new QHBoxLayout;
    m_confirm = new QPushButton(LanStr(kRowConfirm));
    m_cancel = new QPushButton(LanStr(kRowCancel));
    for (QPushButton *b : {m_confirm, m_cancel}) {
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        if (!m_close.isActive())
            confirm();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_close.setSingleShot(true);
    m_close.setInterval(kCloseAfterMs);
    connect(&m_close, &QTimer::timeout, this, &QDialog::accept);
}

void UserDialog::showInfo(const QString &text)
{
    m_message->setStyleSheet(UserStyle::kInfo);
    m_message->setText(text);
}

void UserDialog::showError(const QString &text)
{
    m_message->setStyleSheet(UserStyle::kError);
    m_message->setText(text);
}

QLineEdit *UserDialog::addField(int placeholderRow, bool password)
{
    auto *field = new QLineEdit;
    field->setPlaceholderText(LanStr(placeholderRow));
    field->setMinimumHeight(64);
    if (password)
        field->setEchoMode(QLineEdit::Password);
    m_body->addWidget(field);
    return field;
}

QListWidget *UserDialog::addAccountList()
{
    auto *list = new QListWidget;
    list->setIconSize(QSize(48, 48));
    list->setMinimumHeight(220);
    m_body->addWidget(list);
    return list;
}

void UserDialog::fillAccounts(QListWidget *list, int lowest)
{
    list->clear();
    QVector<QString> names;
    QVector<UserType> types;
    m_users.getAllUsersName(names, types);
    for (int i = 0; i < names.size(); ++i)
        if (types[i] >= lowest && types[i] <= OperatorAccount && types[i] >= AdministratorAccount)
            list->addItem(new QListWidgetItem(typeIcon(types[i]), names[i]));
}

QString UserDialog::chosenAccount(const QListWidget *list) const
{
    const QListWidgetItem *item = list->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void UserDialog::success(const QString &text)
{
    if (!text.isEmpty())
        showInfo(text);
    emit succeeded();
    m_close.start();
}

void UserDialog::showEvent(QShowEvent *event)
{
    m_close.stop();
    m_message->clear();
    m_message->setStyleSheet(UserStyle::kInfo);
    reset();
    QDialog::showEvent(event);
}

ChangeUserDialog::ChangeUserDialog(UserManager &users, QWidget *parent) : UserDialog(kRowLogin, users, parent)
{
    m_accounts = addAccountList();
    m_password = addField(kRowPassword, true);
}

void ChangeUserDialog::reset()
{
    fillAccounts(m_accounts, AdministratorAccount);
    m_password->clear();
}

void ChangeUserDialog::confirm()
{
    if (m_password->text().isEmpty()) {
        showError(LanStr(kRowEnterPassword));
        return;
    }
    const QString name = chosenAccount(m_accounts);
    if (name.isEmpty()) {
        showError(LanStr(kRowSelectUser));
        return;
    }
    QString message;
    const bool ok = m_users.changeUser(name, m_password->text(), message);
    m_password->clear();
    if (ok)
        success(message);
    else
        showError(message);
}

AddUserDialog::AddUserDialog(UserManager &users, QWidget *parent) : UserDialog(kRowAdd, users, parent)
{
    m_name = addField(kRowAccountName, false);
    m_password = addField(kRowPassword, true);
    m_repeat = addField(kRowRepeat, true);
    auto *types = new QHBoxLayout;
    m_types = new QButtonGroup(this);
    m_technician = new QPushButton(QIcon(QStringLiteral(":/Resources/Operator.png")), LanStr(kRowTechnician));
    m_operator = new QPushButton(QIcon(QStringLiteral(":/Resources/LimitUser.png")), LanStr(kRowOperator));
    for (QPushButton *b : {m_technician, m_operator}) {
        b->setCheckable(true);
        b->setIconSize(QSize(40, 40));
        b->setFocusPolicy(Qt::NoFocus);
        m_types->addButton(b);
        types->addWidget(b);
    }
    body()->addLayout(types);
}

void AddUserDialog::reset()
{
    for (QLineEdit *f : {m_name, m_password, m_repeat})
        f->clear();
    m_types->setExclusive(false);
    m_technician->setChecked(false);
    m_operator->setChecked(false);
    m_types->setExclusive(true);
    showInfo(LanStr(kRowSelectType));
}

void AddUserDialog::confirm()
{
    if (m_name->text().isEmpty())
        return showError(LanStr(kRowEnterName));
    if (m_password->text().isEmpty())
        return showError(LanStr(kRowEnterPassword));
    if (m_repeat->text().isEmpty())
        return showError(LanStr(kRowEnterAgain));
    if (m_password->text() != m_repeat->text())
        return showError(LanStr(kRowMismatch));
    // No choice asks for an Administrator, which nobody may add.
    const UserType type = m_technician->isChecked() ? TechnicianAccount
                          : m_operator->isChecked() ? OperatorAccount
                                                    : AdministratorAccount;
    QString message;
    if (m_users.addUser(type, m_name->text(), m_password->text(), message))
        success(message);
    else
        showError(message);
}

DeleteUserDialog::DeleteUserDialog(UserManager &users, QWidget *parent) : UserDialog(kRowDelete, users, parent)
{
    m_accounts = addAccountList();
}

void DeleteUserDialog::reset()
{
    fillAccounts(m_accounts, m_users.getUserType() + 1);
    showInfo(LanStr(kRowSelectUser));
}

void DeleteUserDialog::confirm()
{
    QString message;
    if (m_users.deleteUser(chosenAccount(m_accounts), message)) {
        delete m_accounts->takeItem(m_accounts->currentRow());
        success(message);
    } else {
        showError(message);
    }
}

ChangePsdDialog::ChangePsdDialog(UserManager &users, QWidget *parent) : UserDialog(kRowModify, users, parent)
{
    m_old = addField(kRowOldPassword, true);
    m_new = addField(kRowNewPassword, true);
    m_repeat = addField(kRowRepeat, true);
}

void ChangePsdDialog::reset()
{
    title()->setText(LanStr(kRowChangeTitle).arg(m_users.currentName()));
    for (QLineEdit *f : {m_old, m_new, m_repeat})
        f->clear();
}

void ChangePsdDialog::confirm()
{
    if (m_old->text().isEmpty())
        return showError(LanStr(kRowEnterOld));
    if (m_new->text().isEmpty())
        return showError(LanStr(kRowEnterNew));
    if (m_new->text() != m_repeat->text())
        return showError(LanStr(kRowMismatch));
    QString message;
    const bool ok = m_users.changeUserPassword(m_old->text(), m_new->text(), message);
    for (QLineEdit *f : {m_old, m_new, m_repeat})
        f->clear();
    if (ok)
        success(message);
    else
        showError(message);
}

AllocateDialog::AllocateDialog(UserManager &users, QWidget *parent) : UserDialog(kRowAssign, users, parent)
{
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(48);
    const int heads[2] = {kRowTechnician, kRowOperator};
    for (int column = 0; column < 2; ++column) {
        auto *head = new QLabel(LanStr(heads[column]));
        head->setStyleSheet(QStringLiteral("font-size: 26px; font-weight: bold;"));
        grid->addWidget(head, 0, column);
        for (int flag = 0; flag < 7; ++flag) {
            auto *box = new QCheckBox(LanStr(kPermissionRows[flag]));
            box->setFocusPolicy(Qt::NoFocus);
            grid->addWidget(box, flag + 1, column);
            m_boxes[column][flag] = box;
        }
    }
    body()->addLayout(grid);
}

void AllocateDialog::reset()
{
    for (int column = 0; column < 2; ++column) {
        int flags[7];
        m_users.getallPermission(flags, column == 0 ? 1 : 0);
        for (int flag = 0; flag < 7; ++flag)
            m_boxes[column][flag]->setChecked(flags[flag] == 1);
    }
}

void AllocateDialog::confirm()
{
    int technician[7], operatorFlags[7];
    for (int flag = 0; flag < 7; ++flag) {
        technician[flag] = m_boxes[0][flag]->isChecked() ? 1 : 0;
        operatorFlags[flag] = m_boxes[1][flag]->isChecked() ? 1 : 0;
    }
    m_users.RecordPermission(technician, operatorFlags);
    success(QString());
}

MessageDialog::MessageDialog(const QString &title, const QString &text, bool withCancel, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setModal(true);
    setObjectName(QStringLiteral("messageDialog"));
    setStyleSheet(UserStyle::Dialog(QStringLiteral("messageDialog")));
    setMinimumWidth(520);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(20);
    auto *head = new QLabel(title);
    head->setStyleSheet(QStringLiteral("font-size: 32px; font-weight: bold; color: #e0a020;"));
    layout->addWidget(head);
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    layout->addWidget(label, 1);
    auto *buttons = new QHBoxLayout;
    if (withCancel) {
        auto *cancel = new QPushButton(LanStr(kRowCancel));
        cancel->setFocusPolicy(Qt::NoFocus);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(cancel);
    }
    auto *confirm = new QPushButton(LanStr(kRowConfirm));
    confirm->setFocusPolicy(Qt::NoFocus);
    connect(confirm, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(confirm);
    layout->addLayout(buttons);
}
