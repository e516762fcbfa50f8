// The IO screens: the stage settings and the IO names over the edit copy, the status bar's texts
// and lamps, and their layout. MOULD_GRAB_DIR=<folder> saves each screen there as a PNG.
#include "ui/io/customionamewidget.h"
#include "ui/io/iostatuswidget.h"
#include "ui/io/iowidget.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "cycle/inspectioncycle.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/colorbutton.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMutexLocker>
#include <QRegion>
#include <QTest>

namespace {

class IoScreens : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FillTextTable();
        CreateSharedMutexes();
    }
    void SetUp() override
    {
        gLan = 1;
        live.work_mode = live.work_mode_next = 4;
        live.custom_stage_count = 3;
        const int sources[8] = {0, 0, 1, 3, 4, 5, 6, 7};  // rows 3-7 left from a larger count
        std::copy(std::begin(sources), std::end(sources), live.custom_stage_source);
        for (int s = 0; s < 8; ++s)
            live.trigger_source_input[s] = s;
        live.cycle_start_input1_only = 1;
        for (int i = 0; i < 16; ++i)
            live.io_name_index[i] = i % 8;
        live.io_name_index[3] = 99;  // outside the name table
        edit = live;
        gpWPara = &live;
        gpWParaBak = &edit;
        window.resize(1280, 800);
        settings = new QWidget(&window);
        settings->setGeometry(window.rect());
        window.show();
    }
    void TearDown() override
    {
        gpWPara = gpWParaBak = nullptr;
        QMutexLocker lock(pMutexIO);
        gDataIn = gDataOut = 0;
    }
    static void choose(ComboBox *box, int index)
    {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    static void grab(QWidget *w, const QString &name)
    {
        if (const QByteArray dir = qgetenv("MOULD_GRAB_DIR"); !dir.isEmpty())
            w->grab().save(QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(dir), name));
    }

    TempStation station;
    TestOperatorPort port;
    WizardPara live, edit;
    QWidget window;
    QWidget *settings = nullptr;
};

// Every caption fits a 60-pixel touch target inside the screen and nothing overlaps.
void expectTargets(QWidget *window, const QList<QWidget *> &targets)
{
    QRegion taken;
    for (QWidget *w : targets) {
        if (!w->isVisible())
            continue;
        const QRect area(w->mapTo(window, QPoint()), w->size());
        SCOPED_TRACE(w->metaObject()->className());
        EXPECT_GE(area.height(), 60);
        EXPECT_TRUE(window->rect().contains(area)) << area.x() << "," << area.y() << " " << area.width();
        EXPECT_FALSE(taken.intersects(area));
        taken += area;
    }
}

}  // namespace

