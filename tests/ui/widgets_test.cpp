// The input widgets and keypads: the range rule, key sequences typed on the pads by touch, the
// modal text pad, and pads serving fields inside modal dialogs.
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/editbox.h"
#include "ui/widgets/editdatetime.h"
#include "ui/widgets/editip.h"
#include "ui/widgets/keypads.h"
#include "ui/widgets/slider.h"

#include "core/globals.h"
#include "core/systemgateway.h"
#include "core/texttable.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <climits>
#include <memory>

namespace {

// Presses keys of a pad by their captions, separated by blanks, as touches.
void press(KeypadBase *pad, const QString &keys)
{
    for (const QString &caption : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        ColorButton *key = pad->key(caption);
        ASSERT_NE(key, nullptr) << "no key " << caption.toStdString();
        QTest::mouseClick(key, Qt::LeftButton);
    }
}

class Widgets : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FillTextTable();
        CreateKeypads();
    }
    void SetUp() override { gLan = 1; }
    void TearDown() override
    {
        gpNumPad->release();
        gpNumCharPad->release();
        NumCharInput::setAnswerer(nullptr);
    }
};

struct NumberCase
{
    const char *name;
    int min, max;
    bool use0;
    int type, divisor, initial;
    const char *keys;        // on the number pad, before "Confirm"
    const char *whileTyped;  // the field before the range check
    int after;               // the value after "Confirm"
};

void PrintTo(const NumberCase &c, std::ostream *os) { *os << c.name; }

const NumberCase kNumberCases[] = {
    {"firstKeyReplaces", 10, 100, false, 0, 1, 50, "7", "7", 10},
    {"threeZeroZeroClamped", 10, 100, false, 0, 1, 50, "3 0 0", "300", 100},
    {"zeroAllowedStays", 10, 100, true, 0, 1, 50, "0", "0", 0},
    {"zeroNotAllowedGivesMinimum", 10, 100, false, 0, 1, 50, "0", "0", 10},
    {"tenthDigitIgnored", 0, INT_MAX, false, 0, 1, 0, "9 9 9 9 9 9 9 9 9 9 9", "999999999", 999999999},
    {"eraseLastDigit", 0, 100, false, 0, 1, 50, "4 5 BS", "4", 4},
    {"clearThenType", 0, 100, false, 0, 1, 50, "4 Clear 8", "8", 8},
    {"dotIgnoredInNumbers", 0, 1000, false, 0, 1, 0, "1 . 2", "12", 12},
    {"tenthsShownAsDecimal", 0, 1000, false, 2, 10, 0, "1 2 5", "12.5", 125},
    {"tenthsClamped", 0, 100, false, 2, 10, 0, "5 0 0", "50.0", 100},
};

class NumberKeys : public Widgets, public ::testing::WithParamInterface<NumberCase>
{
};

TEST_P(NumberKeys, TypedThenRangeChecked)
{
    const NumberCase &c = GetParam();
    EditBox box(c.min, c.max, nullptr, QStringLiteral("Delay"), QString(), c.type, c.divisor);
    box.setUse0(c.use0);
    box.setValue(c.initial);
    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    QSignalSpy changed(&box, &EditBox::valueChanged);
    QTest::mouseClick(box.field(), Qt::LeftButton);
    ASSERT_EQ(gpNumPad->target(), box.field());
    ASSERT_TRUE(gpNumPad->isVisible());
    press(gpNumPad, QString::fromLatin1(c.keys));
    EXPECT_EQ(box.field()->text(), QString::fromLatin1(c.whileTyped));
    EXPECT_TRUE(box.field()->hasFocus()) << "keys never take the focus from the field";
    EXPECT_EQ(changed.count(), 0) << "no range check while typing";
    press(gpNumPad, QStringLiteral("Confirm"));
    EXPECT_EQ(box.value(), c.after);
    EXPECT_FALSE(gpNumPad->isVisible());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toInt(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Pad, NumberKeys, ::testing::ValuesIn(kNumberCases),
                         [](const auto &info) { return info.param.name; });

struct RangeCase
{
    const char *name;
    int min, max;
    bool use0;
    int set;             // through setValue
    const char *button;  // then pressed, if any
    int shown;
};

void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.name; }

