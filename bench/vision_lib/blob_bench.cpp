// CBlobResult on a sparse and on a noisy 1280 x 1024 NG image, against connectedComponentsWithStats.
#include "vision/lib/blob.h"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <ctime>

namespace {

double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// 0: sparse, a few opened NG areas as a detection run leaves them; 1: noisy, an unopened NG
// image of a badly lit region with 5 % scattered pixels and some areas.
const cv::Mat& ngImage(int kind)
{
    static cv::Mat images[2];
    cv::Mat& image = images[kind];
    if (image.empty()) {
        cv::RNG rng(31);
        image = cv::Mat::zeros(1024, 1280, CV_8UC1);
        if (kind == 1) {
            cv::Mat noise(image.size(), CV_32F);
            rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
            image = noise < 0.05;
        }
        for (int i = 0; i < 30; ++i)
            cv::ellipse(image, cv::Point(rng.uniform(0, 1280), rng.uniform(0, 1024)),
                        cv::Size(rng.uniform(3, 40), rng.uniform(3, 40)), rng.uniform(0, 180), 0, 360,
                        cv::Scalar(255), cv::FILLED);
    }
    return image;
}

void BM_ConnectedComponentsWithStats(benchmark::State& state)
{
    const cv::Mat& image = ngImage(int(state.range(0)));
    cv::Mat labels, stats, centroids;
    for (auto _ : state)
        benchmark::DoNotOptimize(cv::connectedComponentsWithStats(image, labels, stats, centroids, 8, CV_32S));
}

// The baseline is timed first in the same run (20 calls), then CBlobResult alone, so both
// work on a warm image as the detection run does right after the opening.
void BM_BlobResult(benchmark::State& state)
{
    const cv::Mat& image = ngImage(int(state.range(0)));
    cv::Mat labels, stats, centroids;
    constexpr int BaselineCalls = 20;
    const double b0 = threadSeconds();
    for (int i = 0; i < BaselineCalls; ++i)
        cv::connectedComponentsWithStats(image, labels, stats, centroids, 8, CV_32S);
    const double plain = (threadSeconds() - b0) / BaselineCalls;

    double own = 0.0;
    int count = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        const CBlobResult blobs(image, nullptr, 0);
        double area = 0.0;
        for (int i = 0; i < blobs.GetNumBlobs(); ++i)
            area += blobs.GetBlob(i).Area();
        const double t1 = threadSeconds();
        benchmark::DoNotOptimize(area);
        count = blobs.GetNumBlobs();
        state.SetIterationTime(t1 - t0);
        own += t1 - t0;
    }
    const double n = double(state.iterations());
    state.counters["own_us"] = 1e6 * own / n;
    state.counters["baseline_us"] = 1e6 * plain;
    state.counters["ratio"] = own / n / plain;
    state.counters["budget_us"] = 1000;
    state.counters["blobs"] = count;
}

} // namespace

BENCHMARK(BM_ConnectedComponentsWithStats)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlobResult)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
