// The system-parameter screen in the running station: accept records each change and saves it,
// cancel keeps the live record, parameter groups, the language switch and power off.
#include "tests/station/stationfixture.h"

#include "core/globals.h"
#include "core/systemgateway.h"
#include "params/paraclauses.h"
#include "tests/support/testport.h"
#include "camera/cameraglobals.h"
#include "ui/network/hardwareconfigurationwidget.h"
#include "ui/network/othernetwidget.h"
#include "ui/network/widgetchangecamera.h"
#include "ui/io/customionamewidget.h"
#include "ui/io/iowidget.h"
#include "ui/prompt.h"
#include "ui/settings/wizardparawidget.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/editbox.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

using Settings = StationScenario;

// Answers the questions in the order given, then NO.
class SequencePort : public TestOperatorPort
{
public:
    bool ask(const QString &question) override
    {
        questions << question;
        return !answers.isEmpty() && answers.takeFirst();
    }
    QList<bool> answers;
};

WizardParaWidget &settingsOf(MoJuWizard &window)
{
    return *static_cast<WizardParaWidget *>(window.panel(MoJuWizard::SettingsPanel));
}

// A row of PARAM.db as stored, read through a connection of the test's own.
QString stored(const QString &name)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("settingsTest"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select value from sysparam where name=?"));
            q.addBindValue(name);
            if (q.exec() && q.next())
                value = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("settingsTest"));
    return value;
}

int storedWord(const QString &row, int position) { return stored(row).split(QLatin1Char(' ')).value(position - 1).toInt(); }

}  // namespace

// Level 1 opens the screen; "Temp number" 10 -> 12: a refused question saves nothing and cancel
// keeps the live record; accepted, the exact record row and the saved value appear, and the words
// 240-479 that the screen did not touch survive. The IO page wants the service code.
TEST_F(Settings, AcceptRecordsTheChangeAndCancelKeepsTheLiveRecord)
{
    setParams([](WizardPara &p) {
        p.max_mold_num = 10;
        p.is_psw_used = 1;
        p.custom_stage_source[2] = 5;
        p.io_name_index[3] = 7;
        p.h_mirror[1] = 1;
        p.cycle_records = 1;
    });
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;
    WizardParaWidget &settings = settingsOf(window());
    WizardPara before = *gpWPara;

    window().SlotSystemPara();
    ASSERT_FALSE(settings.isHidden());
    EXPECT_EQ(port.passwordLevels, QList<int>{1});
    EXPECT_EQ(settings.currentPage(), WizardParaWidget::CommonPage);
    auto *templates = qobject_cast<EditBox *>(settings.fieldOf(105));
    ASSERT_TRUE(templates);
    EXPECT_EQ(templates->value(), 10);

    port.passwordOk = false;
    port.oneTimeResult = 0;
    settings.SlotToIO();
    EXPECT_EQ(settings.currentPage(), WizardParaWidget::CommonPage) << "no service code, no IO page";

    templates->setValue(12);
    port.answer = false;
    settings.accept();
    EXPECT_EQ(port.questions, QStringList{LanStr(234)});
    EXPECT_EQ(gpWPara->max_mold_num, 10);
    settings.reject();
    EXPECT_TRUE(settings.isHidden());
    EXPECT_EQ(gpWPara->max_mold_num, 10);
    EXPECT_EQ(storedWord(QStringLiteral("system2"), 2), 10);

    port.passwordOk = true;
    window().SlotSystemPara();
    EXPECT_EQ(templates->value(), 10) << "reopened on the live values";
    templates->setValue(12);
    port.answer = true;
    settings.accept();
    EXPECT_TRUE(settings.isHidden());
    EXPECT_TRUE(records().contains(QStringLiteral("Modify the system parameters, Temp number is changed from 10 to 12")))
        << records().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(gpWPara->max_mold_num, 12);
    EXPECT_EQ(storedWord(QStringLiteral("system2"), 2), 12);
    before.max_mold_num = 12;
    for (int w = 240; w < WizardPara::kWords; ++w)
        EXPECT_EQ(gpWPara->word(w), before.word(w)) << "word " << w;
    EXPECT_EQ(storedWord(QStringLiteral("system12"), 2), 1) << "mirror of camera 2";
    EXPECT_EQ(storedWord(QStringLiteral("system12"), 21), 1) << "cycle records";

    // The lighting switch: accepting its change trains every camera's regions again, nothing else does.
    int retrained = 0;
    const auto retrain = settings.hooks().retrainAll;
    settings.hooks().retrainAll = [&] { ++retrained; retrain(); };
    window().SlotSystemPara();
    auto *lighting = qobject_cast<QCheckBox *>(settings.fieldOf(419));
    ASSERT_TRUE(lighting);
    EXPECT_FALSE(lighting->isChecked()) << "off from the factory";
    lighting->setChecked(true);
    settings.accept();
    EXPECT_EQ(storedWord(QStringLiteral("system3"), 12), 1);
    window().SlotSystemPara();
    templates->setValue(11);
    settings.accept();
    EXPECT_EQ(retrained, 1);
}

