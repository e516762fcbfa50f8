// Reaction of the whole station: a machine input edge at the simulated board to the interlock
// output at the board, through the IO link, the cycle and the detection of N cameras x M regions on
// 1280 x 1024 frames, for a stage without delay. Arguments: cameras, defect regions per camera,
// position correction (0/1) and the cameras' frame rate (the stage judges only frames taken after
// its trigger, so half a frame period is part of every reaction).
//
// Semi-automatic mode 0 with the product stage off: input 1 starts the cycle (clamping prohibited
// at once, no detection), input 3 triggers the mould stage with delay 0, whose pass allows
// clamping. The first edge is the baseline measured in the same cycles: the station's reaction
// without detection. A plain OpenCV baseline (absdiff + threshold over the same regions) shows the
// floor of the detection work.
#include "core/globals.h"
#include "io/controlport.h"
#include "net/network.h"
#include "app/mojuwizard.h"
#include "app/wiring.h"
#include "ui/prompt.h"
#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/systemgateway.h"
#include "core/texttable.h"
#include "ui/warnbox.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tools/ioboard-sim/ioboardsim.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/judgepool.h"
#include "vision/templatelibrary.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QThread>

#include <sys/sem.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

using Clock = IoBoardSim::Clock;

namespace {

constexpr int kW = 1280;
constexpr int kH = 1024;
constexpr int kCycles = 200;
constexpr int kTemplates = 5;

// What one run of the benchmark sets up.
struct Setup
{
    int cameras = 2;
    int regions = 10;
    bool correction = false;
    int fps = 100;
    bool operator==(const Setup &) const = default;
    // The budgets: 2 x 10 within 10 ms; 8 x 20 with correction within 25 ms and twice the baseline.
    double budgetP99Ms() const { return cameras <= 2 && regions <= 10 && !correction ? 10.0 : 25.0; }
};

// A textured mould: smooth noise, the same on every frame but for the sensor noise.
cv::Mat mouldImage(int seed)
{
    cv::Mat image(kH, kW, CV_8UC1);
    cv::RNG rng(7);
    rng.fill(image, cv::RNG::UNIFORM, 40, 200);
    cv::GaussianBlur(image, image, cv::Size(0, 0), 6);
    // Mould features with edges for the position correction.
    cv::rectangle(image, cv::Rect(570, 460, 70, 50), cv::Scalar(230), cv::FILLED);
    cv::circle(image, cv::Point(690, 530), 28, cv::Scalar(20), cv::FILLED);
    cv::Mat noise(kH, kW, CV_8UC1);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, 2);
    cv::add(image, noise, image);
    return image;
}

// Regions of 200 x 150, five to a row: ten cover a quarter of the image, twenty half of it.
cv::Rect regionRect(int i)
{
    return cv::Rect(40 + (i % 5) * 245, 40 + (i / 5) * 245, 200, 150);
}

// The position region of the correction, in the middle of the mould.
cv::Rect positionRect() { return cv::Rect(540, 437, 200, 150); }

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))];
}

// With MOULD_BENCH_NET=stalled the station reports to a relay that connected and reads nothing,
// while a message of 1 KiB is queued every 2 ms besides the station's own reports. With
// MOULD_BENCH_NET=held the station also shares every camera's picture at 25 frames a second and
// the relay holds every picture's semaphore for the whole run.
bool heldPictures() { return qgetenv("MOULD_BENCH_NET") == "held"; }
bool stalledRelay() { return qgetenv("MOULD_BENCH_NET") == "stalled" || heldPictures(); }

// Takes each shared picture's semaphore and keeps it, as a relay that hangs while reading would.
// Without undo: the semaphores stay taken until the station resets or removes them.
int holdSharedPictures()
{
    int held = 0;
    NetShare *share = gpNet ? gpNet->share() : nullptr;
    for (int position = 0; share && position < NetShare::kPositions; ++position) {
        const VideoShareInfo *info = share->info(position);
        sembuf take{0, -1, IPC_NOWAIT};
        if (info && semop(info->semid, &take, 1) == 0)
            ++held;
    }
    return held;
}

// The station in a temporary directory, taught and started, against the simulated board and cameras.
struct Station
{
    QTcpSocket relay;
    QTimer traffic;

    IoBoardSim board;
    std::unique_ptr<TempStation> dir;
    std::unique_ptr<MoJuWizard> window;
    unsigned inverted = 0;
    std::string error;

    Setup setup;
    double startUpMs = 0;  // the main window's construction: probe, cameras, vision state, cycle
    int heldSemaphores = 0;

