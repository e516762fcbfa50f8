// SURF::Match on a 400 x 300 region against 10 templates, next to a plain correlation search.
#include "vision/lib/surf.h"
#include "vision/lib/testing/sceneimage.h"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <ctime>
#include <vector>

namespace {

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
        model.Create(region.width, region.height, cv::Mat());
        for (int i = 0; i < 10; ++i) {
            cv::Mat t = scene.reference().clone();
            SceneImage::addNoise(t, 3.0, 10 + i);
            templates.push_back(t(region).clone());
            model.AddTemp(templates.back(), 1, 50, 80);
        }
        model.Train(0, 0, 0, 0);
        SceneImage::Pose pose;
        pose.shift = {2.3, -1.6};
        image = scene.render(pose);
        SceneImage::applyIllumination(image, 1.1, 0);
        SceneImage::addNoise(image, 3.0, 99);
    }

    SceneImage::Scene scene;
    const cv::Rect region{440, 360, 400, 300};
    std::vector<cv::Mat> templates;
    SURF model;
    cv::Mat image;
};

Setup& setup()
{
    static Setup s;
    return s;
}

// The plain way: normalised correlation of the region, +-3 px around it, with every template.
float baseline(const Setup& s, cv::Mat& result)
{
    const cv::Rect window(s.region.x - 3, s.region.y - 3, s.region.width + 6, s.region.height + 6);
    double best = -1.0;
    for (const cv::Mat& t : s.templates) {
        cv::matchTemplate(s.image(window), t, result, cv::TM_CCOEFF_NORMED);
        double maxValue;
        cv::minMaxLoc(result, nullptr, &maxValue);
        best = std::max(best, maxValue);
    }
    return float(100.0 * best);
}

void BM_MatchTemplateTenTemplates(benchmark::State& state)
{
    Setup& s = setup();
    cv::Mat result;
    for (auto _ : state)
        benchmark::DoNotOptimize(baseline(s, result));
}

void BM_SurfMatch(benchmark::State& state)
{
    Setup& s = setup();
    cv::Mat out;
    double own = 0.0;
    float score = 0.f;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        score = s.model.Match(s.image(s.region), out);
        const double t1 = threadSeconds();
        benchmark::DoNotOptimize(score);
        state.SetIterationTime(t1 - t0);
        own += t1 - t0;
    }
    state.counters["own_us"] = 1e6 * own / double(state.iterations());
    state.counters["budget_us"] = 300;
    state.counters["score"] = score;
}

} // namespace

BENCHMARK(BM_MatchTemplateTenTemplates)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SurfMatch)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
