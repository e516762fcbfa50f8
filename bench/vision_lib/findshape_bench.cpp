// Benchmarks of the shape search on 1280 x 1024 images, one core, next to OpenCV template matching.
//
// FindShape::Find looks for a 400 x 300 model in the whole image at rotation ranges 0, 10 and 180.
// The baseline is plain cv::matchTemplate (TM_CCOEFF_NORMED) of the same model over the same image,
// and for rotation the same brute force over the model turned in 1-degree steps. The full turn's
// baseline times 12 of its 360 angles (every 30 degrees) and scales the time by 30; both the
// measured and the scaled figures are reported. Budgets: Find <= 3 ms at range 10, <= 10 ms at 180.
#include "vision/lib/findshape.h"
#include "vision/lib/testing/sceneimage.h"

#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <vector>

namespace {

const cv::Size ImageSize(1280, 1024);
const cv::Rect ModelRect(440, 362, 400, 300);
const cv::Point ModelCentre(ModelRect.x + ModelRect.width / 2, ModelRect.y + ModelRect.height / 2);

const SceneImage::Scene &scene()
{
    static const SceneImage::Scene s(ImageSize, 20261208);
    return s;
}

double poseAngle(int range)
{
    return range == 0 ? 0.0 : range == 10 ? 7.4 : 123.4;
}

// The camera image: the scene moved and turned within the range, with a little sensor noise.
const cv::Mat &cameraImage(int range)
{
    static std::map<int, cv::Mat> images;
    cv::Mat &image = images[range];
    if (image.empty()) {
        SceneImage::Pose pose;
        pose.centre = ModelCentre;
        pose.shift = {17.3, -11.6};
        pose.angleDeg = poseAngle(range);
        image = scene().render(pose);
        SceneImage::addNoise(image, 3.0, 77);
    }
    return image;
}

// Baseline angles: one for translation, every degree of +-10, every 30th degree of the full turn.
std::vector<double> baselineAngles(int range, double *scale)
{
    std::vector<double> angles;
    *scale = 1.0;
    if (range == 0) {
        angles.push_back(0.0);
    } else if (range <= 10) {
        for (int a = -range; a <= range; ++a)
            angles.push_back(a);
    } else {
        for (int a = -180; a < 180; a += 30)
            angles.push_back(a);
        *scale = 30.0;
    }
    return angles;
}

// One sweep of the brute force: the model turned to each angle, matched over the whole image.
double templateSweep(const std::vector<cv::Mat> &turned, const cv::Mat &image)
{
    double best = -2.0;
    cv::Mat result;
    for (const cv::Mat &model : turned) {
        cv::matchTemplate(image, model, result, cv::TM_CCOEFF_NORMED);
        double maxValue = 0.0;
        cv::minMaxLoc(result, nullptr, &maxValue);
        best = std::max(best, maxValue);
    }
    return best;
}

std::vector<cv::Mat> turnedModels(int range, double *scale)
{
    const cv::Mat patch = scene().reference()(ModelRect).clone();
    std::vector<cv::Mat> turned;
    for (double angle : baselineAngles(range, scale)) {
        cv::Mat model;
        const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(patch.cols / 2.0f, patch.rows / 2.0f), angle, 1.0);
        cv::warpAffine(patch, model, m, patch.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        turned.push_back(model);
    }
    return turned;
}

// CPU time of this thread in ms: the figures stay fair when other work shares the machine.
double threadMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Baseline CPU time per full sweep in ms, measured once per range (median of three) so that the
// Find benchmark can report its ratio.
double baselineMs(int range)
{
    static std::map<int, double> cache;
    auto it = cache.find(range);
    if (it != cache.end())
        return it->second;
    double scale = 1.0;
    const std::vector<cv::Mat> turned = turnedModels(range, &scale);
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        const double start = threadMs();
        benchmark::DoNotOptimize(templateSweep(turned, cameraImage(range)));
        times.push_back(threadMs() - start);
    }
    std::sort(times.begin(), times.end());
    return cache[range] = times[1] * scale;
}

void BM_FindShape(benchmark::State &state)
{
    const int range = int(state.range(0));
    FindShape model;
    model.CreateShape(scene().reference()(ModelRect).clone(), 0.0, 0, range, ModelCentre.x, ModelCentre.y, false,
                      255, cv::Mat(), 5, 0);
    const cv::Mat &image = cameraImage(range);
    double x = 0.0, y = 0.0, score = 0.0, angle = 0.0;
    bool found = false;
    const double start = threadMs();
    for (auto _ : state) {
        found = model.Find(image, 0, &x, &y, &score, &angle);
        benchmark::DoNotOptimize(found);
    }
    const double findMs = (threadMs() - start) / double(state.iterations());
    const double baseline = baselineMs(range);
    state.counters["found"] = found ? 1 : 0;
    // x, y are the shift back to the reference: the negative of the pose's shift.
    state.counters["err_px"] = std::hypot(x + 17.3, y - 11.6);
    state.counters["err_deg"] = std::abs(angle - poseAngle(range));
    state.counters["find_cpu_ms"] = findMs;
    state.counters["baseline_cpu_ms"] = baseline;
    // How many times faster than the baseline, CPU time per call against CPU time per sweep.
    state.counters["speedup"] = baseline / findMs;
    state.counters["budget_ms"] = range == 10 ? 3.0 : range == 180 ? 10.0 : 0.0;
}

void BM_MatchTemplateBaseline(benchmark::State &state)
{
    const int range = int(state.range(0));
    double scale = 1.0;
    const std::vector<cv::Mat> turned = turnedModels(range, &scale);
    const cv::Mat &image = cameraImage(range);
    for (auto _ : state)
        benchmark::DoNotOptimize(templateSweep(turned, image));
    state.counters["angles"] = double(turned.size());
    // The full turn times a twelfth of its angles; this is the time of all 360.
    state.counters["sweep_scale"] = scale;
}

BENCHMARK(BM_FindShape)->Arg(0)->Arg(10)->Arg(180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchTemplateBaseline)->Arg(0)->Arg(10)->Arg(180)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char **argv)
{
    // One core, as the budgets are stated.
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