    explicit Station(const Setup &wanted) : setup(wanted)
    {
        if (!board.open(&error))
            return;
        qputenv("MOULD_SERIAL_DEVICE", QByteArray::fromStdString(board.slavePath()));
        // The simulated cameras live for the process in one folder: a station with fewer cameras
        // than the last one finds the others unplugged.
        static QTemporaryDir cameras;
        qputenv("MOULD_SIM_CAMERAS", QFile::encodeName(cameras.path()));
        dir = std::make_unique<TempStation>();
        FillTextTable();
        gLan = 1;
        Prompt::SetAnswerer([](const Prompt::Asked &) -> QVariant { return 1; });
        WarnBox::setAnswerer([](const WarnBox &box) {
            return qobject_cast<const ChooseBox *>(&box) ? QDialog::Rejected : QDialog::Accepted;
        });
        StationWiring::InstallOperatorPort();
        SystemGateway::setRestartHandler([] {});
        for (int c = setup.cameras; c < 8; ++c)
            QDir(cameras.filePath(QStringLiteral("cam%1").arg(c + 1))).removeRecursively();
        for (int c = 0; c < setup.cameras; ++c) {
            const QString folder = cameras.filePath(QStringLiteral("cam%1").arg(c + 1));
            if (QFile::exists(folder + QStringLiteral("/frame.png")))
                continue;
            QDir().mkpath(folder);
            QFile serial(folder + QStringLiteral("/serial"));
            if (serial.open(QIODevice::WriteOnly))
                serial.write(QStringLiteral("BENCHCAM%1\n").arg(c + 1).toLatin1());
            cv::imwrite(QFile::encodeName(folder + QStringLiteral("/frame.png")).toStdString(), mouldImage(100 + c));
        }
        QThread::msleep(200);  // the cameras' watcher sees the folders as they are now
        if (!teach())
            return;
        if (stalledRelay()) {
            NetOptions options;
            options.port = 0;
            static QTemporaryDir keys;  // the shared pictures' keys apart from a running station's
            options.shareKeyPath = keys.path();
            gpNet = new CNT_Net(nullptr, options);
        }
        QElapsedTimer startUp;
        startUp.start();
        window = std::make_unique<MoJuWizard>();
        startUpMs = double(startUp.elapsed());
        if (gpNet) {
            StationWiring::InstallNetwork(*window);
            gpNet->CNT_FirstInit();  // the shared pictures' timer, as the station starts it
            relay.connectToHost(QHostAddress::LocalHost, gpNet->port());
            relay.setReadBufferSize(1);
            QObject::connect(&traffic, &QTimer::timeout, [] { gpNet->send(SendStatisticsOnce, QByteArray(1024, 'x')); });
            traffic.start(2);
        }
        if (!window->isUp() || numCamera != setup.cameras) {
            error = "the station did not come up with every camera";
            return;
        }
        if (heldPictures()) {
            settle(300);  // the relay's connection and the announcement of the pictures
            heldSemaphores = holdSharedPictures();
            if (heldSemaphores != setup.cameras) {
                error = "the shared pictures were not there to hold";
                return;
            }
        }
        for (int k = 0; k < 9; ++k)
            if (gpWPara->output_level[k] != 0)
                inverted |= 1u << k;
        for (int c = 0; c < setup.cameras; ++c) {
            const CameraVision *vision = window->cameras()->vision(c);
            if (!vision || vision->singleton.roiNum[1] != setup.regions + (setup.correction ? 1 : 0)
                || vision->tempCount[1] != kTemplates) {
                error = "the taught regions and templates did not load";
                return;
            }
        }
        // One untimed cycle: frames in, models warm.
        board.setInput(0, true);
        const bool started = waitOutput(1, true, 5000);
        board.setInput(2, true);
        const bool released = started && waitOutput(1, false, 5000);
        board.setInput(0, false);
        board.setInput(2, false);
        if (!released || !waitInputsSeen(0, 1000))
            error = "the first cycle did not allow clamping";
    }

    ~Station()
    {
        traffic.stop();
        window.reset();
        delete gpNet;
        gpNet = nullptr;
        CloseStationDatabases();
    }