// Count, triggers, outputs and the last-stage check, then Confirm: only the edit copy changes,
// the hidden rows hold no source and the settings screen comes back.
TEST_F(IoScreens, StageSettingsFlow)
{
    IOWidget dialog(&window);
    dialog.open(settings);
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(dialog.stageCountBox()->currentIndex(), 1);
    EXPECT_FALSE(dialog.row(3)->isVisible());
    EXPECT_FALSE(dialog.notSequentialBox()->isChecked());
    EXPECT_EQ(dialog.redetectLabel()->text(), QStringLiteral("re-detect Neu A I"));  // output 4's name
    EXPECT_EQ(dialog.outputHeader(2)->text(), QStringLiteral("Output 4\nNeu A I"));
    // Row 3 offers the inputs from the source of row 2 (input 1) on.
    EXPECT_EQ(dialog.row(2)->triggerBox()->count(), 9);
    EXPECT_EQ(dialog.row(2)->triggerBox()->itemText(2), QStringLiteral("3 clo door"));

    // Four stages: the fourth appears without a trigger; Confirm refuses and says why.
    choose(dialog.stageCountBox(), 2);
    ASSERT_TRUE(dialog.row(3)->isVisible());
    EXPECT_EQ(dialog.row(3)->shownSource(), -1);
    QTest::mouseClick(dialog.confirmButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(port.warnings, QStringList{LanStr(512)});
    EXPECT_EQ(edit.custom_stage_count, 3);

    // Row 2 moves to input 4: row 3 (input 3) loses its trigger, row 4 offers from input 4 on.
    choose(dialog.row(1)->triggerBox(), 3);
    EXPECT_EQ(dialog.row(1)->shownSource(), 2);
    EXPECT_EQ(dialog.row(2)->shownSource(), -1);
    choose(dialog.row(3)->triggerBox(), 2);
    EXPECT_EQ(dialog.row(3)->shownSource(), 3);
    choose(dialog.row(3)->cutModeBox(), 4);

    // Output 6 ticked in stage 1 is out of reach of stage 2 until stage 1 lets it go.
    CheckBox *first = dialog.row(0)->outputBox(4), *second = dialog.row(1)->outputBox(4);
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(20, 30));
    EXPECT_TRUE(first->isChecked());
    EXPECT_FALSE(second->isEnabled());
    grab(&window, QStringLiteral("iostages-flow"));
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(20, 30));
    EXPECT_FALSE(second->isChecked());
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(20, 30));
    EXPECT_TRUE(second->isEnabled());
    QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
    for (int stage = 0; stage < 4; ++stage)
        for (int k = 0; k < 8; ++k)
            EXPECT_FALSE(dialog.row(stage)->outputBox(k)->isChecked());
    dialog.notSequentialBox()->setChecked(true);

    QTest::mouseClick(dialog.confirmButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(edit.custom_stage_count, 4);
    const int written[8] = {0, 2, -1, 3, -1, -1, -1, -1};
    for (int stage = 0; stage < 8; ++stage)
        EXPECT_EQ(edit.custom_stage_source[stage], written[stage]) << stage;
    EXPECT_EQ(edit.trigger_source_kind[3], 4);
    EXPECT_EQ(edit.cycle_start_input1_only, 0);
    EXPECT_EQ(live.custom_stage_count, 3) << "the live record waits for the settings screen";

    // Cancel leaves the edit copy as it was.
    dialog.open(settings);
    choose(dialog.stageCountBox(), 6);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(edit.custom_stage_count, 4);
}

