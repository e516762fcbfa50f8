// The cavity-names editor: Cancel and Confirm over several cameras, typed names, its layout.
#include "ui/cavity/editcavitywidget.h"
#include "ui/cavity/cavitylabel.h"

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
#include <QPainter>
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
    EXPECT_EQ(editor->geometry(), window.rect());
    EXPECT_EQ(editor->cameraSelector()->count(), 2);
    EXPECT_EQ(editor->cameraSelector()->itemText(1), QStringLiteral("camera2"));
    EXPECT_EQ(editor->label(8)->text(), QStringLiteral("9#"));
    EXPECT_EQ(editor->field(0)->text(), QStringLiteral("模腔1"));

    auto editTwoCameras = [&] {
        editor->field(0)->setText(QStringLiteral("L'1"));
        editor->cameraSelector()->setCurrentIndex(1);
        EXPECT_EQ(editor->camera(), 1);
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

// A blank cannot be typed into a name; an emptied field shows the default name when typing ends;
// the text pad lets go of the field when the editor closes.
TEST_F(CavityEditor, TypedNames)
{
    EditCavitywidget editor;
    editor.init();
    editor.show();
    QLineEdit *field = editor.field(4);
    field->clear();
    QTest::keyClicks(field, QStringLiteral("a b"));
    EXPECT_EQ(field->text(), QStringLiteral("ab"));
    field->clear();
    emit field->editingFinished();
    EXPECT_EQ(field->text(), QStringLiteral("模腔5"));

    gpNumCharPad->serve(field);
    editor.Reject();
    EXPECT_EQ(gpNumCharPad->target(), nullptr);
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
            const QLabel *label = editor.label(p);
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        }
        for (QWidget *w : targets) {
            EXPECT_GE(w->height(), 60);
            const QRect a(w->mapTo(&window, QPoint()), w->size());
            EXPECT_TRUE(window.rect().contains(a));
            for (QWidget *other : targets) {
                if (other != w) {
                    EXPECT_FALSE(a.intersects(QRect(other->mapTo(&window, QPoint()), other->size())));
                }
            }
        }
        for (ColorButton *b : {editor.confirmButton(), editor.cancelButton()})
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), b->width());
        if (const QByteArray dir = qgetenv("MOULD_GRAB_DIR"); !dir.isEmpty())
            window.grab().save(QStringLiteral("%1/cavity-%2.png").arg(QString::fromLocal8Bit(dir)).arg(lan));
    }
}

// The saved name sits on its plate just above a region, or inside it at the top of the view; the
// seventeenth region has no cavity and no label.
TEST_F(CavityEditor, NamesBesideTheRegions)
{
    CavityNames::Databaseinit();
    QStringList names = CavityNames::Read(QLatin1String(CavityNames::kSavedTable), 1);
    names[2] = QStringLiteral("B-3");
    CavityNames::Write(QLatin1String(CavityNames::kScratchTable), 1, names);
    CavityNames::Initialize(QLatin1String(CavityNames::kScratchTable), QLatin1String(CavityNames::kSavedTable));
    EXPECT_EQ(CavityName(1, 2), QStringLiteral("B-3"));

    QImage view(640, 480, QImage::Format_RGB32);
    view.fill(QColor(128, 128, 128));
    const QRectF middle(200, 200, 150, 100), top(400, 0, 150, 100), seventeenth(50, 350, 100, 100);
    {
        QPainter painter(&view);
        painter.setPen(QPen(Qt::green, 2));
        for (const QRectF &box : {middle, top, seventeenth})
            painter.drawRect(box);
        DrawCavityName(painter, middle, 1, 2);
        DrawCavityName(painter, top, 1, 0);
        DrawCavityName(painter, seventeenth, 1, 16);
    }
    const QRgb gray = qRgb(128, 128, 128);
    EXPECT_NE(view.pixel(203, 190), gray);  // above the region
    EXPECT_EQ(view.pixel(203, 210), gray);
    EXPECT_NE(view.pixel(403, 10), gray);   // inside, at the top of the view
    EXPECT_EQ(view.pixel(53, 340), gray);
    if (const QByteArray dir = qgetenv("MOULD_GRAB_DIR"); !dir.isEmpty())
        view.save(QStringLiteral("%1/cavity-labels.png").arg(QString::fromLocal8Bit(dir)));
}

// A damaged file found when the editor comes up is told in the operation record; the editor shows
// the default names.
TEST_F(CavityEditor, DamagedFileIsRecorded)
{
    QFile file(QString::fromLatin1(CavityNames::kFile));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2048, '\x01'));
    file.close();
    QStringList recorded;
    EventRecord::SetSink([&](const QString &text) { recorded << text; });
    EditCavitywidget editor;
    editor.init();
    EventRecord::SetSink(nullptr);
    EXPECT_EQ(recorded, QStringList{LanStr(1430)});
    EXPECT_EQ(editor.field(15)->text(), QStringLiteral("模腔16"));
}