    bool teach()
    {
        if (!OpenStationDatabases()) {
            error = "no station databases";
            return false;
        }
        {
            WizardPara para;
            para.LoadDatafromFile();
            para.semi_auto = 1;
            para.enable_product_detect = 0;
            para.trigInDelay[1] = 0;
            para.input_hold_time = 0;
            para.input_timeout_len = 0;
            para.front_auto_check_time = 0;
            para.ok_record_max_num = 0;
            para.enable_statistics = 0;
            para.net_report = stalledRelay() ? 1 : 0;
            if (heldPictures()) {
                para.net_options[0] = 2;  // each camera's picture
                para.net_options[1] = 4;  // 25 frames a second
            }
            para.enable_correct = setup.correction ? 0 : -1;
            para.capture_speed = setup.fps;
            para.SaveDatatoFile();
            gpWPara = &para;
            gImageW = kW;
            gImageH = kH;
            gImageLen = kW * kH;
            gColorLen = gImageLen;
            gisColor = false;
            gTempNum = para.max_mold_num;
            gDNum = 2;
            for (int c = 0; c < setup.cameras; ++c) {
                CameraVision view(c);
                TemplateLibrary::LoadTemplates(view);
                CammerSingleton &s = view.singleton;
                s.roiNum[1] = 0;
                auto addRegion = [&s](const cv::Rect &r, int func) {
                    const int i = s.roiNum[1]++;
                    s.SetDefaultRegion(1, i);
                    s.roiFunc[1][i] = func;
                    s.rect[1][i].setCorners(r.x, r.y, r.x + r.width - 1, r.y + r.height - 1);
                };
                if (setup.correction)
                    addRegion(positionRect(), FuncPosition);
                for (int i = 0; i < setup.regions; ++i)
                    addRegion(regionRect(i), FuncDefect);
                for (int j = 0; j < kTemplates; ++j) {
                    mouldImage(10 * c + j).copyTo(view.tempImage[1][j]);
                    view.tempFlag[1][j] = 1;
                    TemplateLibrary::SaveTemplate(view, 1, j);
                }
                view.tempCount[1] = kTemplates;
                s.SaveDatatoFile();
            }
            gpWPara = nullptr;
        }
        CloseStationDatabases();
        return true;
    }

    bool ok() const { return error.empty() && window; }

    bool output(int out) const { return ((board.outputs() ^ inverted) >> (out - 1)) & 1u; }

    // The station runs on this thread: its event loop turns while we wait.
    bool waitOutput(int out, bool on, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (output(out) != on) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (timer.elapsed() > timeoutMs)
                return false;
            QThread::usleep(200);
        }
        return true;
    }
    // Until the cycle has sampled the board's inputs as `word` (a short level is no edge before);
    // the word is read again for every input of a tick, so a few more ticks follow.
    bool waitInputsSeen(unsigned word, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while ((gpControlIO->inputWord() & 0x3FF) != word) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (timer.elapsed() > timeoutMs)
                return false;
            QThread::usleep(200);
        }
        settle(10);
        return true;
    }
    void settle(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::usleep(200);
        }
    }
    // Milliseconds from the last input change to the first board change of `out` into `on`.
    double reaction(int out, bool on) const
    {
        const Clock::time_point since = board.lastInputChange();
        for (const IoBoardSim::OutputChange &change : board.outputHistory()) {
            const bool before = ((change.before ^ inverted) >> (out - 1)) & 1u;
            const bool after = ((change.after ^ inverted) >> (out - 1)) & 1u;
            if (change.when >= since && before != after && after == on)
                return std::chrono::duration<double, std::milli>(change.when - since).count();
        }
        return -1;
    }
};

std::unique_ptr<Station> &stationSlot()
{
    static std::unique_ptr<Station> s;
    return s;
}

// One station at a time: a run with another set-up takes the old one down first.
Station &station(const Setup &setup)
{
    if (!stationSlot() || !(stationSlot()->setup == setup)) {
        stationSlot().reset();
        stationSlot() = std::make_unique<Station>(setup);
    }
    return *stationSlot();
}

