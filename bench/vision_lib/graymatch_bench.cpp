// GrayMatch::Match on a 600 x 400 region of a 1280 x 1024 image, against absdiff + threshold, and
// with lighting compensation against without.
#include "vision/lib/graymatch.h"
#include "vision/lib/testing/sceneimage.h"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <ctime>

namespace {

// Thread CPU time: the machine is shared, so wall time would count other programs.
double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Setup
{
    Setup() : scene(cv::Size(1280, 1024), 5)
    {
        model.Create(region.width, region.height, cv::Mat(), 0);
        for (int i = 0; i < 10; ++i) {
            cv::Mat t = scene.reference().clone();
            SceneImage::addNoise(t, 3.0, 10 + i);
            model.AddTemp(t(region));
        }
        model.Train(45, 2, 100, 150);
        compensated = model;
        compensated.SetLightingCompensation(true);
        image = scene.reference().clone();
        SceneImage::addNoise(image, 3.0, 99);
        SceneImage::addDefect(image, cv::Point(700, 500), 6, 40);
        lit = image.clone();
        SceneImage::applyIllumination(lit, 1.1, 20.0);
    }

    SceneImage::Scene scene;
    const cv::Rect region{340, 300, 600, 400};
    GrayMatch model;
    GrayMatch compensated;
    cv::Mat image;
    cv::Mat lit;  // the same image under a lamp 10 % brighter and 20 levels up
};

const Setup& setup()
{
    static const Setup s;
    return s;
}

void baseline(const Setup& s, cv::Mat& diff, cv::Mat& out)
{
    cv::absdiff(s.image(s.region), s.scene.reference()(s.region), diff);
    cv::threshold(diff, out, 18, 255, cv::THRESH_BINARY);
}

void BM_AbsdiffThreshold(benchmark::State& state)
{
    const Setup& s = setup();
    cv::Mat diff, out;
    for (auto _ : state) {
        baseline(s, diff, out);
        benchmark::DoNotOptimize(out.data);
    }
}

// Both run in turn in every iteration, so the ratio sees the same machine load.
void BM_GrayMatchMatch(benchmark::State& state)
{
    const Setup& s = setup();
    cv::Mat diff, base, out;
    double own = 0.0, plain = 0.0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        s.model.Match(s.image(s.region), out);
        const double t1 = threadSeconds();
        baseline(s, diff, base);
        const double t2 = threadSeconds();
        benchmark::DoNotOptimize(out.data);
        benchmark::DoNotOptimize(base.data);
        state.SetIterationTime(t1 - t0);
        own += t1 - t0;
        plain += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["own_us"] = 1e6 * own / n;
    state.counters["baseline_us"] = 1e6 * plain / n;
    state.counters["ratio"] = own / plain;
    state.counters["budget_ratio"] = 1.5;
}

// The cost of the lighting fit: the compensated and the plain model on the same lit image, in turn.
void BM_GrayMatchLightingCompensation(benchmark::State& state)
{
    const Setup& s = setup();
    cv::Mat plainOut, out;
    double own = 0.0, plain = 0.0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        s.compensated.Match(s.lit(s.region), out);
        const double t1 = threadSeconds();
        s.model.Match(s.lit(s.region), plainOut);
        const double t2 = threadSeconds();
        benchmark::DoNotOptimize(out.data);
        benchmark::DoNotOptimize(plainOut.data);
        state.SetIterationTime(t1 - t0);
        own += t1 - t0;
        plain += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["compensated_us"] = 1e6 * own / n;
    state.counters["plain_us"] = 1e6 * plain / n;
    state.counters["ratio"] = own / plain;
}

} // namespace

BENCHMARK(BM_AbsdiffThreshold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GrayMatchMatch)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GrayMatchLightingCompensation)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
