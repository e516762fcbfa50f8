// Video sharing of the whole screen (mode 1) on a 1920 x 1080 window full of widgets: what the
// GUI thread pays (taking the shown screen and handing it over) against painting the window
// again, and what the copier thread pays (I420 conversion and the copy into shared memory),
// next to a plain copy of the picture as the baseline.
#include "net/netshare.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <opencv2/core.hpp>

#include <cstring>

namespace {

struct Screen
{
    Screen()
    {
        window.resize(1920, 1080);
        auto *grid = new QGridLayout(&window);
        for (int i = 0; i < 48; ++i) {
            grid->addWidget(new QLabel(QStringLiteral("相机 %1 正在检测").arg(i)), i / 6, (i % 6) * 2);
            grid->addWidget(new QPushButton(QStringLiteral("Button %1").arg(i)), i / 6, (i % 6) * 2 + 1);
        }
        window.show();
        QApplication::processEvents();
    }
    QImage grab() { return window.screen()->grabWindow(window.winId()).toImage(); }
    QWidget window;
};

Screen &screen()
{
    static Screen s;
    return s;
}

cv::Mat wrap(QImage &image)
{
    return cv::Mat(image.height(), image.width(), CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
}

// GUI thread: the picture the screen already shows.
void BM_GrabShownScreen(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(screen().grab());
}
BENCHMARK(BM_GrabShownScreen)->Unit(benchmark::kMillisecond);

// GUI thread, for comparison: painting the whole window again into a picture.
void BM_PaintWindowAgain(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(screen().window.grab().toImage());
}
BENCHMARK(BM_PaintWindowAgain)->Unit(benchmark::kMillisecond);

// GUI thread, all it does per video tick in mode 1: take the screen, hand a copy to the copier.
void BM_GuiThreadPerTick(benchmark::State &state)
{
    QTemporaryDir keys;
    NetShare share(keys.path(), 5);
    share.add(0, 1920, 1080, 20);
    for (auto _ : state) {
        share.post(0, screen().grab());
    }
    share.drain();
}
BENCHMARK(BM_GuiThreadPerTick)->Unit(benchmark::kMillisecond);

// Copier thread: I420 conversion and the copy under the semaphore.
void BM_CopierPerPicture(benchmark::State &state)
{
    QTemporaryDir keys;
    NetShare share(keys.path(), 5);
    share.add(0, 1920, 1080, 20);
    QImage image = screen().grab();
    const cv::Mat picture = wrap(image);
    for (auto _ : state)
        share.copyNow(0, picture, PixelOrder::Bgra);
}
BENCHMARK(BM_CopierPerPicture)->Unit(benchmark::kMillisecond);

// GUI thread per camera in mode 2: handing over a 1280 x 1024 colour picture (a copy).
void BM_GuiThreadPerCamera(benchmark::State &state)
{
    QTemporaryDir keys;
    NetShare share(keys.path(), 5);
    cv::Mat camera(1024, 1280, CV_8UC4, cv::Scalar(40, 80, 120, 255));
    share.add(1, 1280, 1024, 20, camera, PixelOrder::Rgba);
    for (auto _ : state) {
        share.post(1, cv::Mat(), PixelOrder::Rgba, NetShare::Stamp());
        share.drain();  // the copier's work is not timed here: it runs on its own thread
    }
}
BENCHMARK(BM_GuiThreadPerCamera)->Unit(benchmark::kMillisecond);

// Copier thread per camera in mode 2: time stamp, I420 conversion, copy.
void BM_CopierPerCamera(benchmark::State &state)
{
    QTemporaryDir keys;
    NetShare share(keys.path(), 5);
    share.add(1, 1280, 1024, 20);
    cv::Mat camera(1024, 1280, CV_8UC4, cv::Scalar(40, 80, 120, 255));
    for (auto _ : state)
        share.copyNow(1, camera, PixelOrder::Rgba, NetShare::Stamp());
}
BENCHMARK(BM_CopierPerCamera)->Unit(benchmark::kMillisecond);

// Baseline: one plain copy of the 32-bit picture.
void BM_Baseline_CopyPicture(benchmark::State &state)
{
    QImage image = screen().grab();
    std::vector<uint8_t> target(size_t(image.sizeInBytes()));
    for (auto _ : state) {
        std::memcpy(target.data(), image.constBits(), target.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Baseline_CopyPicture)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    // Headless on a panel-sized screen with the station's font.
    const QString config = QDir::tempPath() + QStringLiteral("/mould-offscreen-bench.json");
    QFile file(config);
    if (file.open(QIODevice::WriteOnly))
        file.write(R"({"screens":[{"name":"panel","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96}]})");
    file.close();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
        qputenv("QT_QPA_FONTDIR", "/usr/share/fonts/truetype/wqy");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