const RangeCase kRangeCases[] = {
    {"zeroAllowedShowsZero", 10, 100, true, 0, nullptr, 0},
    {"zeroWithoutFlagGivesMinimum", 10, 100, false, 0, nullptr, 10},
    {"aboveMaximum", 10, 100, false, 150, nullptr, 100},
    {"belowMinimumButNotZero", 10, 100, true, 5, nullptr, 10},
    {"negativeWithZeroAllowed", 10, 100, true, -1, nullptr, 10},
    {"plusFiveAt98", 10, 100, false, 98, "AddFive", 100},
    {"minusFiveAt12", 10, 100, false, 12, "SubFive", 10},
    {"minusOneAtMinimumIsNotZero", 10, 100, true, 10, "SubOne", 10},
    {"plusOneInside", 10, 100, false, 50, "AddOne", 51},
    {"plusOneAtIntMaximum", 0, INT_MAX, false, INT_MAX, "AddOne", INT_MAX},
};

class RangeRule : public Widgets, public ::testing::WithParamInterface<RangeCase>
{
};

TEST_P(RangeRule, ValueShownAfterCheck)
{
    const RangeCase &c = GetParam();
    EditBox box(c.min, c.max);
    box.setUse0(c.use0);
    box.show();
    box.setValue(c.set);
    if (c.button)
        QTest::mouseClick(box.findChild<QPushButton *>(QLatin1String(c.button)), Qt::LeftButton);
    EXPECT_EQ(box.value(), c.shown);
    EXPECT_EQ(box.field()->text(), QString::number(c.shown));
}

INSTANTIATE_TEST_SUITE_P(Box, RangeRule, ::testing::ValuesIn(kRangeCases),
                         [](const auto &info) { return info.param.name; });

// Leaving the field checks the range too; the pad closed by another touch leaves the value typed.
TEST_F(Widgets, FocusOutChecksTheRange)
{
    QWidget screen;
    auto *box = new EditBox(10, 100, &screen);
    auto *other = new QLineEdit(&screen);
    other->move(0, 100);
    screen.show();
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    QTest::mouseClick(box->field(), Qt::LeftButton);
    press(gpNumPad, QStringLiteral("5"));
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(box->value(), 10);
    EXPECT_EQ(gpNumCharPad->target(), other) << "the text pad took over";
    EXPECT_FALSE(gpNumPad->isVisible());
}

// The minimum and maximum pair: both inside the range, the minimum never above the maximum.
TEST_F(Widgets, MinimumMaximumPair)
{
    struct Step
    {
        bool maxField;
        const char *keys;
        int min, max;
    } steps[] = {{true, "3 0 0", 20, 255}, {true, "1 0 0", 20, 100}, {false, "2 0 0", 100, 100},
                 {false, "5", 5, 100}, {true, "1", 5, 5}};
    EditTempBox pair(0, 255);
    pair.setMinValue(20);
    pair.show();
    for (const Step &step : steps) {
        SCOPED_TRACE(step.keys);
        EditTempParam *field = step.maxField ? pair.maxField() : pair.minField();
        EXPECT_EQ(pair.checkFocus(field), step.maxField ? 1 : 0);
        QTest::mouseClick(field, Qt::LeftButton);
        press(gpNumPad, QString::fromLatin1(step.keys) + QStringLiteral(" Confirm"));
        EXPECT_EQ(pair.getMinValue(), step.min);
        EXPECT_EQ(pair.getMaxValue(), step.max);
    }
}

// Octets typed on the number pad and set as text; the dot key fills an empty octet with 0.
TEST_F(Widgets, IpOctets)
{
    struct Step
    {
        const char *set;   // setTextIP, or nullptr
        const char *keys;  // typed from the first octet on
        const char *address;
    } steps[] = {{"0.0.0.0", "3 0 0", "255.0.0.0"},
                 {"0.0.0.0", "1 9 2 . 1 6 8 . . 7", "192.168.0.7"},
                 {"10.0.0.300", "", "10.0.0.255"},
                 {"1.2", "", "1.2.0.0"},
                 {"1.x.99999999999.4", "", "1.0.255.4"}};
    EditIP ip(QStringLiteral("IP"));
    ip.show();
    for (const Step &step : steps) {
        SCOPED_TRACE(step.keys);
        ip.setTextIP(QString::fromLatin1(step.set));
        if (*step.keys) {
            QTest::mouseClick(ip.octet(0), Qt::LeftButton);
            press(gpNumPad, QString::fromLatin1(step.keys));
        }
        EXPECT_EQ(ip.getTextIP(), QString::fromLatin1(step.address));
    }
    EXPECT_EQ(ip.octet(0)->text(), QStringLiteral("1"));
}

