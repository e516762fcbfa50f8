// The cavity-names editor: Cancel and Confirm over several cameras, typed names, its layout.
#include "ui/cavity/editcavitywidget.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "log/eventrecord.h"
#include "params/cavitynames.h"
#include "tests/support/stationdir.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/keypads.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegion>
#include <QSignalSpy>
#include <QTest>

namespace {

class CavityEditor : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FillTextTable();
        CreateKeypads();
    }
    void SetUp() override
    {
        gLan = 1;
        m_cameras = numCamera;
        numCamera = 2;
        CavityNames::SetButtonHook([this](int camera, const QStringList &names) { buttons[camera] = names; });
    }
    void TearDown() override
    {
        CavityNames::SetButtonHook(nullptr);
        CavityNames::Close();
        numCamera = m_cameras;
    }

    TempStation station{false};
    QMap<int, QStringList> buttons;  // captions handed to the region buttons, per camera
    int m_cameras = 0;
};

}  // namespace

// Edits on two cameras are dropped by Cancel and applied together by Confirm; the opener comes back
// each time and the buttons of the attached cameras take the saved names.
TEST_F(CavityEditor, CancelKeepsAndConfirmAppliesEveryCameraVisited)
{
    QWidget window;
    window.resize(1280, 800);
    QWidget *settings = new QWidget(&window);
    window.show();
    settings->show();
    EditCavitywidget *editor = CreateCavityEditor(&window);
    EXPECT_EQ(buttons.keys(), (QList<int>{0, 1}));  // start-up labels the attached cameras' buttons
    QSignalSpy closed(editor, &EditCavitywidget::closed);

    OpenCavityNames(settings);
    buttons.clear();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(editor->cameraSelector()->itemText(1), QStringLiteral("camera2"));  // attached cameras only
    EXPECT_EQ(editor->cameraSelector()->count(), 2);

    auto editTwoCameras = [&] {
        editor->field(0)->setText(QStringLiteral("L'1"));
        editor->cameraSelector()->setCurrentIndex(1);
        EXPECT_EQ(editor->field(0)->text(), QStringLiteral("模腔1"));
        editor->field(15)->setText(QStringLiteral("R16"));
        editor->field(3)->clear();
        editor->cameraSelector()->setCurrentIndex(0);
        EXPECT_EQ(editor->field(0)->text(), QStringLiteral("L'1"));  // the scratch table kept it
    };
    editTwoCameras();
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(CavityName(0, 0), QStringLiteral("模腔1"));
    EXPECT_EQ(CavityName(1, 15), QStringLiteral("模腔16"));
    EXPECT_TRUE(buttons.isEmpty());

    OpenCavityNames(settings);
    EXPECT_EQ(editor->field(0)->text(), QStringLiteral("模腔1"));  // init() dropped the cancelled edits
    editTwoCameras();
    QTest::mouseClick(editor->confirmButton(), Qt::LeftButton);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(closed.count(), 2);
    EXPECT_EQ(CavityName(0, 0), QStringLiteral("L'1"));
    EXPECT_EQ(CavityName(1, 15), QStringLiteral("R16"));
    EXPECT_EQ(CavityName(1, 3), QStringLiteral("模腔4"));  // an emptied field keeps its position's default
    EXPECT_EQ(buttons.keys(), (QList<int>{0, 1}));
    EXPECT_EQ(buttons[1].value(15), QStringLiteral("R16"));
}

// A damaged file found when the editor comes up is told in the operation record. A blank cannot be
// typed into a name; an emptied field shows the default name when typing ends.
TEST_F(CavityEditor, DamagedFileAndTypedNames)
{
    QFile file(QString::fromLatin1(CavityNames::kFile));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2048, '\x01'));
    file.close();
    QStringList recorded;
    EventRecord::SetSink([&](const QString &text) { recorded << text; });
    EditCavitywidget editor;
    EventRecord::SetSink(nullptr);
    EXPECT_EQ(recorded, QStringList{LanStr(1430)});
    editor.init();
    editor.show();
    QLineEdit *field = editor.field(4);
    field->clear();
    QTest::keyClicks(field, QStringLiteral("a b"));
    EXPECT_EQ(field->text(), QStringLiteral("ab"));
    field->clear();
    emit field->editingFinished();
    EXPECT_EQ(field->text(), QStringLiteral("模腔5"));
}

// Every caption of the page in each language fits its 60-pixel touch target, and no two overlap.
// MOULD_GRAB_DIR=<folder> saves the page there as cavity-<language>.png.
TEST_F(CavityEditor, LayoutInEveryLanguage)
{
    for (int lan = 0; lan < kLanguages; ++lan) {
        SCOPED_TRACE(lan);
        gLan = lan;
        QWidget window;
        window.resize(1024, 768);
        EditCavitywidget editor(&window);
        editor.init();
        window.show();
        editor.show();
        QList<QWidget *> targets{editor.cameraSelector(), editor.confirmButton(), editor.cancelButton()};
        for (int p = 0; p < CavityNames::kPositions; ++p) {
            targets << editor.field(p) << editor.label(p);
            EXPECT_LE(editor.label(p)->fontMetrics().horizontalAdvance(editor.label(p)->text()), 180);
        }
        QRegion taken;
        for (QWidget *w : targets) {
            const QRect area(w->mapTo(&window, QPoint()), w->size());
            EXPECT_GE(area.height(), 60);
            EXPECT_TRUE(window.rect().contains(area));
            EXPECT_FALSE(taken.intersects(area));
            taken += area;
        }
        if (const QByteArray dir = qgetenv("MOULD_GRAB_DIR"); !dir.isEmpty())
            window.grab().save(QStringLiteral("%1/cavity-%2.png").arg(QString::fromLocal8Bit(dir)).arg(lan));
    }
}
