// The message boxes: the link box that cannot be dismissed while the link is down, the camera
// shut-down, the repeated-failure box, and the seam that answers modal boxes.
#include "ui/warnbox.h"

#include "core/globals.h"
#include "core/texttable.h"

#include <gtest/gtest.h>

#include <QDialog>

class WarnBoxes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FillTextTable();
        gLan = 1;
        CreateWarnBoxes(nullptr);
        WarnBox::clearShownTexts();
    }
    void TearDown() override { WarnBox::setAnswerer(nullptr); }
};

TEST_F(WarnBoxes, LinkBoxComesBackWhileTheLinkIsLost)
{
    bool lost = true;
    gpLostComWarnBox->linkLost = [&lost] { return lost; };
    gpLostComWarnBox->show();
    gpLostComWarnBox->accept();
    EXPECT_TRUE(gpLostComWarnBox->isVisible()) << "closing while the board is silent brings it back";
    EXPECT_EQ(gpLostComWarnBox->text(), QStringLiteral("IO com disconnect"));
    lost = false;
    gpLostComWarnBox->accept();
    EXPECT_FALSE(gpLostComWarnBox->isVisible());
}

TEST_F(WarnBoxes, ModalBoxesAreAnsweredAndRecorded)
{
    WarnBox::setAnswerer([](const WarnBox &box) {
        return box.text().contains(QStringLiteral("stop")) ? QDialog::Rejected : QDialog::Accepted;
    });
    gpChooseBox->setText(QStringLiteral("Be sure to stop the detection?"));
    EXPECT_EQ(gpChooseBox->exec(), QDialog::Rejected);
    gpWarnBox->setText(QStringLiteral("Password error!"));
    EXPECT_EQ(gpWarnBox->exec(), QDialog::Accepted);
    const std::vector<QString> expected = {QStringLiteral("Be sure to stop the detection?"),
                                           QStringLiteral("Password error!")};
    EXPECT_EQ(WarnBox::shownTexts(), expected);
}

TEST_F(WarnBoxes, ShowingWakesTheScreenAndCentresOnAWidePanel)
{
    int wakes = 0;
    WarnBox::onShown = [&wakes] { ++wakes; };
    gpWarnBox->setText(QStringLiteral("x"));
    gpWarnBox->show();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(gpWarnBox->size(), QSize(750, 370)) << "a 1920 pixel panel gets the large box";
    const QPoint offCentre = gpWarnBox->geometry().center() - QPoint(959, 539);
    EXPECT_LE(offCentre.manhattanLength(), 2) << "centred on the screen";
    gpWarnBox->hide();
    WarnBox::onShown = nullptr;
}

TEST_F(WarnBoxes, ShutDownOnlyWhileACameraIsLost)
{
    bool lost = false;
    int shutDowns = 0;
    gpLostCameraWarnBox->cameraLost = [&lost] { return lost; };
    gpLostCameraWarnBox->shutDown = [&shutDowns] { ++shutDowns; };
    gpLostCameraWarnBox->done(LostCameraWarnBox::ShutDown);
    EXPECT_EQ(shutDowns, 0);
    lost = true;
    gpLostCameraWarnBox->done(QDialog::Accepted);
    EXPECT_EQ(shutDowns, 0);
    gpLostCameraWarnBox->done(LostCameraWarnBox::ShutDown);
    EXPECT_EQ(shutDowns, 1);
}

TEST_F(WarnBoxes, ContinuousFailureBoxReportsItsClosing)
{
    int closed = 0;
    gContinuousNgWarnBox->onClosed = [&closed] { ++closed; };
    gContinuousNgWarnBox->show();
    gContinuousNgWarnBox->accept();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(gContinuousNgWarnBox->text(), QStringLiteral("The product check failed several times in a row: alarm stop!"));
}
