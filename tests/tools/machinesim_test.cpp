// The machine simulator against stand-in stations: interlocks obeyed, alarms waited out, faults counted, frames swapped whole.
#include "io/ioframe.h"
#include "tools/ioboard-sim/ioboardsim.h"
#include "tools/machine-sim/machinesim.h"

#include <opencv2/imgcodecs.hpp>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using machinesim::Clock;
using machinesim::MachineConfig;
using machinesim::MachineSim;
using machinesim::Ms;
using machinesim::Summary;
using scenegen::Fault;

namespace {

constexpr unsigned kClamp = 1u << machinesim::kClampInterlock;
constexpr unsigned kEjector = 1u << machinesim::kEjectorInterlock;
constexpr unsigned kAlarm = 1u << machinesim::kAlarmOutput;

// A station in the machine's own thread: it reacts to the inputs and to time whenever the machine
// looks at the outputs, so every decision falls at a defined point and the record of input changes
// shows exactly which outputs stood when the machine moved. It judges by what lies in the mould.
class ScriptedStation : public machinesim::MachineLink
{
public:
    enum class Judge { Truthful, Blind };

    struct Change
    {
        int input;
        bool on;
        unsigned outputs;
    };

    Judge judge = Judge::Truthful;
    bool alive = true;
    bool holdClamp = false;     // never lets the mould close
    bool holdEjector = false;   // never lets the ejector go
    int falseAlarms = 0;        // product checks that fail although the part is good
    int failedRechecks = 0;     // door re-checks that fail although the mould is right
    bool mouldCheckAtOnce = false;  // the mould check follows the product check before any ejection
    // A passing door re-check of the mould ends the alarm but leaves the clamp held until the
    // mould check that input 3 (the ejector back) starts.
    bool clampWaitsForEjectorBack = false;
    unsigned silentAfterRelease = 0;  // stops polling the moment it lets this interlock go
    bool partsOut = false;          // the test tells when the mould was emptied
    Ms decisionDelay{10};
    std::function<Fault()> inMould;
    std::vector<Change> changes;

    void raiseAlarm() { m_outputs |= kAlarm; }

    void setInput(int input, bool on) override
    {
        tick();
        const bool was = (m_inputs >> input) & 1u;
        m_inputs = on ? m_inputs | (1u << input) : m_inputs & ~(1u << input);
        changes.push_back({input, on, m_outputs});
        if (was == on || !on || !alive)
            return;
        if (input == machinesim::kMouldOpenInput) {
            partsOut = false;
            m_outputs |= kClamp | kEjector;
            m_productDue = Clock::now() + decisionDelay;
        } else if (input == machinesim::kEjectorBackInput) {
            m_mouldDue = Clock::now() + decisionDelay;
        } else if (input == machinesim::kSafetyDoorInput && (m_outputs & kAlarm)) {
            if (failedRechecks > 0) {
                --failedRechecks;
                return;
            }
            if (!passes(m_failed))
                return;
            if (m_failed == kClamp && clampWaitsForEjectorBack)
                m_outputs &= ~kAlarm;
            else
                release(m_failed);
        }
    }

    unsigned outputs() override
    {
        tick();
        return m_outputs;
    }

    uint64_t stationPolls() override { return alive ? ++m_polls : m_polls; }

    int count(int input, bool on) const
    {
        int n = 0;
        for (const Change &c : changes)
            n += c.input == input && c.on == on;
        return n;
    }

private:
    bool passes(unsigned interlock) const
    {
        if (judge == Judge::Blind)
            return true;
        if (interlock == kClamp && mouldCheckAtOnce && !partsOut)
            return false;  // the parts are still there
        return !inMould || inMould() == Fault::None;
    }

    void release(unsigned interlock)
    {
        m_outputs &= ~kAlarm;
        if (!(interlock == kClamp && holdClamp) && !(interlock == kEjector && holdEjector))
            m_outputs &= ~interlock;
        if (interlock == silentAfterRelease)
            alive = false;
    }

