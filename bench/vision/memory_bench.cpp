// Heap held by the vision state of 8 cameras at 1280 x 1024: 10 templates x 2 detections each,
// 4 cavity regions and a position region per detection, trained, after a run and three failed
// frames per detection. Reported in bytes and in frames of gImageLen per camera, once with the
// templates kept in memory (as tools do) and once parked in their files (as the station does).
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

#include <opencv2/imgproc.hpp>

#include <malloc.h>

#include <memory>
#include <vector>

namespace {

constexpr int kW = 1280;
constexpr int kH = 1024;
constexpr int kCameras = 8;
constexpr int kTemplates = 10;

// Bytes the allocator hands out now, from its heaps and from mmap.
double heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks) + double(info.hblkhd);
}

struct Station
{
    QTemporaryDir dir;
    WizardPara para;

    Station()
    {
        QDir::setCurrent(dir.path());
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        db.open();
        gImageW = kW;
        gImageH = kH;
        gImageLen = gColorLen = kW * kH;
        gisColor = false;
        gTempNum = kTemplates;
        gDNum = 2;
        SetImageSize(kW, kH);
        para.enable_display_detail = 1;
        para.enable_correct = 0;
        para.word179 = 1;
        para.location_adge = 24;
        para.stage_enable[0] = para.stage_enable[1] = 1;
        gpWPara = &para;

        // Template files of every camera, written once.
        cv::RNG rng(7);
        cv::Mat scene(kH, kW, CV_8UC1);
        rng.fill(scene, cv::RNG::UNIFORM, 40, 200);
        cv::GaussianBlur(scene, scene, cv::Size(9, 9), 3);
        for (int camera = 0; camera < kCameras; ++camera) {
            QSqlQuery(db).exec(QStringLiteral("create table cammer%1(name text, value text)").arg(camera));
            CameraVision view(camera);
            for (int d = 0; d < 2; ++d) {
                for (int t = 0; t < kTemplates; ++t) {
                    cv::Mat noise(kH, kW, CV_8UC1);
                    rng.fill(noise, cv::RNG::UNIFORM, 0, 6);
                    view.tempImage[d][t] = scene + noise;
                    TemplateLibrary::SaveTemplate(view, d, t);
                }
            }
        }
    }
};

Station &station()
{
    static Station s;
    return s;
}

// One camera as the station builds it: templates from disk, regions, trained models.
struct Camera
{
    std::unique_ptr<CameraVision> view;
    std::unique_ptr<CammerRecong> recong;
};

Camera makeCamera(int camera, bool park)
{
    Camera c;
    c.view = std::make_unique<CameraVision>(camera);
    c.view->parkTemplates = park;
    TemplateLibrary::LoadTemplates(*c.view);
    CammerSingleton &s = c.view->singleton;
    for (int d = 0; d < 2; ++d) {
        auto add = [&](int function, int x, int y, int w, int h) {
            const int i = s.roiNum[d]++;
            s.SetDefaultRegion(d, i);
            s.roiFunc[d][i] = function;
            s.rect[d][i].setCorners(x, y, x + w - 1, y + h - 1);
            s.roiPara1[d][i] = function == FuncPosition ? 10 : 5;
            s.roiPara2[d][i] = 90;
            s.roiPara3[d][i] = 200;
        };
        add(FuncPosition, 0, 0, kW, 200);
        for (int cavity = 0; cavity < 4; ++cavity)
            add(FuncDefect, 80 + (cavity % 2) * 600, 260 + (cavity / 2) * 380, 480, 340);
    }
    c.recong = std::make_unique<CammerRecong>(*c.view);
    for (int d = 0; d < 2; ++d) {
        c.view->captureImage.setTo(100);
        c.recong->ShapeMatch(d);
        c.recong->Run(d);
        for (int k = 0; k < kFailFrames; ++k)
            c.view->KeepFailedFrame(d);
    }
    return c;
}

void report(benchmark::State &state, double bytes)
{
    state.counters["MB_per_camera"] = bytes / kCameras / 1e6;
    state.counters["frames_per_camera"] = bytes / kCameras / double(gImageLen);
}

void BM_EightCamerasTemplatesInMemory(benchmark::State &state)
{
    station();
    for (auto _ : state) {
        const double before = heapBytes();
        std::vector<Camera> cameras;
        for (int camera = 0; camera < kCameras; ++camera)
            cameras.push_back(makeCamera(camera, false));
        report(state, heapBytes() - before);
    }
}
BENCHMARK(BM_EightCamerasTemplatesInMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_EightCamerasTemplatesParked(benchmark::State &state)
{
    station();
    for (auto _ : state) {
        const double before = heapBytes();
        std::vector<Camera> cameras;
        for (int camera = 0; camera < kCameras; ++camera)
            cameras.push_back(makeCamera(camera, true));
        report(state, heapBytes() - before);
    }
}
BENCHMARK(BM_EightCamerasTemplatesParked)->Iterations(1)->Unit(benchmark::kMillisecond);

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
