// The "Manage users" page and its dialogs: what each account type is offered, the checks and
// message styles of the dialogs, and the password prompts. MOULD_SCREENSHOTS=<dir> saves them.
#include "ui/users/drawuserwidget.h"
#include "ui/users/passwordbox.h"
#include "ui/users/userdialogs.h"
#include "ui/users/userstyle.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/keypads.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "users/loginlevels.h"
#include "users/servicecode.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

class UsersPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FillTextTable();
        gLan = 1;
        users.connectDatabase();
        users.LogOut();
        m_page = std::make_unique<DrawUserWidget>(users);  // after the texts are filled
        m_page->resize(1280, 800);
    }
    void TearDown() override { users.closeDatabase(); }

    void login(const char *name, const char *password)
    {
        QString message;
        ASSERT_TRUE(users.changeUser(name, password, message));
        page().Refresh();
    }
    static void grab(QWidget &w, const char *name)
    {
        if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
            w.grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
    }

    TempStation station{false};
    TestOperatorPort port;
    UserManager &users = UserManager::instance();
    std::unique_ptr<DrawUserWidget> m_page;
    DrawUserWidget &page() { return *m_page; }
};

TEST_F(UsersPage, OffersFollowTheAccountType)
{
    QString message;
    login("admin", "8395");
    ASSERT_TRUE(users.addUser(TechnicianAccount, "tech", "t", message));
    ASSERT_TRUE(users.addUser(OperatorAccount, "op", "o", message));
    users.LogOut();
    page().Refresh();
    page().show();
    const struct { const char *name, *user, *password; bool add, modify, del, assign; const char *login; } rows[] = {
        {"loggedOut", nullptr, nullptr, false, false, false, false, "Login"},
        {"operator", "op", "o", false, true, false, false, "Switch account"},
        {"technician", "tech", "t", true, true, true, false, "Switch account"},
        {"administrator", "admin", "8395", true, true, true, true, "Switch account"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        if (r.user)
            login(r.user, r.password);
        EXPECT_EQ(page().account()->text(), QStringLiteral("current account  [%1]").arg(r.user ? r.user : " "));
        EXPECT_EQ(page().addButton()->isVisible(), r.add);
        EXPECT_EQ(page().modifyButton()->isVisible(), r.modify);
        EXPECT_EQ(page().deleteButton()->isVisible(), r.del);
        EXPECT_EQ(page().assignButton()->isVisible(), r.assign);
        EXPECT_EQ(page().loginButton()->text(), QLatin1String(r.login));
        EXPECT_GE(page().loginButton()->height(), 60);
        grab(page(), (std::string("users-page-") + r.name).c_str());
    }
    // The delete list holds only the types below the current one; "LogOut" is never listed.
    page().deleteButton()->click();
    QListWidget *list = page().deleteUserDialog()->accounts();
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed << list->item(i)->text();
    EXPECT_EQ(listed, (QStringList{"tech", "op"}));
    EXPECT_FALSE(list->item(0)->icon().isNull());
    grab(*page().deleteUserDialog(), "users-delete");
    page().deleteUserDialog()->reject();
}

// The add dialog's checks in order, then the call; errors in red, success in blue and closing.
TEST_F(UsersPage, AddDialogChecksThenAddsAndCloses)
{
    login("admin", "8395");
    AddUserDialog &add = *page().addUserDialog();
    page().addButton()->click();
    EXPECT_EQ(add.message()->text(), QStringLiteral("Please select a user type"));
    grab(add, "users-add");
    const struct { const char *name, *user, *password, *repeat; bool technician; const char *message; bool ok; } rows[] = {
        {"noTypeAsksForAnAdministrator", "t1", "1", "1", false, "You do not have permission to add this account!", false},
        {"noName", "", "1", "1", true, "Please enter your account name!", false},
        {"noPassword", "t1", "", "1", true, "Please enter your password!", false},
        {"noRepeat", "t1", "1", "", true, "Please enter your password again!", false},
        {"mismatch", "t1", "1", "2", true, "The two entered passwords did not match!", false},
        {"added", "t1", "1", "1", true, "Account added successfully!", true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        add.name()->setText(r.user);
        add.password()->setText(r.password);
        add.repeat()->setText(r.repeat);
        if (r.technician)
            add.technician()->setChecked(true);
        add.confirmButton()->click();
        EXPECT_EQ(add.message()->text(), QLatin1String(r.message));
        EXPECT_EQ(add.message()->styleSheet(), r.ok ? UserStyle::kInfo : UserStyle::kError);
        EXPECT_EQ(add.closeTimer().isActive(), r.ok);
    }
    grab(add, "users-add-done");
}

TEST_F(UsersPage, LoginPasswordAndPermissionDialogs)
{
    page().loginButton()->click();
    ChangeUserDialog &change = *page().changeUserDialog();
    ASSERT_EQ(change.accounts()->count(), 1);  // only "admin": "LogOut" is never listed
    change.accounts()->setCurrentRow(0);
    change.confirmButton()->click();
    EXPECT_EQ(change.message()->text(), QStringLiteral("Please enter your password!"));
    change.password()->setText("0000");
    change.confirmButton()->click();
    EXPECT_EQ(change.message()->text(), QStringLiteral("Password error!"));
    grab(change, "users-login");
    change.password()->setText("8395");
    change.confirmButton()->click();
    EXPECT_EQ(users.currentName(), QStringLiteral("admin"));
    EXPECT_EQ(page().loginButton()->text(), QStringLiteral("Switch account")) << "the page refreshes";

    page().modifyButton()->click();
    ChangePsdDialog &psd = *page().changePsdDialog();
    EXPECT_EQ(psd.title()->text(), QStringLiteral("Example Change the password of user [admin]"));
    psd.oldPassword()->setText("8395");
    psd.confirmButton()->click();
    EXPECT_EQ(psd.message()->text(), QStringLiteral("Please enter new password!"));
    grab(psd, "users-password");
    psd.reject();

    int technician[7] = {0, 1, 0, 0, 0, 0, 1}, operatorFlags[7] = {};
    users.RecordPermission(technician, operatorFlags);
    page().assignButton()->click();
    AllocateDialog &allocate = *page().allocateDialog();
    EXPECT_TRUE(allocate.box(0, 1)->isChecked());
    EXPECT_FALSE(allocate.box(1, 1)->isChecked());
    EXPECT_EQ(allocate.box(0, 4)->text(), QStringLiteral("Don't Detect"));
    grab(allocate, "users-allocate");
    allocate.box(1, 2)->setChecked(true);
    allocate.confirmButton()->click();
    int read[7];
    users.getallPermission(read, 0);
    EXPECT_EQ(read[2], 1);
    EXPECT_TRUE(allocate.closeTimer().isActive());
    allocate.reject();
    MessageDialog denial(LanStr(639), LanStr(640), true);
    grab(denial, "users-denial");
}

// The password box sets the level and stays open on a wrong password; the one-time prompt answers
// without changing the level.
TEST_F(UsersPage, PasswordPrompts)
{
    WizardPara para;
    std::strcpy(para.password, "1234");
    para.is_psw_used = 1;
    gpWPara = &para;
    LoginLevels levels;
    PasswordBox box(levels);
    CreateKeypads();
    box.show();
    QTest::qWait(50);
    ASSERT_EQ(gpNumCharPad->target(), box.field()) << "the text pad comes up with the prompt";
    for (const char *key : {"1", "2", "3"})
        QTest::mouseClick(gpNumCharPad->key(QLatin1String(key)), Qt::LeftButton);
    EXPECT_EQ(box.field()->text(), QStringLiteral("123"));
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty()) {
        // The prompt and its pad as they stand on the screen.
        QImage shot(QSize(std::max(box.width(), gpNumCharPad->x() - box.x() + gpNumCharPad->width()),
                          gpNumCharPad->y() - box.y() + gpNumCharPad->height()), QImage::Format_RGB32);
        shot.fill(Qt::black);
        QPainter painter(&shot);
        painter.drawPixmap(0, 0, box.grab());
        painter.drawPixmap(gpNumCharPad->pos() - box.pos(), gpNumCharPad->grab());
        painter.end();
        shot.save(dir + QStringLiteral("/users-password-keypad.png"));
    }
    QTest::mouseClick(gpNumCharPad->key(LanStr(121)), Qt::LeftButton);  // the pad's "Confirm"
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(gpNumCharPad->target(), box.field()) << "after a wrong password the pad is back";
    EXPECT_EQ(box.field()->placeholderText(), QStringLiteral("The password is wrong"));
    EXPECT_EQ(box.field()->text(), QString());
    grab(box, "users-password-box");
    box.field()->setText(ServiceCode::Station(QDateTime::currentDateTime()));
    box.confirmButton()->click();
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(levels.level(), 2);
    EXPECT_EQ(box.field()->placeholderText(), QStringLiteral("Password:"));

    PasswordDialog once(levels);
    PasswordPrompt::setAnswerer([n = 0](const PasswordPrompt &) mutable { return QString(n++ ? "1234" : "1"); });
    EXPECT_EQ(once.exec(), QDialog::Accepted);
    EXPECT_EQ(once.passwordResult(), 1);
    EXPECT_EQ(levels.level(), 2);
    PasswordPrompt::setAnswerer(nullptr);
    gpWPara = nullptr;
}

}  // namespace