    void decide(unsigned interlock)
    {
        bool ok = passes(interlock);
        if (interlock == kEjector && falseAlarms > 0) {
            --falseAlarms;
            ok = false;
        }
        if (ok) {
            release(interlock);
            if (interlock == kEjector && mouldCheckAtOnce)
                m_mouldDue = Clock::now();
        } else {
            m_failed = interlock;
            m_outputs |= kAlarm;
        }
    }

    void tick()
    {
        if (!alive)
            return;  // the board keeps the last output word
        const auto now = Clock::now();
        if (m_productDue && now >= *m_productDue) {
            m_productDue.reset();
            decide(kEjector);
        }
        if (m_mouldDue && now >= *m_mouldDue) {
            m_mouldDue.reset();
            decide(kClamp);
        }
    }

    unsigned m_inputs = 0;
    unsigned m_outputs = 0;
    uint64_t m_polls = 0;
    unsigned m_failed = 0;
    std::optional<Clock::time_point> m_productDue;
    std::optional<Clock::time_point> m_mouldDue;
};

MachineConfig quickMachine(int cycles, double faultRate)
{
    MachineConfig c;
    c.cameras = 1;
    c.cavities = 4;
    c.imageSize = {160, 128};
    c.cycles = cycles;
    c.faultRate = faultRate;
    c.seed = 5;
    c.openTime = Ms(2);
    c.productTime = Ms(25);
    c.mouldTime = Ms(25);
    c.clampTime = Ms(2);
    c.doorPulse = Ms(5);
    c.operatorDelay = Ms(20);
    c.frameSettle = Ms(2);
    c.waitTimeout = Ms(2000);
    c.doorClearChance = 1.0;
    c.alarmLevel = machinesim::AlarmLevel::Direct;
    return c;
}

// Every clamp (input 1 falling) and every report of the ejector back (input 3 rising, right after
// an ejection) happened with the interlock in question off and no alarm standing.
void expectInterlocksObeyed(const ScriptedStation &station)
{
    for (const auto &c : station.changes) {
        if (c.input == machinesim::kMouldOpenInput && !c.on) {
            EXPECT_FALSE(c.outputs & kClamp) << "clamped while output 1 was on";
            EXPECT_FALSE(c.outputs & kAlarm) << "clamped during an alarm";
        }
        if (c.input == machinesim::kEjectorBackInput && c.on) {
            EXPECT_FALSE(c.outputs & kEjector) << "ejected while output 2 was on";
            EXPECT_FALSE(c.outputs & kAlarm) << "ejected during an alarm";
        }
    }
}

Summary runWith(MachineSim &sim, ScriptedStation &station)
{
    station.inMould = [&sim] { return sim.faultInMould(); };
    return sim.run();
}

}  // namespace

TEST(MachineSim, TruthfulStationCatchesEveryFaultAndTheMouldNeverClosesOnOne)
{
    ScriptedStation station;
    station.decisionDelay = Ms(40);  // slower than the machine's check times: it has to wait
    MachineSim sim(quickMachine(16, 0.5), station);
    const Summary s = runWith(sim, station);
    EXPECT_EQ(s.cycles, 16);
    EXPECT_FALSE(s.timedOut) << s.timeoutReason;
    EXPECT_GE(s.faultsInjected, 4);
    EXPECT_EQ(s.faultsCaught, s.faultsInjected);
    EXPECT_EQ(s.closedOnPart, 0);
    EXPECT_EQ(s.faultsMissed, 0);
    EXPECT_EQ(s.falseStops, 0);
    EXPECT_EQ(s.clearedByDoor, s.faultsInjected);
    EXPECT_EQ(station.count(machinesim::kMouldOpenInput, false), 16);
    // decision times come only from cycles without an alarm: a bad part stops the product check,
    // a leftover the mould check
    int badParts = 0;
    for (Fault f : {Fault::ShortShot, Fault::WrongWay})
        badParts += s.injectedByKind.count(scenegen::faultName(f)) ? s.injectedByKind.at(scenegen::faultName(f)) : 0;
    EXPECT_EQ(s.productDecision.count, 16 - badParts);
    EXPECT_EQ(s.mouldDecision.count, 16 - s.faultsInjected);
    EXPECT_EQ(s.unguardedClamps, 0);
    EXPECT_EQ(s.clampsAfterLastPoll, 0) << "the station polled on after every clamp, the last one too";
    EXPECT_EQ(s.machineWait.count, 32);
    EXPECT_GT(s.machineWait.meanMs, 5.0);
    expectInterlocksObeyed(station);
}