// The names show the stored choices (one outside the table as the first name); Cancel keeps the
// edit copy, Confirm writes all sixteen into it and nothing into the live record.
TEST_F(IoScreens, CustomNamesFlow)
{
    CustomIONameWidget dialog(&window);
    dialog.open(settings);
    EXPECT_EQ(dialog.terminalLabel(10)->text(), QStringLiteral("Output 4"));
    EXPECT_EQ(dialog.nameBox(2)->currentText(), QStringLiteral("op door"));
    EXPECT_EQ(dialog.nameBox(3)->currentIndex(), 0);
    dialog.nameBox(0)->setCurrentIndex(15);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(edit.io_name_index[0], 0);
    EXPECT_TRUE(settings->isVisible());

    dialog.open(settings);
    EXPECT_EQ(dialog.nameBox(0)->currentIndex(), 0);
    dialog.nameBox(0)->setCurrentIndex(15);
    dialog.nameBox(15)->setCurrentIndex(13);
    QTest::mouseClick(dialog.confirmButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(edit.io_name_index[0], 15);
    EXPECT_EQ(edit.io_name_index[3], 0);
    EXPECT_EQ(edit.io_name_index[15], 13);
    EXPECT_EQ(live.io_name_index[0], 0);
    EXPECT_EQ(live.io_name_index[3], 99);
}

// The bar: lamps with the level sense applied, names, login, group, time and cycle; a touch logs out.
TEST_F(IoScreens, StatusBarTexts)
{
    int level = 2, logouts = 0;
    IOStatusWidget::Source source;
    source.loginLevel = [&] { return level; };
    source.logout = [&] {
        ++logouts;
        level = 0;
    };
    source.cycleTimeTenths = [] { return 123; };
    IOStatusWidget bar(source, &window);
    bar.setGeometry(0, 800 - IOStatusWidget::BarHeight(1280), 1280, IOStatusWidget::BarHeight(1280));
    bar.show();

    live.work_mode = 0;
    live.input_level[1] = 1;   // input 2 active low
    live.output_level[0] = 1;  // output 1 inverted
    for (int i = 0; i < 18; ++i)
        gaName[i] = QStringLiteral("S%1").arg(i);
    gaName[2] = QStringLiteral("Back\r\x1b[2J");  // a name.txt line with control characters
    {
        QMutexLocker lock(pMutexIO);
        gDataIn = 0b0001;   // input 1 high, input 2 low
        gDataOut = 0b0110;  // output 1 low (inverted: on), outputs 2, 3 high
    }
    bar.refresh();
    auto states = [](const QList<IOStatusWidget::Lamp> &lamps) {
        QString s;
        for (const auto &lamp : lamps)
            s += QLatin1Char(lamp.on ? '1' : '0');
        return s;
    };
    EXPECT_EQ(states(bar.inputs()), QStringLiteral("1100"));
    EXPECT_EQ(states(bar.outputs()), QStringLiteral("1110"));
    EXPECT_EQ(bar.inputs()[3].marker, QStringLiteral(" N 4 "));
    EXPECT_EQ(bar.outputs()[0].name, QStringLiteral("S4"));
    EXPECT_EQ(bar.inputs()[2].name, QStringLiteral("Back  [2J"));
    live.work_mode = 4;  // custom mode: inputs and outputs 1-9, outputs named from entry 9 on
    EXPECT_EQ(bar.inputs().size(), 9);
    EXPECT_EQ(bar.outputs()[8].name, QStringLiteral("S17"));
    live.work_mode = 0;

    EXPECT_EQ(bar.loginText(), QStringLiteral("Logged"));
    EXPECT_EQ(bar.groupText(), QStringLiteral("Parameter group: default"));
    EXPECT_EQ(bar.cycleText(QDateTime(QDate(2026, 12, 9), QTime(3, 4, 5))),
              QStringLiteral("2026-12-09 03.04.05  Cycle 12.3S"));
    grab(&bar, QStringLiteral("iobar-1280"));
    QTest::mouseClick(&bar, Qt::LeftButton);
    EXPECT_EQ(logouts, 1);
    EXPECT_EQ(bar.loginText(), QStringLiteral("Unlogged"));
}

// The stage outputs the dialog starts from are the ones the cycle drives.
TEST_F(IoScreens, DefaultOutputsAreTheCycles)
{
    for (int count = 2; count <= 8; ++count) {
        CustomStageLayout layout;
        layout.setCount(count);
        for (int stage = 0; stage < count; ++stage) {
            const int output = stage == count - 1 ? InspectionCycle::OutputNo[7] : InspectionCycle::OutputNo[stage];
            EXPECT_EQ(layout.outputOwner(CustomStageLayout::OutputTerminal(output)), stage) << count << " " << stage;
        }
    }
}

// Both dialogs in each language at 1024 x 768 and 1280 x 800: finger-sized targets, all on screen.
TEST_F(IoScreens, LayoutInEveryLanguage)
{
    for (const QSize size : {QSize(1024, 768), QSize(1280, 800)})
        for (int lan = 0; lan < kLanguages; ++lan) {
            SCOPED_TRACE(lan);
            gLan = lan;
            window.resize(size);
            IOWidget stages(&window);
            edit.custom_stage_count = 8;
            stages.open(settings);
            QList<QWidget *> targets{stages.stageCountBox(), stages.notSequentialBox(), stages.resetButton(),
                                     stages.confirmButton(), stages.cancelButton()};
            for (int stage = 0; stage < 8; ++stage) {
                targets << stages.row(stage)->triggerBox() << stages.row(stage)->cutModeBox();
                for (int k = 0; k < 8; ++k)
                    targets << stages.row(stage)->outputBox(k);
            }
            expectTargets(&window, targets);
            grab(&window, QStringLiteral("iostages-%1-%2").arg(size.width()).arg(lan));
            stages.hide();

            CustomIONameWidget names(&window);
            names.open(settings);
            targets = {names.confirmButton(), names.cancelButton()};
            for (int row = 0; row < 16; ++row)
                targets << names.nameBox(row) << names.terminalLabel(row);
            expectTargets(&window, targets);
            grab(&window, QStringLiteral("ionames-%1-%2").arg(size.width()).arg(lan));
        }
}
