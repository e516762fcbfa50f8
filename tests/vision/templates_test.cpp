// The template library: loading with its checks, resample, adding, deleting and browsing.
#include "vision/templatelibrary.h"

#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/imagefiles.h"
#include "visionfixture.h"

#include "log/eventrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>

#include <algorithm>
#include <unistd.h>

namespace {

class Templates : public VisionFixture
{
protected:
    // A gray template file of the camera's size whose pixels all hold `value`.
    static void writeTemplate(int camNo, int d, int slot, int value, int ageSeconds)
    {
        cv::Mat image(kH, kW, CV_8UC1, cv::Scalar(value));
        const QString path = TemplateLibrary::TemplatePath(camNo, d, slot);
        ASSERT_TRUE(SaveStationImage(path, image));
        setAge(path, ageSeconds);
    }
    static void setAge(const QString &path, int ageSeconds)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    }
    static QStringList templateFiles(int camNo, int d)
    {
        return QDir(CameraVision::DetectionDir(camNo, d)).entryList({"template*"}, QDir::Files, QDir::Name);
    }
    static int firstByte(const cv::Mat &image) { return image.ptr()[0]; }
};

}  // namespace

TEST_F(Templates, LoadingChecksSizeAndDepth)
{
    writeTemplate(0, 0, 0, 10, 0);
    writeTemplate(0, 0, 2, 12, 0);
    QImage wrongSize(kW, kH + 1, QImage::Format_Indexed8);
    wrongSize.setColorTable(GrayColorTable());
    wrongSize.fill(13);
    ASSERT_TRUE(wrongSize.save(TemplateLibrary::TemplatePath(0, 0, 3)));
    QImage colour(kW, kH, QImage::Format_RGB32);
    colour.fill(Qt::red);
    ASSERT_TRUE(colour.save(TemplateLibrary::TemplatePath(0, 0, 4)));

    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    EXPECT_EQ(view.tempCount[0], 2);
    EXPECT_EQ(view.tempFlag[0], (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(firstByte(view.tempImage[0][2]), 12);
    EXPECT_EQ(cv::countNonZero(view.tempImage[0][3]), 0);
    EXPECT_EQ(cv::countNonZero(view.tempImage[0][4]), 0);
}

// A template is replaced in one step: whoever holds the old file keeps the whole old image. A
// template or ignore-point file that is there but damaged or of another size is named (camera,
// detection, file) in the record and in one warning, and counts as absent.
TEST_F(Templates, FilesAreReplacedWholeAndDamagedOnesAreNamed)
{
    cv::Mat image;
    writeTemplate(0, 0, 0, 10, 0);
    ASSERT_EQ(::link("cammer11/template0.bmp", "held.bmp"), 0);
    writeTemplate(0, 0, 0, 20, 0);
    ASSERT_TRUE(LoadStationImage(QStringLiteral("held.bmp"), image, gColorLen));
    EXPECT_EQ(firstByte(image), 10) << "the old file was written over in place";

    for (int slot = 1; slot <= 3; ++slot)
        writeTemplate(0, 0, slot, 30, 0);
    CameraVision view(0);
    ASSERT_TRUE(view.SaveIgnorePoint(1));
    const auto damage = [](const QString &path, bool cut, char byte) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        if (cut)
            f.resize(f.size() / 2);
        else
            f.write(QByteArray(int(f.size()), byte));
    };
    damage(TemplateLibrary::TemplatePath(0, 0, 1), true, 0);
    damage(TemplateLibrary::TemplatePath(0, 0, 2), false, 'x');
    damage(QStringLiteral("cammer12/ignorepoint.bmp"), false, '\0');
    QImage small(kW / 2, kH, QImage::Format_Grayscale8);
    ASSERT_TRUE(small.save(TemplateLibrary::TemplatePath(0, 0, 3)));

    QStringList record;
    EventRecord::SetSink([&](const QString &text) { record << text; });
    CameraVision loaded(0);
    loaded.LoadFiles();
    EventRecord::SetSink(nullptr);
    EXPECT_EQ(loaded.tempFlag[0], (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const QStringList named{
        UnreadableFileText(0, 0, QStringLiteral("cammer11/template1.bmp")),
        UnreadableFileText(0, 0, QStringLiteral("cammer11/template2.bmp")),
        UnreadableFileText(0, 0, QStringLiteral("cammer11/template3.bmp")),
        UnreadableFileText(0, 1, QStringLiteral("cammer12/ignorepoint.bmp")),
    };
    EXPECT_EQ(named[1], QStringLiteral("Camera 1 detection 1: the file cammer11/template2.bmp is damaged or does "
                                       "not fit the camera and was not loaded"));
    EXPECT_EQ(record, named);
    EXPECT_EQ(warnings, QStringList{named.join(QLatin1Char('\n'))});
}

TEST_F(Templates, MissingTemplateZeroIsSynthetic)
{
    writeTemplate(0, 1, 5, 40, 0);
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    EXPECT_EQ(view.tempCount[1], 2);
    EXPECT_EQ(view.tempFlag[1][0], 1);
    const cv::Mat &t = view.tempImage[1][0];
    const int x0 = kW / 4, x1 = kW / 4 * 3, y0 = kH / 4, y1 = kH / 4 * 3;
    EXPECT_EQ(t.at<uint8_t>(y0, x0), 255);
    EXPECT_EQ(t.at<uint8_t>(y1, x1), 255);
    EXPECT_EQ(t.at<uint8_t>(y0 - 1, x0), 0);
    EXPECT_EQ(t.at<uint8_t>(y1, x1 + 1), 0);
    EXPECT_EQ(cv::countNonZero(t), (x1 - x0 + 1) * (y1 - y0 + 1));
}

TEST_F(Templates, ColourTemplatesKeepTheirChannelOrder)
{
    setGeometry(kW, kH, true);
    CameraVision view(0);
    view.captureImage.setTo(cv::Scalar(200, 100, 50, 255));  // R, G, B, A
    ASSERT_TRUE(TemplateLibrary::Resample(view, 0));
    CameraVision loaded(0);
    TemplateLibrary::LoadTemplates(loaded);
    ASSERT_EQ(loaded.tempImage[0][0].type(), CV_8UC4);
    EXPECT_EQ(loaded.tempImage[0][0].at<cv::Vec4b>(5, 5), cv::Vec4b(200, 100, 50, 255));
}

TEST_F(Templates, ResampleMakesTheCapturedImageTemplateZero)
{
    std::vector<QString> sent;
    VisionHooks::sendTempPic = [&](const QString &path) { sent.push_back(path); };
    CameraVision view(2);
    view.captureImage.setTo(77);
    ASSERT_TRUE(view.SaveReTrainImage(1));
    VisionHooks::sendTempPic = nullptr;
    EXPECT_EQ(firstByte(view.workImage), 77);
    EXPECT_EQ(firstByte(view.displayImage), 77);
    EXPECT_EQ(firstByte(view.tempImage[1][0]), 77);
    EXPECT_EQ(view.tempCount[1], 1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], QDir::current().absoluteFilePath("cammer32/template0.bmp"));
    CameraVision loaded(2);
    TemplateLibrary::LoadTemplates(loaded);
    EXPECT_EQ(firstByte(loaded.tempImage[1][0]), 77);
}

TEST_F(Templates, AddingTakesTheLowestFreeSlot)
{
    writeTemplate(0, 0, 0, 1, 30);
    writeTemplate(0, 0, 1, 1, 20);
    writeTemplate(0, 0, 3, 1, 10);
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    CammerRecong recong(view, false);
    view.singleton.roiNum[0] = 1;
    view.singleton.SetDefaultRegion(0, 0);
    view.captureImage.setTo(66);
    int slot = -1;
    EXPECT_EQ(TemplateLibrary::AddTemplate(view, &recong, {}, &slot), TemplateLibrary::AddResult::Added);
    EXPECT_EQ(slot, 2);
    EXPECT_EQ(view.tempCount[0], 4);
    EXPECT_EQ(firstByte(view.tempImage[0][2]), 66);
    EXPECT_TRUE(QFile::exists(TemplateLibrary::TemplatePath(0, 0, 2)));
    EXPECT_EQ(questions, QStringList{LanStr(108)});
    // The new template was trained into the defect region's model.
    EXPECT_TRUE(recong.grayModel(0, 0).IsValid());
    EXPECT_EQ(recong.grayModel(0, 0).templateCount(), 4);
}

TEST_F(Templates, FullLibraryReplacesTheOldestFileButTemplateZero)
{
    const struct { const char *name; std::vector<std::pair<int, int>> files; int slot; QString removed; } rows[] = {
        // (slot, age in seconds): template0 is the oldest and stays.
        {"oldestOtherThanZero", {{0, 100}, {1, 50}, {2, 90}, {3, 10}}, 2, {}},
        {"oldestWhenZeroIsNewer", {{0, 1}, {1, 50}, {2, 90}, {3, 10}}, 2, {}},
        {"staleNumberIsRemoved", {{0, 100}, {1, 50}, {15, 95}, {3, 10}}, 9, "template15"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        QDir(CameraVision::DetectionDir(0, 0)).removeRecursively();
        deletedSent.clear();
        for (int j = 0; j < 10; ++j)
            writeTemplate(0, 0, j, j, 60);
        for (auto [slot, age] : r.files) {
            if (slot >= 10)
                writeTemplate(0, 0, slot, 0, age);
            else
                setAge(TemplateLibrary::TemplatePath(0, 0, slot), age);
        }
        CameraVision view(0);
        TemplateLibrary::LoadTemplates(view);
        ASSERT_EQ(view.tempCount[0], 10);
        view.captureImage.setTo(222);
        int slot = -1;
        EXPECT_EQ(TemplateLibrary::AddTemplate(view, nullptr, {}, &slot), TemplateLibrary::AddResult::Added);
        EXPECT_EQ(slot, r.slot);
        EXPECT_EQ(view.tempCount[0], 10);
        EXPECT_EQ(firstByte(view.tempImage[0][r.slot]), 222);
        EXPECT_EQ(firstByte(view.tempImage[0][0]), 0);
        if (!r.removed.isEmpty()) {
            EXPECT_FALSE(QFile::exists(TemplateLibrary::TemplatePath(0, 0, 15)));
            ASSERT_EQ(deletedSent.size(), 1u);
            EXPECT_EQ(deletedSent[0], std::make_tuple(1, 1, r.removed));
        }
    }
}

TEST_F(Templates, AddingIsRefused)
{
    using TemplateLibrary::AddResult;
    const struct { const char *name; TemplateLibrary::AddRequest request; int slotNum; bool password; bool yes; AddResult result; int warning; } rows[] = {
        {"otherCameraAlarms", {.alarmPending = true, .alarmOnThisCamera = false}, 10, true, true, AddResult::NotAlarmCamera, 107},
        {"doorClosed", {.alarmPending = true, .doorMustBeOpen = true, .doorOpen = false}, 10, true, true, AddResult::DoorClosed, 195},
        {"singleSlot", {}, 1, true, true, AddResult::SingleSlot, 258},
        {"password", {}, 10, false, true, AddResult::NotAllowed, -1},
        {"answeredNo", {}, 10, true, false, AddResult::Cancelled, -1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        warnings.clear();
        gTempNum = r.slotNum;
        passwordOk = r.password;
        answer = r.yes;
        CameraVision view(0);
        TemplateLibrary::LoadTemplates(view);
        EXPECT_EQ(TemplateLibrary::AddTemplate(view, nullptr, r.request), r.result);
        EXPECT_EQ(view.tempCount[0], 1);
        EXPECT_EQ(templateFiles(0, 0), QStringList());
        if (r.warning >= 0) {
            EXPECT_EQ(warnings, QStringList{LanStr(r.warning)});
        } else {
            EXPECT_TRUE(warnings.isEmpty());
        }
    }
}

TEST_F(Templates, AlarmAddsToTheAlarmingDetectionFromARecentFailedFrame)
{
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    view.workImage.setTo(31);
    view.KeepFailedFrame(1);
    view.workImage.setTo(32);
    view.KeepFailedFrame(1);
    TemplateLibrary::AddRequest request;
    request.detection = 0;
    request.alarmPending = true;
    request.alarmDetection = 1;
    request.doorMustBeOpen = true;
    request.doorOpen = true;
    request.liveShown = false;
    request.failFrameShown = 1;
    int slot = -1;
    ASSERT_EQ(TemplateLibrary::AddTemplate(view, nullptr, request, &slot), TemplateLibrary::AddResult::Added);
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(view.tempCount[0], 1);
    EXPECT_EQ(view.tempCount[1], 2);
    EXPECT_EQ(firstByte(view.tempImage[1][1]), 32);
}

TEST_F(Templates, DeletingTheCurrentTemplate)
{
    for (int j : {0, 2, 5})
        writeTemplate(0, 0, j, j, 0);
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);

    // Template 0 is refused with the hint to resample.
    EXPECT_FALSE(TemplateLibrary::DeleteCurrent(view, 0));
    EXPECT_EQ(warnings, QStringList{LanStr(68)});
    EXPECT_EQ(view.tempCount[0], 3);

    view.tempCur[0] = 2;
    answer = false;
    EXPECT_FALSE(TemplateLibrary::DeleteCurrent(view, 0));
    EXPECT_EQ(view.tempCount[0], 3);

    answer = true;
    ASSERT_TRUE(TemplateLibrary::DeleteCurrent(view, 0));
    EXPECT_EQ(view.tempCount[0], 2);
    EXPECT_EQ(view.tempFlag[0][2], 0);
    EXPECT_TRUE(view.isReTrain);
    EXPECT_EQ(view.tempCur[0], 5);  // the next template is shown
    EXPECT_EQ(templateFiles(0, 0), (QStringList{"template0.bmp", "template5.bmp"}));
    ASSERT_EQ(deletedSent.size(), 1u);
    EXPECT_EQ(deletedSent[0], std::make_tuple(1, 1, QStringLiteral("template2.bmp")));

    // A slot that holds nothing cannot be deleted twice.
    view.tempCur[0] = 2;
    EXPECT_FALSE(TemplateLibrary::DeleteCurrent(view, 0));
    EXPECT_EQ(view.tempCount[0], 2);
}

TEST_F(Templates, DeletingAllKeepsOnlyTemplateZero)
{
    for (int j : {0, 1, 2, 11})
        writeTemplate(1, 1, j, j, 0);
    writeTemplate(0, 0, 3, 3, 0);  // no template0.bmp here: nothing may stay
    QFile("cammer22/template7.bmp.tmp").open(QIODevice::WriteOnly);
    CameraVision first(0), second(1);
    TemplateLibrary::LoadTemplates(first);
    TemplateLibrary::LoadTemplates(second);
    second.tempCur[1] = 2;
    CameraVision *views[] = {&first, &second};
    TemplateLibrary::DeleteAll(views);
    EXPECT_EQ(templateFiles(1, 1), QStringList{"template0.bmp"});
    EXPECT_EQ(templateFiles(0, 0), QStringList());
    for (CameraVision *view : views)
        for (int d = 0; d < gDNum; ++d) {
            EXPECT_EQ(view->tempCount[d], 1);
            EXPECT_EQ(view->tempCur[d], 0);
            EXPECT_EQ(std::count(view->tempFlag[d].begin(), view->tempFlag[d].end(), 1), 1);
            EXPECT_EQ(view->tempFlag[d][0], 1);
        }
    EXPECT_EQ(deletedSent.size(), 5u);
}

TEST_F(Templates, BrowsingSkipsEmptySlotsAndWraps)
{
    for (int j : {0, 3, 8})
        writeTemplate(0, 0, j, j, 0);
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    const struct { int step; int expected; } steps[] = {{1, 3}, {1, 8}, {1, 0}, {-1, 8}, {-1, 3}, {-1, 0}, {-1, 8}};
    for (const auto &s : steps)
        EXPECT_EQ(TemplateLibrary::Browse(view, 0, s.step), s.expected);
}

// With parked templates the station holds no template pixels after training, trains the same
// models from the files, reads a parked template back for the editor, and treats a template file
// that went missing since start-up as start-up would.
TEST_F(Templates, ParkedTemplatesTrainTheSameModelsFromTheirFiles)
{
    for (int j = 0; j < 3; ++j)
        writeTemplate(0, 0, j, 90 + 10 * j, 0);
    gpWPara->stage_enable[0] = 1;
    auto build = [](CameraVision &view) {
        view.LoadFiles();
        CammerSingleton &s = view.singleton;
        s.roiNum[0] = 1;
        s.SetDefaultRegion(0, 0);
        s.roiFunc[0][0] = FuncDefect;
        s.rect[0][0].setCorners(10, 10, 69, 49);
        view.RebuildMask(0, 0);
    };
    CameraVision kept(0), parked(0);
    build(kept);
    build(parked);
    parked.parkTemplates = true;
    CammerRecong keptModels(kept), parkedModels(parked);

    for (int j = 0; j < 3; ++j)
        EXPECT_TRUE(parked.tempImage[0][j].empty()) << j;
    EXPECT_FALSE(kept.tempImage[0][1].empty());
    const GrayMatch &a = keptModels.grayModel(0, 0), &b = parkedModels.grayModel(0, 0);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(cv::norm(a.lowerLimit(), b.lowerLimit(), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(a.upperLimit(), b.upperLimit(), cv::NORM_INF), 0.0);
    EXPECT_EQ(firstByte(parked.Template(0, 2)), 110) << "read back for the editor";

    // Template 0 deleted behind the station's back: the synthetic template, named in the record.
    ASSERT_TRUE(QFile::remove(TemplateLibrary::TemplatePath(0, 0, 0)));
    parked.ParkTemplates(0);
    QStringList record;
    EventRecord::SetSink([&](const QString &text) { record << text; });
    parkedModels.VarTrain(0);
    EventRecord::SetSink(nullptr);
    EXPECT_EQ(record, QStringList{UnreadableFileText(0, 0, QStringLiteral("cammer11/template0.bmp"))});
    EXPECT_EQ(parked.tempCount[0], 3);
    const cv::Mat &synthetic = parked.Template(0, 0);
    ASSERT_FALSE(synthetic.empty()) << "the synthetic template is no file and stays";
    EXPECT_EQ(synthetic.at<uint8_t>(kH / 2, kW / 2), 255);
    EXPECT_EQ(synthetic.at<uint8_t>(0, 0), 0);
}
