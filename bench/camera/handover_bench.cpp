// Frame hand-over with eight simulated 1280 x 1024 cameras at 30 frames per second: the cost of one
// hand-over against a plain copy, and the CPU per frame and the age of the frame the cycle takes.
#include "core/globals.h"
#include "camera/cameraacquisition.h"
#include "camera/cameraglobals.h"
#include "camera/sdk/simcamerapool.h"
#include "params/wizardpara.h"

#include <benchmark/benchmark.h>

#include <QMutex>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kCameras = 8;

void setUpStation()
{
    static WizardPara para;
    gpWPara = &para;
    gImageW = kWidth;
    gImageH = kHeight;
    gImageLen = kWidth * kHeight;
    gColorLen = gImageLen;
    gisColor = false;
    for (auto *&mutex : pMutex)
        if (!mutex)
            mutex = new QMutex;
    CameraThread::startDelayMs = 0;
}

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Baseline: one plain copy of a frame.
void BM_PlainCopy(benchmark::State &state)
{
    std::vector<uint8_t> from(kWidth * kHeight, 7), to(kWidth * kHeight);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(to.size()));
}
BENCHMARK(BM_PlainCopy);

// One delivery and one take: the two copies a frame costs on its way to the cycle.
void BM_DeliverAndTake(benchmark::State &state)
{
    setUpStation();
    FrameSlot slot(0);
    std::vector<uint8_t> frame(kWidth * kHeight, 7);
    for (auto _ : state) {
        slot.deliver(frame.data(), frame.size());
        benchmark::DoNotOptimize(slot.take());
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_DeliverAndTake);

// Eight polled cameras (camera threads at 10 ms) fed at 30 fps; the cycle takes every 3 ms.
void BM_EightCamerasAt30fps(benchmark::State &state)
{
    setUpStation();
    camsdk::SimCameraPool pool(camsdk::Vendor::MindVision);
    camsdk::SetSdk(camsdk::Vendor::MindVision, &pool);
    for (int i = 0; i < kCameras; ++i) {
        camsdk::DeviceInfo info;
        info.serial = "BENCH000" + std::to_string(i);
        info.sensorWidth = kWidth;
        info.sensorHeight = kHeight;
        pool.addDevice(info);
    }
    gCameraID = kCameraMindVision;
    gFindCamera = kCameras;
    pool.enumerate(&gCList);
    std::vector<std::unique_ptr<CameraAcquisition>> cameras;
    for (int p = 0; p < kCameras; ++p) {
        cameras.push_back(std::make_unique<CameraAcquisition>(p));
        cameras.back()->CameraOpen();
        cameras.back()->CameraStart();
    }
    std::atomic<bool> feeding{true};
    std::thread sensor([&] {
        std::vector<uint8_t> frame(kWidth * kHeight, 1);
        auto next = std::chrono::steady_clock::now();
        while (feeding) {
            // The push time rides in the frame's first bytes, so the cycle sees the sensor-to-cycle age.
            const int64_t stamp = nowNs();
            std::memcpy(frame.data(), &stamp, sizeof stamp);
            for (int i = 0; i < kCameras; ++i)
                pool.pushFrame(i, frame.data(), kWidth, kHeight, 1);
            next += std::chrono::microseconds(33333);
            std::this_thread::sleep_until(next);
        }
    });
    std::vector<double> agesMs;
    long taken = 0;
    const double cpuBefore = processCpuSeconds();
    long deliveredBefore = 0;
    for (auto &camera : cameras)
        deliveredBefore += camera->frames().framesDelivered();
    for (auto _ : state) {
        // One second of cycle ticks.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < end) {
            for (auto &camera : cameras) {
                if (camera->TakeFrame()) {
                    int64_t pushed = 0;
                    std::memcpy(&pushed, camera->workingImage(), sizeof pushed);
                    agesMs.push_back((nowNs() - pushed) / 1e6);
                    ++taken;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    }
    const double cpu = processCpuSeconds() - cpuBefore;
    long delivered = -deliveredBefore;
    for (auto &camera : cameras)
        delivered += camera->frames().framesDelivered();
    feeding = false;
    sensor.join();
    cameras.clear();
    camsdk::SetSdk(camsdk::Vendor::MindVision, nullptr);
    std::sort(agesMs.begin(), agesMs.end());
    const auto percentile = [&](double q) {
        return agesMs.empty() ? 0.0 : agesMs[std::min(agesMs.size() - 1, static_cast<std::size_t>(q * agesMs.size()))];
    };
    state.counters["frames_delivered"] = static_cast<double>(delivered);
    state.counters["frames_taken"] = static_cast<double>(taken);
    state.counters["cpu_us_per_frame"] = delivered > 0 ? cpu * 1e6 / delivered : 0;
    state.counters["age_p50_ms"] = percentile(0.50);
    state.counters["age_p99_ms"] = percentile(0.99);
}
BENCHMARK(BM_EightCamerasAt30fps)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