// A group is backed up and restored with its regions and PARAM.db, the station restarting through
// the gateway; a name leaving the group folder and deleting the factory group are refused.
TEST_F(Settings, ParameterGroupsRoundTrip)
{
    setParams([](WizardPara &p) { p.max_mold_num = 10; });
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;
    int restarts = 0;
    SystemGateway::setRestartHandler([&] { ++restarts; });
    SystemGateway::clearRecorded();
    WizardParaWidget &settings = settingsOf(window());
    window().SlotSystemPara();
    QDir().mkpath(QStringLiteral("cammer11"));
    QFile marker(QStringLiteral("cammer11/ignore1.bmp"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write("taught");
    marker.close();

    settings.groupNameEdit()->setText(QStringLiteral("../x"));
    settings.SlotParaGroupBackup();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("x")));
    EXPECT_EQ(port.warnings.value(0), LanStr(1409));

    settings.groupNameEdit()->setText(QStringLiteral("mouldA"));
    settings.SlotParaGroupBackup();
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("paraGroup/mouldA/PARAM.db")));
    EXPECT_EQ(readFile(QStringLiteral("paraGroup/mouldA/cammer11/ignore1.bmp")), QStringLiteral("taught"));

    settings.groupList()->setCurrentText(QStringLiteral("default"));
    settings.SlotParaGroupDelete();
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("paraGroup/default/PARAM.db")));
    EXPECT_EQ(port.warnings.value(1), LanStr(1410));

    // The station moves on, then the group comes back.
    gpWPara->max_mold_num = 33;
    ASSERT_TRUE(gpWPara->SaveDatatoFile());
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly | QIODevice::Truncate));
    marker.write("changed");
    marker.close();
    // A damaged group is refused: no restart, the station keeps its set and can still save it.
    QDir().mkpath(QStringLiteral("paraGroup/broken"));
    QFile broken(QStringLiteral("paraGroup/broken/PARAM.db"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    settings.ParaGroupUpdateList();
    settings.groupList()->setCurrentText(QStringLiteral("broken"));
    settings.SlotParaGroupRestore();
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(port.warnings.value(2), LanStr(1411));
    EXPECT_EQ(readFile(QStringLiteral("cammer11/ignore1.bmp")), QStringLiteral("changed"));
    EXPECT_TRUE(gpWPara->SaveDatatoFile());
    EXPECT_EQ(storedWord(QStringLiteral("system2"), 2), 33);

    settings.groupList()->setCurrentText(QStringLiteral("mouldA"));
    settings.SlotParaGroupRestore();
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("reboot")));
    EXPECT_EQ(storedWord(QStringLiteral("system2"), 2), 10);
    EXPECT_EQ(readFile(QStringLiteral("cammer11/ignore1.bmp")), QStringLiteral("taught"));
    EXPECT_TRUE(records().contains(QStringLiteral("Restore the parameter group to mouldA")));
    SystemGateway::setRestartHandler(nullptr);
}

// The language switch records in the old language, saves the new one and restarts; power off
// answered "no" to the restart question ends in "init 0" at the gateway.
TEST_F(Settings, LanguageSwitchAndPowerOff)
{
    ASSERT_NO_FATAL_FAILURE(start());
    SequencePort port;
    int restarts = 0, powerOffs = 0;
    SystemGateway::setRestartHandler([&] { ++restarts; });
    SystemGateway::setPowerOffHandler([&] { ++powerOffs; });
    SystemGateway::clearRecorded();
    WizardParaWidget &settings = settingsOf(window());
    window().SlotSystemPara();

    settings.SlotChangeLan(1);
    EXPECT_TRUE(port.questions.isEmpty()) << "the language in use is no switch";
    port.answers = {true};
    settings.SlotChangeLan(0);
    EXPECT_EQ(port.questions, QStringList{QStringLiteral("Switch language then restart?")});
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(gLan, 0);
    EXPECT_EQ(storedWord(QStringLiteral("system2"), 13), 0);
    EXPECT_TRUE(records().contains(QStringLiteral("Switch language then restart")));

    gLan = 1;
    port.questions.clear();
    port.answers = {true, false};
    settings.SlotShutDown();
    EXPECT_EQ(port.questions, (QStringList{LanStr(291), LanStr(293)}));
    EXPECT_EQ(powerOffs, 1);
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("init 0")));
    EXPECT_TRUE(records().contains(LanStr(292)));

    // The clock: set through the gateway, kept in realytime.txt for the start-up check, restart.
    const QDateTime set(QDate(2027, 1, 2), QTime(3, 4, 5));
    Prompt::SetAnswerer([&](const Prompt::Asked &) { return QVariant(set); });
    settings.SlotModifyTime();
    Prompt::SetAnswerer(nullptr);
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("date -s 2027-01-02 03:04:05")));
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("hwclock -w")));
    EXPECT_EQ(readFile(QStringLiteral("realytime.txt")), QString::number(set.toMSecsSinceEpoch()));
    EXPECT_EQ(restarts, 2);
    EXPECT_TRUE(records().contains(LanStr(401)));
    SystemGateway::setRestartHandler(nullptr);
    SystemGateway::setPowerOffHandler(nullptr);
}

