// Latency of the IO link over a pseudo-terminal: board input to gDataIn, IOFlashOut to board output.
#include "core/globals.h"
#include "io/controlport.h"
#include "io/iothread.h"
#include "params/wizardpara.h"
#include "tools/ioboard-sim/ioboardsim.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kChanges = 1000;
constexpr double kBudgetP99Ms = 12.0;

// The station's IO side (control port and IO thread) polling the simulated board.
struct Station
{
    IoBoardSim board;
    WizardPara para;
    std::unique_ptr<ControlPort> port;
    std::string error;

    Station()
    {
        pMutexIO = new QMutex;
        gpWPara = &para;
        if (!board.open(&error))
            return;
        qputenv("MOULD_SERIAL_DEVICE", QByteArray::fromStdString(board.slavePath()));
        port = std::make_unique<ControlPort>();
        if (!board.waitForPolls(5, 2s))
            error = "the station does not poll the board";
    }
    bool ok() const { return error.empty() && port; }
};

Station &station()
{
    static Station s;
    return s;
}

unsigned dataIn()
{
    QMutexLocker lock(pMutexIO);
    return gDataIn;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5));
    return v[i];
}

void report(benchmark::State &state, const std::vector<double> &ms)
{
    state.counters["p50_ms"] = percentile(ms, 0.50);
    state.counters["p99_ms"] = percentile(ms, 0.99);
    state.counters["max_ms"] = percentile(ms, 1.0);
    state.counters["budget_p99_ms"] = kBudgetP99Ms;
    state.counters["within_budget"] = percentile(ms, 0.99) <= kBudgetP99Ms ? 1 : 0;
}

// Waits a random part of a poll period so that changes fall on every phase of the IO loop.
void randomPhase(std::mt19937 &random)
{
    std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 5000));
}

void BM_InputToDataIn(benchmark::State &state)
{
    Station &s = station();
    if (!s.ok()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    std::mt19937 random(1);
    std::vector<double> ms;
    unsigned word = s.board.inputs();
    for (auto _ : state) {
        randomPhase(random);
        word ^= 1u << (random() % 10);
        s.board.setInputs(word);
        const auto changed = s.board.lastInputChange();
        const auto deadline = changed + 200ms;
        while (dataIn() != word && Clock::now() < deadline)
            std::this_thread::sleep_for(50us);
        if (dataIn() != word) {
            state.SkipWithError("gDataIn did not follow the board within 200 ms");
            break;
        }
        // The IO thread's own time of the store, free of this thread's wake-up delay.
        const std::chrono::duration<double> latency = s.port->ioThread()->link().inputsChangedAt() - changed;
        state.SetIterationTime(latency.count());
        ms.push_back(latency.count() * 1000);
    }
    report(state, ms);
}

void BM_FlashOutToBoard(benchmark::State &state)
{
    Station &s = station();
    if (!s.ok()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    std::mt19937 random(2);
    std::vector<double> ms;
    bool on = false;
    for (auto _ : state) {
        randomPhase(random);
        on = !on;
        s.port->IOSetOut(4, on);  // output 5, free in the fixed modes
        s.board.clearOutputHistory();
        const auto flashed = Clock::now();
        s.port->IOFlashOut();
        const unsigned want = s.port->outputWord() & 0x3FF;
        if (!s.board.waitForOutputs([&](unsigned w) { return w == want; }, 200ms)) {
            state.SkipWithError("the board did not see the outputs within 200 ms");
            break;
        }
        const auto history = s.board.outputHistory();
        if (history.empty()) {
            state.SkipWithError("output change not recorded");
            break;
        }
        const std::chrono::duration<double> latency = history.back().when - flashed;
        state.SetIterationTime(latency.count());
        ms.push_back(latency.count() * 1000);
    }
    report(state, ms);
}

// Baseline: eight bytes written on one side of a bare pseudo-terminal and read on the other.
void BM_PtyTransferBaseline(benchmark::State &state)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const uint8_t frame[8] = {0x5F, 0x02, 0x05, 0x00, 0x00, 0x00, 0x66, 0xF5};
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = Clock::now();
        [[maybe_unused]] ssize_t w = ::write(master, frame, sizeof frame);
        uint8_t in[8];
        size_t got = 0;
        while (got < sizeof in) {
            pollfd pfd{slave, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                break;
            const ssize_t n = ::read(slave, in + got, sizeof in - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        const std::chrono::duration<double> latency = Clock::now() - start;
        state.SetIterationTime(latency.count());
        ms.push_back(latency.count() * 1000);
    }
    state.counters["p50_ms"] = percentile(ms, 0.50);
    state.counters["p99_ms"] = percentile(ms, 0.99);
    ::close(slave);
    ::close(master);
}

}  // namespace

BENCHMARK(BM_PtyTransferBaseline)->Iterations(kChanges)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InputToDataIn)->Iterations(kChanges)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashOutToBoard)->Iterations(kChanges)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The IO thread stops before the simulated board goes.
    station().port.reset();
    return 0;
}