void BM_InputEdgeToClampRelease(benchmark::State &state)
{
    Setup setup;
    setup.cameras = int(state.range(0));
    setup.regions = int(state.range(1));
    setup.correction = state.range(2) != 0;
    setup.fps = int(state.range(3));
    Station &s = station(setup);
    if (!s.ok()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    // The cameras of a stage judged side by side, or one after the other on the GUI thread.
    s.window->cycle()->setJudgeWorkers(state.range(4) ? JudgePool::defaultWorkers() : 0);
    std::vector<double> release, start;
    for (auto _ : state) {
        s.board.clearOutputHistory();
        s.board.setInput(0, true);
        if (!s.waitOutput(1, true, 1000)) {
            state.SkipWithError("input 1 did not prohibit clamping");
            break;
        }
        const double started = s.reaction(1, true);
        s.settle(5);
        s.board.clearOutputHistory();
        s.board.setInput(2, true);
        if (!s.waitOutput(1, false, 5000)) {
            state.SkipWithError("the mould stage did not allow clamping (detection failed?)");
            break;
        }
        const double released = s.reaction(1, false);
        state.SetIterationTime(released / 1000.0);
        release.push_back(released);
        start.push_back(started);
        s.board.setInput(0, false);
        s.board.setInput(2, false);
        if (!s.waitInputsSeen(0, 1000)) {
            state.SkipWithError("the station did not see the inputs fall");
            break;
        }
    }
    const double p99 = percentile(release, 0.99);
    const double baselineP99 = percentile(start, 0.99);
    const double ratio = baselineP99 > 0 ? p99 / baselineP99 : 0;
    state.counters["p50_ms"] = percentile(release, 0.50);
    state.counters["p99_ms"] = p99;
    state.counters["max_ms"] = percentile(release, 1.0);
    state.counters["baseline_p50_ms"] = percentile(start, 0.50);
    state.counters["baseline_p99_ms"] = baselineP99;
    state.counters["ratio_p99"] = ratio;
    state.counters["budget_p99_ms"] = setup.budgetP99Ms();
    state.counters["within_budget"] = p99 <= setup.budgetP99Ms() && (setup.cameras <= 2 || ratio <= 2.0) ? 1 : 0;
    state.counters["judge_workers"] = s.window->cycle()->judgeWorkers();
    state.counters["startup_ms"] = s.startUpMs;
    if (gpNet) {
        state.counters["pictures_held"] = s.heldSemaphores;
        if (const NetShare *share = gpNet->share()) {
            state.counters["pictures_copied"] = double(share->framesCopied());
            state.counters["pictures_skipped"] = double(share->framesSkipped());
        }
        state.counters["net_queued"] = double(gpNet->queued());
        state.counters["net_dropped"] = double(gpNet->droppedByBound());
    }
}

// The start-up work on the cameras' vision state that the station spreads over the judging pool:
// the regions of 8 cameras x 20 regions with correction from PARAM.db, then each camera's template
// files and training, one after the other (0) or side by side (1), as StationCameras does it.
void BM_BuildVisionState(benchmark::State &state)
{
    Setup setup;
    setup.cameras = 8;
    setup.regions = 20;
    setup.correction = true;
    setup.fps = 20;
    Station &s = station(setup);
    if (!s.ok()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    JudgePool pool(state.range(0) ? JudgePool::defaultWorkers() : 0);
    for (auto _ : state) {
        std::array<std::unique_ptr<CameraVision>, 8> vision;
        std::array<std::unique_ptr<CammerRecong>, 8> recong;
        for (int c = 0; c < setup.cameras; ++c) {
            vision[c] = std::make_unique<CameraVision>(c);
            vision[c]->LoadRegions();
        }
        pool.run(setup.cameras, [&](int c) {
            vision[c]->LoadImageFiles();
            recong[c] = std::make_unique<CammerRecong>(*vision[c]);
        });
        benchmark::DoNotOptimize(recong[7].get());
    }
    state.counters["workers"] = pool.workers();
}

// Plain OpenCV over the same regions of every camera: absdiff against one template and threshold.
void BM_OpenCvRegionsBaseline(benchmark::State &state)
{
    const cv::Mat frame = mouldImage(1);
    const cv::Mat reference = mouldImage(2);
    cv::Mat diff, binary;
    for (auto _ : state) {
        for (int c = 0; c < state.range(0); ++c) {
            for (int i = 0; i < state.range(1); ++i) {
                const cv::Rect r = regionRect(i);
                cv::absdiff(frame(r), reference(r), diff);
                cv::threshold(diff, binary, 45, 255, cv::THRESH_BINARY);
                benchmark::DoNotOptimize(binary.data);
            }
        }
    }
}

}  // namespace

BENCHMARK(BM_OpenCvRegionsBaseline)->Args({2, 10})->Args({8, 20})->Unit(benchmark::kMillisecond);
// Cameras, regions, correction, frame rate (the station's fastest capture, 100 frames a second, and
// its factory setting, 12), and whether the cameras are judged side by side.
BENCHMARK(BM_InputEdgeToClampRelease)
    ->ArgNames({"cams", "regions", "correction", "fps", "parallel"})
    ->Args({2, 10, 0, 100, 1})
    ->Args({8, 20, 1, 20, 1})
    ->Args({8, 20, 1, 20, 0})
    ->Args({2, 10, 0, 12, 1})
    ->Iterations(kCycles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildVisionState)->ArgName("parallel")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CreateSharedMutexes();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The station goes while the application object still stands.
    stationSlot().reset();
    return 0;
}