// The clock goes to the host through the gateway, as argument vectors; a day past the end of the
// month is pulled back.
TEST_F(Widgets, DateTimeSetThroughTheGateway)
{
    EditDateTime editor;
    editor.ShowDateTime(QDateTime(QDate(2023, 1, 31), QTime(13, 5, 9)));
    editor.box(1)->setValue(2);
    EXPECT_EQ(editor.box(2)->value(), 28);
    EXPECT_EQ(editor.m_getDateTime(), QDateTime(QDate(2023, 2, 28), QTime(13, 5, 9)));
    editor.ShowDateTime(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 0)));
    SystemGateway::clearRecorded();
    EXPECT_TRUE(editor.setSysDateTime());
    EXPECT_EQ(SystemGateway::recorded(),
              QStringList({QStringLiteral("date -s 2024-02-29 23:59:00"), QStringLiteral("hwclock --systohc")}));
}

TEST_F(Widgets, SliderKeepsTheFieldInStep)
{
    Slider slider(0, 100);
    slider.show();
    slider.setValue(99);
    QTest::mouseClick(slider.findChild<QPushButton *>(QStringLiteral("Add")), Qt::LeftButton);
    QTest::mouseClick(slider.findChild<QPushButton *>(QStringLiteral("Add")), Qt::LeftButton);
    EXPECT_EQ(slider.field()->text(), QStringLiteral("100"));
    slider.SetText(QStringLiteral("x"));
    EXPECT_EQ(slider.value(), 100);
    QTest::mouseClick(slider.field(), Qt::LeftButton);
    press(gpNumPad, QStringLiteral("3 0 0 Confirm"));
    EXPECT_EQ(slider.value(), 100);
    EXPECT_EQ(slider.field()->text(), QStringLiteral("100"));
    QTest::mouseClick(slider.findChild<QPushButton *>(QStringLiteral("Sub")), Qt::LeftButton);
    EXPECT_EQ(slider.field()->text(), QStringLiteral("99"));
}

// The ticked check box shows images/check.png, which the factory draws into the station directory.
TEST_F(Widgets, CheckPictureIsAFactoryImage)
{
    EXPECT_FALSE(QPixmap(QStringLiteral(MOULD_STATION_DIR "/images/check.png")).isNull());
}

struct TextCase
{
    const char *name;
    const char *initial;
    const char *keys;
    const char *typed;
};

void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

const TextCase kTextCases[] = {
    {"firstKeyReplaces", "old", "a b", "ab"},
    {"capitalsAndBack", "", "Capital A B Lower c", "ABc"},
    {"symbolRows", "", "symbol - \\ @ ) ` ~ \" | character q", "-\\@)`~\"|q"},
    {"digitsAndErase", "x", "1 2 BS 0", "10"},
    {"clearStartsAgain", "old", "a Clear z", "z"},
};

class TextKeys : public Widgets, public ::testing::WithParamInterface<TextCase>
{
};

TEST_P(TextKeys, TypedIntoTheField)
{
    const TextCase &c = GetParam();
    QLineEdit edit(QString::fromLatin1(c.initial));
    edit.show();
    QSignalSpy finished(&edit, &QLineEdit::editingFinished);
    QTest::mouseClick(&edit, Qt::LeftButton);
    ASSERT_EQ(gpNumCharPad->target(), &edit);
    press(gpNumCharPad, QString::fromLatin1(c.keys));
    EXPECT_EQ(edit.text(), QString::fromLatin1(c.typed));
    press(gpNumCharPad, QStringLiteral("Confirm"));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(gpNumCharPad->isVisible());
    if (gpNumCharPad->capitals())
        gpNumCharPad->SlotCap();
    if (gpNumCharPad->punctuation())
        gpNumCharPad->SlotChgChar_Punc();
}

INSTANTIATE_TEST_SUITE_P(Pad, TextKeys, ::testing::ValuesIn(kTextCases),
                         [](const auto &info) { return info.param.name; });

// The key rows in the three modes; there is no space key (blanks split cavity names).
TEST_F(Widgets, TextPadRows)
{
    QLineEdit edit;
    edit.show();
    gpNumCharPad->serve(&edit);
    auto visibleKeys = [] {
        QString keys;
        for (ColorButton *key : gpNumCharPad->findChildren<ColorButton *>())
            if (key->isVisible() && key->text().size() == 1)
                keys += key->text();
        return keys;
    };
    EXPECT_EQ(visibleKeys(), QStringLiteral("1234567890qwertyuiopasdfghjklzxcvbnm"));
    gpNumCharPad->SlotCap();
    EXPECT_EQ(visibleKeys(), QStringLiteral("1234567890QWERTYUIOPASDFGHJKLZXCVBNM"));
    gpNumCharPad->SlotChgChar_Punc();
    EXPECT_EQ(visibleKeys(), QStringLiteral("1234567890-=[]\\;',./@#$%^?*()`~!{}:\"|"));
    gpNumCharPad->SlotChgChar_Punc();
    gpNumCharPad->SlotCap();
    EXPECT_EQ(gpNumCharPad->key(QStringLiteral(" ")), nullptr);
}

