// Whole-station scenarios: the real main window on the offscreen platform, the IO board simulated on
// a pseudo-terminal and the cameras simulated by image files; the board's outputs are what is checked.
#pragma once

#include "app/mojuwizard.h"
#include "cycle/inspectioncycle.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tools/ioboard-sim/ioboardsim.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>

class StationScenario : public ::testing::Test
{
public:
    using Clock = IoBoardSim::Clock;

    // Frames of both simulated cameras: 8-bit gray, a plain background; a fault is a bright
    // square at kFault, which a taught bright-area region over it reports.
    static constexpr int kW = 160;
    static constexpr int kH = 120;
    static constexpr int kCameras = 2;
    static constexpr int kBackground = 60;
    static const QRect kFault;

    // The one board and the one camera folder of the test program (the station finds both
    // through the environment, and the folder cameras live as long as the process).
    static IoBoardSim &board();
    static QString cameraDir();

protected:
    void SetUp() override;
    void TearDown() override;

    // Before start(): the parameter record in the station's PARAM.db. The fixture's defaults are
    // already in: no input hold, short stage delays, no re-detections, no input time-out.
    void setParams(const std::function<void(WizardPara &)> &edit);
    // A bright-area region over kFault for one camera and detection: frames with the fault fail.
    // The region drives NG output group `outputGroup` (0-3).
    void teachFault(int camera, int detection, int outputGroup = 0);

    // The station comes up detecting in the temporary directory; restart() takes it down and up.
    void start();
    void restart();
    void shutDown();
    // The station as a program of its own (the copy of mould-station in the temporary directory)
    // on the same board and cameras, up once it said "system ready"; start-up boxes are confirmed.
    void startProcess();
    // Ends the program with `signal` (SIGKILL, SIGTERM); returns the ms until it was gone.
    double endProcess(int signal);
    MoJuWizard &window() { return *m_window; }
    InspectionCycle &cycle() { return *m_window->cycle(); }

    // Cameras (0-based): a new frame by atomic rename; with `wait` the call returns once the
    // station's view of the camera holds it.
    void showFrame(int camera, bool fault, bool wait = true);
    void showFrames(bool fault) { for (int c = 0; c < kCameras; ++c) showFrame(c, fault); }
    void unplug(int camera);
    void plugBack(int camera, bool fault = false);

    // Machine inputs, 1-based as on the machine; the change time at the board is kept.
    void setInput(int input, bool on);
    void pulse(int input, int ms = 50);
    Clock::time_point lastInput() const { return m_lastInput; }

    // Outputs as the machine sees them, 1-based and logical (the level sense of each output
    // taken out of the board's word).
    bool output(int output) const;
    // The station's event loop runs while waiting: it runs on this thread.
    bool waitUntil(const std::function<bool()> &condition, int timeoutMs);
    bool waitOutput(int output, bool on, int timeoutMs);
    void settle(int ms);
    // Milliseconds from `since` to the nth change at the board that put `output` into `on`, or
    // -1 when there was none.
    double msToOutput(int output, bool on, Clock::time_point since, int nth = 1) const;
    // How often `output` was switched on at the board since `since`.
    int pulsesOf(int output, Clock::time_point since) const;

    // Rows of today's operation record, oldest first.
    QStringList records();
    static QString readFile(const QString &name);

    TempStation m_station;
    std::unique_ptr<MoJuWizard> m_window;
    std::unique_ptr<QProcess> m_process;
    int chooseAnswer = 0;  // QDialog::Rejected: questions answered "no" unless a test says yes

private:
    void takeOutputSense(const WizardPara &para);

    unsigned m_inverted = 0;  // outputs whose board bit is the inverse of the logical state
    Clock::time_point m_lastInput;
};

// A time in ms within [low, high]; windows are wide enough for a loaded two-core machine.
#define EXPECT_MS_IN(value, low, high)                                                                 \
    do {                                                                                               \
        const double ms_ = (value);                                                                    \
        EXPECT_TRUE(ms_ >= (low) && ms_ <= (high)) << #value " = " << ms_ << " ms, expected " << (low) \
                                                   << ".." << (high);                                  \
    } while (0)
