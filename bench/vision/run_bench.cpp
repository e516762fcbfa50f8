// The detection run of one camera: 20 defect regions over half of a 1280 x 1024 image, 10 templates,
// next to a plain absdiff + threshold over the same pixels.
#include "core/globals.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/lib/checkrange.h"
#include "vision/templatelibrary.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

constexpr int kW = 1280;
constexpr int kH = 1024;

struct Scene
{
    QTemporaryDir dir;
    WizardPara para;
    std::unique_ptr<CameraVision> view;
    std::unique_ptr<CammerRecong> recong;
    cv::Mat good;

    Scene()
    {
        QDir::setCurrent(dir.path());
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        db.open();
        QSqlQuery(db).exec(QStringLiteral("create table cammer0(name text, value text)"));
        gImageW = kW;
        gImageH = kH;
        gImageLen = gColorLen = kW * kH;
        gisColor = false;
        gTempNum = 10;
        gDNum = 2;
        SetImageSize(kW, kH);
        para.enable_display_detail = 1;
        para.enable_correct = -1;
        para.minimum_area = 100;
        para.enable_stop_check = 3;
        gpWPara = &para;

        cv::RNG rng(7);
        good.create(kH, kW, CV_8UC1);
        rng.fill(good, cv::RNG::UNIFORM, 60, 180);
        cv::GaussianBlur(good, good, cv::Size(7, 7), 2);
        view = std::make_unique<CameraVision>(0);
        TemplateLibrary::LoadTemplates(*view);
        for (int t = 0; t < 10; ++t) {
            cv::Mat noisy = good.clone();
            cv::Mat noise(kH, kW, CV_16SC1);
            rng.fill(noise, cv::RNG::NORMAL, 0, 3);
            noisy.convertTo(noisy, CV_16SC1);
            noisy += noise;
            noisy.convertTo(view->tempImage[0][t], CV_8UC1);
            view->tempFlag[0][t] = 1;
        }
        view->tempCount[0] = 10;
        // A 5 x 4 grid of 256 x 128 regions: 20 regions, half of the image.
        CammerSingleton &s = view->singleton;
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 5; ++col) {
                const int i = s.roiNum[0]++;
                s.SetDefaultRegion(0, i);
                s.roiFunc[0][i] = 0;
                const int x = col * 256, y = row * 256;
                s.rect[0][i].setCorners(x, y, x + 255, y + 127);
                s.roiPara1[0][i] = 3;   // filter size
                s.roiPara2[0][i] = 45;  // sensitivity
                s.roiPara3[0][i] = 100;
                view->RebuildMask(0, i);
            }
        }
        recong = std::make_unique<CammerRecong>(*view, false);
        recong->VarTrain(0);
    }
};

Scene &scene()
{
    static Scene s;
    return s;
}

void BM_Run20DefectRegions(benchmark::State &state)
{
    Scene &s = scene();
    for (auto _ : state) {
        s.good.copyTo(s.view->workImage);
        s.recong->Run(0);
        benchmark::DoNotOptimize(s.view->imageOK);
    }
}
BENCHMARK(BM_Run20DefectRegions)->Unit(benchmark::kMillisecond);

void BM_ShapeMatchAndRun(benchmark::State &state)
{
    Scene &s = scene();
    s.para.enable_correct = 0;
    s.recong->CreateShape(0);
    for (auto _ : state) {
        s.good.copyTo(s.view->captureImage);
        s.recong->ShapeMatch(0);
        s.recong->Run(0);
        benchmark::DoNotOptimize(s.view->imageOK);
    }
    s.para.enable_correct = -1;
}
BENCHMARK(BM_ShapeMatchAndRun)->Unit(benchmark::kMillisecond);

// Baseline: one absolute difference and threshold over the whole image.
void BM_BaselineAbsdiffThreshold(benchmark::State &state)
{
    Scene &s = scene();
    cv::Mat diff, ng;
    for (auto _ : state) {
        cv::absdiff(s.good, s.view->tempImage[0][0], diff);
        cv::threshold(diff, ng, 45, 255, cv::THRESH_BINARY);
        benchmark::DoNotOptimize(ng.data);
    }
}
BENCHMARK(BM_BaselineAbsdiffThreshold)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