// Every page in every language: buttons a finger can hit and fields that do not overlap. With
// MOULD_SCREENSHOT_DIR set, each page is saved there as a PNG to look at.
TEST_F(Settings, PagesAreLaidOutForTouchInAllLanguages)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;
    const QString shots = qEnvironmentVariable("MOULD_SCREENSHOT_DIR");
    for (int lan = 0; lan < 3; ++lan) {
        gLan = lan;
        WizardParaWidget screen(window().operationRecord());
        screen.setGeometry(0, 0, 1920, 1080);
        screen.show();
        screen.Open();
        for (int page = 0; page < WizardParaWidget::PageCount; ++page) {
            SCOPED_TRACE(QStringLiteral("language %1 page %2").arg(lan).arg(page).toStdString());
            screen.pageButton(page)->click();
            ASSERT_EQ(screen.currentPage(), page);
            settle(50);  // lays the page out
            QWidget *content = screen.page(page);
            for (QPushButton *button : content->findChildren<QPushButton *>())
                if (button->isVisible() && button->text().size() > 2)
                    EXPECT_GE(button->height(), 60) << button->text().toStdString();
            QList<QWidget *> fields;
            for (QWidget *child : content->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                if (child->isVisible())
                    fields << child;
            for (int a = 0; a < fields.size(); ++a)
                for (int b = a + 1; b < fields.size(); ++b)
                    EXPECT_FALSE(fields[a]->geometry().intersects(fields[b]->geometry()))
                        << fields[a]->metaObject()->className() << " / " << fields[b]->metaObject()->className();
            if (!shots.isEmpty())
                screen.grab().save(QStringLiteral("%1/settings-%2-%3.png").arg(shots).arg(lan).arg(page));
        }
    }
    gLan = 1;
}

// A program update takes only a readable archive of a known type and restarts into it; the
// factory restore needs its archive; a screen still missing says so; a new password is recorded
// as modified, never written out.
TEST_F(Settings, UpdatesPasswordsAndMissingScreens)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;
    int restarts = 0;
    SystemGateway::setRestartHandler([&] { ++restarts; });
    SystemGateway::clearRecorded();
    WizardParaWidget &settings = settingsOf(window());
    window().SlotSystemPara();

    settings.passwordEdit(0)->setText(QStringLiteral("it's new"));
    settings.passwordEdit(1)->setText(QStringLiteral("its new"));
    settings.ChangePwd();
    EXPECT_EQ(port.warnings.value(0), LanStr(280));
    settings.passwordEdit(1)->setText(QStringLiteral("it's new"));
    settings.ChangePwd();
    EXPECT_EQ(port.warnings.value(1), LanStr(279));
    settings.accept();
    EXPECT_EQ(ParaText(gpWPara->password), QStringLiteral("it's new"));
    EXPECT_TRUE(records().contains(QStringLiteral("Modify the system parameters, the password has been modified")));
    EXPECT_EQ(stored(QStringLiteral("password")), QStringLiteral("it's new"));
    port.warnings.clear();
    window().SlotSystemPara();  // the restarts below close the databases, as before a real restart

    QString chosen;
    settings.hooks().chooseUpdateArchive = [&] { return chosen; };
    QFile fake(QStringLiteral("usb-fake.tar.gz"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write(QByteArray(200, 'x'));
    fake.close();
    chosen = fake.fileName();
    settings.SlotUpdateApp();
    EXPECT_EQ(port.warnings.value(0), LanStr(1413));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("newupdate.tar.gz")));
    EXPECT_EQ(restarts, 0);

    QFile archive(QStringLiteral("usb update.tgz"));
    ASSERT_TRUE(archive.open(QIODevice::WriteOnly));
    archive.write(QByteArray("\x1f\x8b\x08\x00", 4) + QByteArray(200, 'a'));
    archive.close();
    chosen = archive.fileName();
    settings.SlotUpdateApp();
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(QFileInfo(QStringLiteral("newupdate.tar.gz")).size(), 204);
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("sync")));

    QFile::remove(QStringLiteral("paraGroup/default/20clearsh.tar.gz"));
    settings.SlotRestoreFactorySet();
    EXPECT_EQ(port.warnings.value(1), LanStr(1422));
    EXPECT_EQ(restarts, 1);

    // The hardware information opens its screen over the settings.
    settings.SlotShowHardwareConfigurationWidget();
    EXPECT_EQ(port.warnings.size(), 2);
    auto *hardware = window().findChild<HardwareConfigurationWidget *>();
    ASSERT_TRUE(hardware);
    EXPECT_FALSE(hardware->isHidden());
    hardware->slotConfirm();

    SystemGateway::setRestartHandler(nullptr);
}