TEST(MachineSim, FaultsOfASeedComeInTheSameCyclesWhateverTheStationDoes)
{
    auto faultsOf = [](ScriptedStation::Judge judge, uint64_t seed) {
        ScriptedStation station;
        station.judge = judge;
        MachineConfig config = quickMachine(10, 0.4);
        config.seed = seed;
        config.doorClearChance = 0.5;  // the setter's luck must not shift the faults
        MachineSim sim(config, station);
        std::vector<std::pair<int, Fault>> shown;
        sim.setEventListener([&](const machinesim::Event &e) {
            if (e.kind == machinesim::Event::FaultShown)
                shown.emplace_back(e.cycle, e.fault);
        });
        const Summary s = runWith(sim, station);
        EXPECT_EQ(s.cycles, 10) << s.timeoutReason;
        return shown;
    };
    const auto truthful = faultsOf(ScriptedStation::Judge::Truthful, 3);
    EXPECT_FALSE(truthful.empty());
    EXPECT_EQ(truthful, faultsOf(ScriptedStation::Judge::Blind, 3));
    EXPECT_NE(truthful, faultsOf(ScriptedStation::Judge::Blind, 4));
}

TEST(MachineSim, BlindStationLetsFaultsThroughAndTheyAreCounted)
{
    struct Row
    {
        const char *name;
        std::vector<Fault> kinds;
        bool closesOnIt;
    };
    const Row rows[] = {
        {"leftovers in the mould", {Fault::PartLeft, Fault::Sprue, Fault::ForeignObject}, true},
        {"bad parts", {Fault::ShortShot, Fault::WrongWay}, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedStation station;
        station.judge = ScriptedStation::Judge::Blind;
        MachineConfig config = quickMachine(5, 1.0);
        config.faultKinds = row.kinds;
        MachineSim sim(config, station);
        const Summary s = runWith(sim, station);
        EXPECT_EQ(s.cycles, 5);
        EXPECT_EQ(s.faultsInjected, 5);
        EXPECT_EQ(s.faultsCaught, 0);
        EXPECT_EQ(s.faultsMissed, 5);
        EXPECT_EQ(s.closedOnPart, row.closesOnIt ? 5 : 0);
        expectInterlocksObeyed(station);
    }
}

TEST(MachineSim, HeldInterlocksStopTheMachineUntilTheTimeOut)
{
    struct Row
    {
        const char *name;
        bool holdEjector;
        bool holdClamp;
        bool alive;
        const char *reason;
    };
    const Row rows[] = {
        {"clamp held", false, true, true, "clamp interlock"},
        {"ejector held", true, false, true, "ejector interlock"},
        {"no station", false, false, false, "no station"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedStation station;
        station.holdEjector = row.holdEjector;
        station.holdClamp = row.holdClamp;
        station.alive = row.alive;
        MachineConfig config = quickMachine(3, 0.0);
        config.waitTimeout = Ms(150);
        config.waitForStation = row.alive;
        MachineSim sim(config, station);
        const auto start = Clock::now();
        const Summary s = runWith(sim, station);
        EXPECT_LT(Clock::now() - start, 2s);
        EXPECT_TRUE(s.timedOut);
        EXPECT_NE(s.timeoutReason.find(row.reason), std::string::npos) << s.timeoutReason;
        EXPECT_EQ(s.cycles, 0);
        EXPECT_EQ(station.count(machinesim::kMouldOpenInput, false), 0) << "the mould must not close";
        if (row.holdEjector || !row.alive) {
            EXPECT_EQ(station.count(machinesim::kEjectorBackInput, true), 0) << "no ejection";
        }
        expectInterlocksObeyed(station);
    }
}

// A station that dies leaves its last output word on the board; the machine, which cannot tell yet,
// acts on it until the alive window runs out.
TEST(MachineSim, ActionsOnTheOutputsASilentStationLeftAreCounted)
{
    struct Row
    {
        const char *name;
        unsigned silentAfter;
        int clamps;
        int ejections;
    };
    const Row rows[] = {
        {"silent right after releasing the clamp", kClamp, 1, 0},
        {"silent right after releasing the ejector", kEjector, 0, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedStation station;
        station.silentAfterRelease = row.silentAfter;
        MachineConfig config = quickMachine(3, 0.0);
        config.clampTime = Ms(320);  // no new cycle on the stale outputs: one action to count
        config.waitTimeout = Ms(400);
        MachineSim sim(config, station);
        const Summary s = runWith(sim, station);
        EXPECT_TRUE(s.timedOut);
        EXPECT_NE(s.timeoutReason.find("no station"), std::string::npos) << s.timeoutReason;
        EXPECT_EQ(s.clampsAfterLastPoll, row.clamps);
        EXPECT_EQ(s.ejectionsAfterLastPoll, row.ejections);
        EXPECT_EQ(station.count(machinesim::kMouldOpenInput, false), row.clamps);
        EXPECT_NE(s.json().find("\"clampsAfterLastPoll\": " + std::to_string(row.clamps)), std::string::npos);
        EXPECT_NE(s.text().find("clamps after last poll " + std::to_string(row.clamps)), std::string::npos);
    }
}

TEST(MachineSim, NoStationAtTheStartEndsTheRunBeforeAnyCycle)
{
    ScriptedStation station;
    station.alive = false;
    MachineConfig config = quickMachine(3, 0.0);
    config.waitTimeout = Ms(100);
    MachineSim sim(config, station);
    const Summary s = runWith(sim, station);
    EXPECT_TRUE(s.timedOut);
    EXPECT_NE(s.timeoutReason.find("no station"), std::string::npos);
    EXPECT_TRUE(station.changes.empty()) << "the mould must not even open";
}

TEST(MachineSim, FirstCycleWaitsForTheStationToGetReady)
{
    ScriptedStation station;
    MachineConfig config = quickMachine(1, 0.0);
    config.stationStartUp = Ms(250);
    MachineSim sim(config, station);
    Clock::time_point opened{};
    sim.setEventListener([&](const machinesim::Event &e) {
        if (e.kind == machinesim::Event::MouldOpen)
            opened = e.when;
    });
    const auto start = Clock::now();
    const Summary s = runWith(sim, station);
    EXPECT_EQ(s.cycles, 1);
    EXPECT_GE(opened - start, config.stationStartUp + config.clampTime + config.openTime);
}

TEST(MachineSim, AlarmHoldsTheMachineUntilADoorRecheckPasses)
{
    ScriptedStation station;
    station.falseAlarms = 1;     // the first product check fails with nothing wrong
    station.failedRechecks = 2;  // and the first two looks at the door fail too
    MachineConfig config = quickMachine(2, 0.0);
    MachineSim sim(config, station);
    std::vector<machinesim::Event> events;
    sim.setEventListener([&](const machinesim::Event &e) { events.push_back(e); });
    const Summary s = runWith(sim, station);
    EXPECT_EQ(s.cycles, 2);
    EXPECT_EQ(s.falseStops, 1);
    EXPECT_EQ(s.faultsCaught, 0);
    EXPECT_EQ(s.doorOpenings, 3);
    EXPECT_EQ(s.productDecision.count, 1) << "the stopped cycle has no decision time";
    expectInterlocksObeyed(station);
    // between the alarm and the third door opening the machine did nothing else
    int doors = 0;
    bool alarmSeen = false;
    for (const auto &e : events) {
        if (e.kind == machinesim::Event::Alarm)
            alarmSeen = true;
        if (e.kind == machinesim::Event::DoorOpen)
            ++doors;
        if (alarmSeen && doors < 3) {
            EXPECT_TRUE(e.kind == machinesim::Event::Alarm || e.kind == machinesim::Event::DoorOpen ||
                        e.kind == machinesim::Event::DoorClosed)
                << machinesim::eventName(e.kind);
        }
    }
}

TEST(MachineSim, AnAlarmStandingBetweenCyclesKeepsTheMouldClosed)
{
    ScriptedStation station;
    station.raiseAlarm();
    MachineSim sim(quickMachine(1, 0.0), station);
    const Summary s = runWith(sim, station);
    EXPECT_EQ(s.cycles, 1);
    EXPECT_EQ(s.falseStops, 1);
    ASSERT_GE(station.changes.size(), 2u);
    EXPECT_EQ(station.changes[0].input, machinesim::kSafetyDoorInput) << "the door comes before the mould opens";
    EXPECT_EQ(s.machineWait.count, 2) << "the wait before opening is no interlock wait";
    expectInterlocksObeyed(station);
}

TEST(MachineSim, SetterEmptiesTheMouldWhenTheStationHoldsItBeforeTheEjection)
{
    ScriptedStation station;
    station.mouldCheckAtOnce = true;
    MachineSim sim(quickMachine(2, 0.0), station);
    sim.setEventListener([&](const machinesim::Event &e) {
        if (e.kind == machinesim::Event::HandEject || e.kind == machinesim::Event::Eject)
            station.partsOut = true;
    });
    const Summary s = runWith(sim, station);
    EXPECT_EQ(s.cycles, 2);
    EXPECT_FALSE(s.timedOut) << s.timeoutReason;
    EXPECT_EQ(s.handEjections, 2);
    EXPECT_EQ(s.falseStops, 2);
    EXPECT_EQ(s.doorOpenings, 2);
    EXPECT_EQ(s.closedOnPart, 0);
    EXPECT_EQ(station.count(machinesim::kEjectorBackInput, true), 2) << "the empty stroke once allowed";
    expectInterlocksObeyed(station);

    // A station that holds the clamp after the door until the mould check at the ejector's return
    // gets that return from the empty stroke: the machine does not stand for ever.
    ScriptedStation waiting;
    waiting.mouldCheckAtOnce = true;
    waiting.clampWaitsForEjectorBack = true;
    MachineConfig config = quickMachine(2, 0.0);
    config.waitTimeout = Ms(500);
    MachineSim held(config, waiting);
    held.setEventListener([&](const machinesim::Event &e) {
        if (e.kind == machinesim::Event::HandEject || e.kind == machinesim::Event::Eject)
            waiting.partsOut = true;
    });
    const Summary u = runWith(held, waiting);
    EXPECT_FALSE(u.timedOut) << u.timeoutReason;
    EXPECT_EQ(u.cycles, 2);
    EXPECT_EQ(u.handEjections, 2);
    expectInterlocksObeyed(waiting);

    // When the first look at the door fails, the stop goes on: one stop, two door openings.
    ScriptedStation stubborn;
    stubborn.mouldCheckAtOnce = true;
    stubborn.failedRechecks = 1;
    MachineSim again(quickMachine(1, 0.0), stubborn);
    again.setEventListener([&](const machinesim::Event &e) {
        if (e.kind == machinesim::Event::HandEject)
            stubborn.partsOut = true;
    });
    const Summary t = runWith(again, stubborn);
    EXPECT_EQ(t.cycles, 1);
    EXPECT_EQ(t.handEjections, 1);
    EXPECT_EQ(t.falseStops, 1);
    EXPECT_EQ(t.doorOpenings, 2);
    expectInterlocksObeyed(stubborn);
}

TEST(MachineSim, AFaultNobodyClearsKeepsTheMouldOpen)
{
    ScriptedStation station;
    MachineConfig config = quickMachine(2, 1.0);
    config.faultKinds = {Fault::PartLeft};
    config.doorClearChance = 0.0;
    config.waitTimeout = Ms(200);
    MachineSim sim(config, station);
    const Summary s = runWith(sim, station);
    EXPECT_TRUE(s.timedOut);
    EXPECT_NE(s.timeoutReason.find("alarm"), std::string::npos) << s.timeoutReason;
    EXPECT_EQ(s.faultsCaught, 1);
    EXPECT_EQ(s.closedOnPart, 0);
    EXPECT_GE(s.doorOpenings, 2);
    EXPECT_EQ(station.count(machinesim::kMouldOpenInput, false), 0);
}

TEST(MachineSim, FramesAreSwappedWholeAndShowTheMouldOfTheMoment)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptedStation station;
    MachineConfig config = quickMachine(6, 0.0);
    config.cameras = 2;
    config.imageSize = {320, 256};
    config.dir = dir.path().toStdString();
    MachineSim sim(config, station);
    // a stale frame of the other format must not outlive the preparation
    std::filesystem::create_directories(sim.cameraFolder(1));
    cv::imwrite(sim.cameraFolder(1) + "/frame.bmp", cv::Mat(8, 8, CV_8U, cv::Scalar(0)));
    ASSERT_TRUE(sim.prepareCameras());
    const std::string frame = sim.cameraFolder(1) + "/frame.png";
    EXPECT_FALSE(std::filesystem::exists(sim.cameraFolder(1) + "/frame.bmp"));

    // The first picture is the empty mould of shot 0, exactly as scenegen draws it with the same
    // seed, size and cavities, so references for teaching can be made with scenegen.
    scenegen::MouldOptions options;
    options.size = config.imageSize;
    options.cavities = config.cavities;
    options.seed = config.seed;
    const scenegen::MouldView view(options, 1);
    scenegen::Shot first;
    first.stage = scenegen::Stage::Mould;
    EXPECT_EQ(cv::norm(cv::imread(frame, cv::IMREAD_UNCHANGED), view.render(first), cv::NORM_INF), 0.0);

    // A reader that keeps opening the frame as a camera would: it must never see half a file.
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, broken{0};
    std::thread reader([&] {
        while (!done) {
            const cv::Mat m = cv::imread(frame, cv::IMREAD_UNCHANGED);
            ++(m.empty() || m.cols != 320 || m.rows != 256 ? broken : reads);
        }
    });

    struct Seen
    {
        machinesim::Event::Kind kind;
        ino_t inode;
        cv::Mat image;
    };
    std::vector<Seen> seen;
    sim.setEventListener([&](const machinesim::Event &e) {
        if (e.kind != machinesim::Event::MouldOpen && e.kind != machinesim::Event::Eject)
            return;
        struct stat st{};
        ::stat(frame.c_str(), &st);
        seen.push_back({e.kind, st.st_ino, cv::imread(frame, cv::IMREAD_UNCHANGED)});
    });
    const Summary s = runWith(sim, station);
    done = true;
    reader.join();
    ASSERT_EQ(s.cycles, 6);
    EXPECT_EQ(broken, 0);
    EXPECT_GT(reads, 10);

    ASSERT_EQ(seen.size(), 12u);
    cv::Mat cavities = cv::Mat::zeros(options.size, CV_8U);
    for (const cv::Rect &c : view.cavityRects())
        cavities(cv::Rect(c.x + 6, c.y + 6, c.width - 12, c.height - 12)) = 255;
    for (size_t i = 0; i + 1 < seen.size(); i += 2) {
        ASSERT_EQ(seen[i].kind, machinesim::Event::MouldOpen);
        ASSERT_EQ(seen[i + 1].kind, machinesim::Event::Eject);
        EXPECT_NE(seen[i].inode, seen[i + 1].inode) << "a new file renamed into place";
        ASSERT_FALSE(seen[i].image.empty());
        ASSERT_FALSE(seen[i + 1].image.empty());
        cv::Mat d;
        cv::absdiff(seen[i].image, seen[i + 1].image, d);
        EXPECT_GT(cv::mean(d, cavities)[0], 30.0) << "parts at mould open, empty cavities after ejection";
    }
    // nothing but the camera's serial and its one frame is left in the folder
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(sim.cameraFolder(1)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame.png", "serial"}));
}

TEST(MachineSim, SummaryJsonCarriesTheCounts)
{
    Summary s;
    s.cycles = 12;
    s.faultsInjected = 3;
    s.closedOnPart = 1;
    s.injectedByKind["sprue"] = 3;
    s.timedOut = true;
    s.timeoutReason = "the \"clamp\" interlock";
    const std::string json = s.json();
    for (const char *part : {"\"cycles\": 12", "\"faultsInjected\": 3", "\"mouldClosedOnPart\": 1",
                             "\"injectedByKind\": {\"sprue\": 3}", "\"timedOut\": true",
                             "\"timeoutReason\": \"the \\\"clamp\\\" interlock\""})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

// Over the real pseudo-terminal: a station that speaks the board protocol, with its alarm output
// wired inverted as in the factory set-up. The machine finds the alarm's rest level by itself.
TEST(MachineSimBoard, RunsCyclesAgainstAStationOnThePty)
{
    IoBoardSim board;
    std::string error;
    if (!board.open(&error))
        GTEST_SKIP() << "no pseudo-terminal: " << error;
    const int fd = ::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);

    std::atomic<bool> done{false};
    std::atomic<int> releasesSent{0};
    std::thread stationThread([&] {
        FrameScanner scanner(kBoardFrameLen);
        unsigned inputs = 0, outputs = kAlarm;  // alarm output energised: no alarm
        unsigned lastSent = ~0u;
        Clock::time_point productDue{}, mouldDue{};
        while (!done) {
            const auto poll = MakeCommandFrame(kCmdPoll, 0);
            [[maybe_unused]] ssize_t w = ::write(fd, poll.data(), poll.size());
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0) {
                uint8_t buf[64];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0) {
                    scanner.append(buf, static_cast<int>(n));
                    scanner.scan([&](const FrameView &f) {
                        if (f.command() != kCmdPoll)
                            return;
                        const unsigned now = f.inputWord();
                        const auto at = Clock::now();
                        if ((now & 1u) && !(inputs & 1u)) {
                            outputs |= kClamp | kEjector;
                            productDue = at + 15ms;
                        }
                        if ((now & 4u) && !(inputs & 4u))
                            mouldDue = at + 15ms;
                        inputs = now;
                    });
                }
            }
            const auto at = Clock::now();
            if (productDue != Clock::time_point{} && at >= productDue) {
                productDue = {};
                outputs &= ~kEjector;
                ++releasesSent;
            }
            if (mouldDue != Clock::time_point{} && at >= mouldDue) {
                mouldDue = {};
                outputs &= ~kClamp;
                ++releasesSent;
            }
            if (outputs != lastSent) {
                const auto set = MakeCommandFrame(kCmdSetOutputs, outputs);
                w = ::write(fd, set.data(), set.size());
                lastSent = outputs;
            }
        }
    });

    machinesim::BoardLink link(board);
    MachineConfig config = quickMachine(3, 0.0);
    config.alarmLevel = machinesim::AlarmLevel::Auto;
    // long enough for the station to have taken the interlocks even on a busy machine
    config.productTime = Ms(150);
    config.mouldTime = Ms(150);
    config.clampTime = Ms(40);  // the station polls every few ms: a closed mould must show on a poll
    MachineSim sim(config, link);
    const Summary s = sim.run();
    done = true;
    stationThread.join();
    ::close(fd);

    EXPECT_FALSE(s.timedOut) << s.timeoutReason;
    EXPECT_EQ(s.cycles, 3);
    EXPECT_EQ(s.falseStops, 0) << "the energised alarm output is the rest level, not an alarm";
    EXPECT_EQ(s.productDecision.count, 3);
    EXPECT_EQ(s.mouldDecision.count, 3);
    EXPECT_EQ(s.unguardedClamps, 0);
    EXPECT_EQ(s.clampsAfterLastPoll, 0);
    EXPECT_EQ(releasesSent, 6);
}