// A field in a modal dialog: the pad opens over it and its keys still reach the field.
TEST_F(Widgets, PadServesAFieldInAModalDialog)
{
    QDialog dialog;
    auto *edit = new QLineEdit(&dialog);
    (new QVBoxLayout(&dialog))->addWidget(edit);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(edit, Qt::LeftButton);
    ASSERT_EQ(gpNumCharPad->target(), edit);
    press(gpNumCharPad, QStringLiteral("o k"));
    EXPECT_EQ(edit->text(), QStringLiteral("ok"));
    edit->hide();
    EXPECT_FALSE(gpNumCharPad->isVisible()) << "the pad goes with its field";
    dialog.hide();
    EXPECT_EQ(gpNumCharPad->target(), nullptr);
}

// The pad never covers the field it serves: below it, or above it near the bottom of the screen.
TEST_F(Widgets, PadBesideItsField)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (int fieldY : {0, screen.height() / 2, screen.height() - 70}) {
        SCOPED_TRACE(fieldY);
        QLineEdit edit;
        edit.setGeometry(screen.width() - 200, fieldY, 200, 60);
        edit.show();
        gpNumCharPad->serve(&edit);
        const QRect pad = gpNumCharPad->frameGeometry();
        EXPECT_TRUE(screen.contains(pad));
        EXPECT_FALSE(pad.intersects(edit.frameGeometry()));
        gpNumCharPad->release();
    }
}

// A screen deleted while its field is served takes nothing down with it.
TEST_F(Widgets, ScreenDeletedWhileServed)
{
    auto dialog = std::make_unique<QDialog>();
    auto *edit = new QLineEdit(dialog.get());
    dialog->show();
    QTest::mouseClick(edit, Qt::LeftButton);
    ASSERT_EQ(gpNumCharPad->target(), edit);
    dialog.reset();
    EXPECT_EQ(gpNumCharPad->target(), nullptr);
    press(gpNumCharPad, QStringLiteral("a BS Clear"));
    QLineEdit next;
    next.show();
    QTest::mouseClick(&next, Qt::LeftButton);
    press(gpNumCharPad, QStringLiteral("b"));
    EXPECT_EQ(next.text(), QStringLiteral("b"));
}

// The modal pads of the account and password screens, typed by touch; cancel keeps the text.
TEST_F(Widgets, ModalTextPad)
{
    struct Step
    {
        const char *keys;
        bool password;
        bool accepted;
        const char *text;
    } steps[] = {{"Capital A Lower d m 1 Confirm", false, true, "Adm1"},
                 {"8 3 9 5 Confirm", true, true, "8395"},
                 {"x y cancel", false, false, "keep"}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.keys);
        QString text = QStringLiteral("keep");
        QString echoed;
        QTimer::singleShot(0, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            auto *pad = modal->findChild<NumCharInput *>();
            auto *field = modal->findChild<QLineEdit *>(QStringLiteral("text"));
            ASSERT_TRUE(pad && field);
            EXPECT_EQ(field->echoMode() == QLineEdit::Password, step.password);
            const QStringList keys = QString::fromLatin1(step.keys).split(QLatin1Char(' '));
            press(pad, keys.mid(0, keys.size() - 1).join(QLatin1Char(' ')));
            echoed = field->text();
            if (keys.last() == QLatin1String("cancel"))
                QTest::mouseClick(modal->findChild<QPushButton *>(QStringLiteral("cancel")), Qt::LeftButton);
            else
                press(pad, keys.last());
        });
        EXPECT_EQ(NumCharInput::getText(nullptr, QStringLiteral("Password:"), &text, step.password), step.accepted);
        EXPECT_EQ(text, QString::fromLatin1(step.text));
    }
    int value = 7;
    QTimer::singleShot(0, [] {
        auto *pad = QApplication::activeModalWidget()->findChild<NumberInput *>();
        press(pad, QStringLiteral("2 5 0 Confirm"));
    });
    EXPECT_TRUE(NumberInput::getValue(nullptr, QStringLiteral("Delay"), &value, 0, 100));
    EXPECT_EQ(value, 100) << "the typed value is clamped into the range";
    NumCharInput::setAnswerer([](const QString &, bool) { return std::optional<QString>(QStringLiteral("x")); });
    EXPECT_FALSE(NumberInput::getValue(nullptr, QStringLiteral("Delay"), &value, 0, 100));
    EXPECT_EQ(value, 100);
}

}  // namespace