// The network screen's pages are saved with the parameters on accept; the renumbering keeps the
// new numbers and goes on to the power-off question.
TEST_F(Settings, NetworkScreenAndRenumberingFromTheSettings)
{
    ASSERT_NO_FATAL_FAILURE(start());
    SequencePort port;
    WizardParaWidget &settings = settingsOf(window());
    window().SlotSystemPara();
    settings.SlotShowOtherNet();
    auto *network = static_cast<OtherNetWidget *>(window().panel(MoJuWizard::NetworkPanel));
    ASSERT_FALSE(network->isHidden());
    network->techName()->setText(QStringLiteral("Zhang"));
    network->SlotCloseWgt();
    port.answers = {true};
    settings.accept();
    EXPECT_EQ(stored(QStringLiteral("CntNet_MsgTechName")), QStringLiteral("Zhang"));

    window().SlotSystemPara();
    settings.SlotShowChangeCamera();
    auto *renumber = static_cast<WidgetChangeCamera *>(window().panel(MoJuWizard::CameraAssignmentPanel));
    ASSERT_FALSE(renumber->isHidden());
    renumber->SetCameraNO(0, 1);
    renumber->SetCameraNO(1, 0);
    port.answers = {false};  // the power-off question
    renumber->SlotOK();
    EXPECT_TRUE(renumber->isHidden());
    EXPECT_EQ(port.questions.last(), LanStr(291));
    EXPECT_EQ(gCamNO[0], 1);
    EXPECT_EQ(gCamNO[1], 0);
    for (int i = 0; i < 8; ++i)
        gCamNO[i] = i;
}

// The IO screens open from the IO page and write the edit copy; the stage count they set is the one
// the settings screen shows and saves, and the live record takes it all only on accept.
TEST_F(Settings, IoScreensReachTheSavedRecordThroughTheSettings)
{
    setParams([](WizardPara &p) {
        p.custom_stage_count = 5;
        const int sources[8] = {0, 0, 1, 2, 3, -1, -1, -1};
        std::copy(std::begin(sources), std::end(sources), p.custom_stage_source);
    });
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;
    WizardParaWidget &settings = settingsOf(window());
    auto *stages = qobject_cast<IOWidget *>(window().panel(MoJuWizard::IoSettingsPanel));
    auto *names = qobject_cast<CustomIONameWidget *>(window().panel(MoJuWizard::IoNamesPanel));
    ASSERT_TRUE(stages && names);

    window().SlotSystemPara();
    settings.SlotToIO();
    ASSERT_EQ(settings.currentPage(), WizardParaWidget::IoPage);
    settings.SlotShowIOWidget();
    ASSERT_FALSE(stages->isHidden());
    EXPECT_TRUE(settings.isHidden());
    EXPECT_TRUE(port.warnings.isEmpty());
    stages->stageCountBox()->setCurrentIndex(1);  // three stages: rows 4 and 5 are dropped
    emit stages->stageCountBox()->activated(1);
    stages->accept();
    EXPECT_TRUE(stages->isHidden());
    ASSERT_FALSE(settings.isHidden());
    EXPECT_EQ(gpWPara->custom_stage_count, 5);

    settings.SlotShowCustomIONameWidget();
    ASSERT_FALSE(names->isHidden());
    names->nameBox(9)->setCurrentIndex(12);
    names->accept();
    ASSERT_FALSE(settings.isHidden());

    settings.accept();
    EXPECT_TRUE(settings.isHidden());
    EXPECT_EQ(gpWPara->custom_stage_count, 3);
    EXPECT_EQ(gpWPara->custom_stage_source[3], -1);
    EXPECT_EQ(gpWPara->custom_stage_source[4], -1);
    EXPECT_EQ(gpWPara->io_name_index[9], 12);
    EXPECT_EQ(storedWord(QStringLiteral("system8"), 1), 3);
    EXPECT_EQ(storedWord(QStringLiteral("system9"), 4), -1);
    EXPECT_EQ(storedWord(QStringLiteral("system10"), 10), 12);
}
