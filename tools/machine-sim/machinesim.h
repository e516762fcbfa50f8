// The simulated moulding machine: cycles on the board inputs, the station's interlocks obeyed, faults and counts.
#pragma once

// The machine opens the mould (input 1), waits its product check time, ejects when the ejector
// interlock (output 2) is off, waits its mould check time and clamps when the clamp interlock
// (output 1) is off. While the alarm (output 3) is on it stands still; a simulated setter opens the
// safety door (a pulse on input 2), clears the mould with some chance, and the station re-checks.
// The cameras see what lies in the mould at that moment through the simulated camera folders.
// A station that stops polling the board leaves its last output word there; the machine, like a
// real one, acts on it until it notices the silence, and counts what it did after the last poll.
// Plain C++ and OpenCV, no Qt.

#include "tools/scenegen/mouldscene.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

class IoBoardSim;

namespace machinesim {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// Inputs and outputs numbered from 0 as on the board: bit k is input or output k+1.
inline constexpr int kMouldOpenInput = 0;
inline constexpr int kSafetyDoorInput = 1;
inline constexpr int kEjectorBackInput = 2;
inline constexpr int kClampInterlock = 0;
inline constexpr int kEjectorInterlock = 1;
inline constexpr int kAlarmOutput = 2;

// The machine's side of the IO board.
class MachineLink
{
public:
    virtual ~MachineLink() = default;
    virtual void setInput(int input, bool on) = 0;
    virtual unsigned outputs() = 0;
    // Grows while a station polls the board; a standing count means nobody is there.
    virtual uint64_t stationPolls() = 0;
};

// The link through the board simulator on its pseudo-terminal. The board is borrowed and must
// outlive the link.
class BoardLink : public MachineLink
{
public:
    explicit BoardLink(IoBoardSim &board) : m_board(board) {}
    void setInput(int input, bool on) override;
    unsigned outputs() override;
    uint64_t stationPolls() override;

private:
    IoBoardSim &m_board;
};

// How the alarm output is wired: the factory parameter set inverts it (the output is energised
// while there is no alarm). Auto takes the level the station shows once it is up as "no alarm".
enum class AlarmLevel { Auto, Direct, Inverted };

struct MachineConfig
{
    int cameras = 2;
    int cavities = 4;
    cv::Size imageSize{1280, 1024};
    bool colour = false;
    std::string dir;             // camera folders DIR/cam1 ..; empty: no frames are written
    std::string format = "png";  // png or bmp

    int cycles = 0;              // stop after this many cycles (0: no limit)
    double durationS = 0.0;      // start no cycle after this many seconds (0: no limit)
    double faultRate = 0.1;      // chance of a fault in a cycle
    std::vector<scenegen::Fault> faultKinds{std::begin(scenegen::kFaultKinds), std::end(scenegen::kFaultKinds)};
    uint64_t seed = 1;
    // A camera going off slowly: the degradation grows from nothing in the first cycle to its full
    // size at cycle driftCycles, and stays there (every camera alike).
    scenegen::Drift drift = scenegen::Drift::None;
    int driftCycles = 300;

    // The defaults suit the factory stage delays of the station (0.5 s after mould open for the
    // product, another 0.5 s for the mould): ejection comes after the product check and the
    // empty mould is in the picture well before the mould check.
    Ms openTime{300};         // mould opening until input 1
    Ms productTime{800};      // mould open until the machine wants to eject
    Ms mouldTime{1000};       // ejection until the machine wants to clamp
    Ms clampTime{1000};       // mould closed: injection and cooling
    Ms doorPulse{400};        // the safety door stays open this long
    Ms operatorDelay{1500};   // a standing machine is looked after this often
    Ms frameSettle{150};      // a changed frame reaches the station's cameras within this time
    Ms waitTimeout{30000};    // longest wait for the station before the run is given up
    double doorClearChance = 0.8;
    AlarmLevel alarmLevel = AlarmLevel::Auto;
    bool waitForStation = true;  // before the first cycle, wait until a station polls the board
    // A station polls its board well before it is ready to detect; the first cycle waits this
    // long after the first poll, as a setter starts the machine once the station is up.
    Ms stationStartUp{0};
};

struct TimeStats
{
    int count = 0;
    double meanMs = 0.0;
    double worstMs = 0.0;
    void add(double ms);
};

struct Summary
{
    int cycles = 0;
    int faultsInjected = 0;
    int faultsCaught = 0;        // the alarm was raised while the fault lay in the mould
    int faultsMissed = 0;        // a bad part ejected, or the mould closed on something
    int closedOnPart = 0;        // the mould clamped while a part or object lay in it
    int falseStops = 0;          // alarms raised with nothing wrong in the mould
    int firstFalseStopCycle = 0; // the cycle of the first false stop, 0 none
    std::string firstFalseStopTime;  // its local time, "hh:mm:ss.zzz", to compare with the station's record
    int doorOpenings = 0;
    int clearedByDoor = 0;       // faults the setter removed at the door
    int handEjections = 0;       // the setter emptied the mould because the station held the machine
    int unguardedEjections = 0;  // ejections in a cycle in which output 2 never came on
    int unguardedClamps = 0;     // clamps in a cycle in which output 1 never came on
    // Clamps and ejections after the station's last poll of the board: the station had gone
    // silent, and the machine acted on the output word the board kept from it.
    int clampsAfterLastPoll = 0;
    int ejectionsAfterLastPoll = 0;
    std::map<std::string, int> injectedByKind;
    std::map<std::string, int> caughtByKind;
    TimeStats productDecision;   // mould open to the ejector release, cycles without alarm
    TimeStats mouldDecision;     // mould open to the clamp release, cycles without alarm
    TimeStats machineWait;       // how long the machine stood beyond its check times
    double elapsedS = 0.0;
    bool timedOut = false;
    std::string timeoutReason;
    bool stopped = false;        // ended by stop()

    std::string text() const;
    std::string json() const;
};

// What the machine did, for tests and the verbose log.
struct Event
{
    enum Kind { MouldOpen, Eject, HandEject, Clamp, DoorOpen, DoorClosed, FaultShown, FaultCleared, Alarm, TimedOut };
    Kind kind;
    Clock::time_point when;
    unsigned outputs;  // board outputs the machine saw when it acted
    int cycle;
    scenegen::Fault fault;
    bool unguarded = false;  // an ejection or clamp whose interlock the station never switched on
};
const char *eventName(Event::Kind kind);

class MachineSim
{
public:
    // The link is borrowed and must outlive the simulator.
    MachineSim(const MachineConfig &config, MachineLink &link);
    ~MachineSim();
    MachineSim(const MachineSim &) = delete;
    MachineSim &operator=(const MachineSim &) = delete;

    // Makes the camera folders with their serial numbers and a first frame (the empty mould),
    // so a station started now finds its cameras. False with a reason when a folder is not writable.
    bool prepareCameras(std::string *error = nullptr);
    // Runs cycles until the configured count or duration, a time-out or stop(). Returns the summary.
    Summary run();
    // Ends run() at the next step; safe from any thread and from a signal handler.
    void stop() { m_stop = true; }

    // Called on the run() thread for each event; keep it short.
    void setEventListener(std::function<void(const Event &)> listener) { m_listener = std::move(listener); }

    // What lies in the mould now (thread-safe): a stand-in station in tests decides by it.
    scenegen::Fault faultInMould() const { return m_faultInMould.load(); }

    // Path of camera `camera`'s folder (0-based).
    std::string cameraFolder(int camera) const;

private:
    enum class Phase { Closed, Product, Mould };
    enum class Wait { Done, TimedOut, Stopped };

    using Frames = std::vector<std::vector<uint8_t>>;  // encoded images, one per camera
    Frames renderFrames(scenegen::Stage stage, scenegen::Fault fault, int cavity, uint64_t shot) const;
    bool publish(const Frames &frames);

    // Reads the outputs, keeps the station-alive clock, the alarm episode and the decision times.
    unsigned watch();
    // Waits, at most the alive window, until the clamps and ejections no poll has followed yet
    // are either followed by one or counted as done after the station's last poll.
    void settleActionsSincePoll();
    bool stationAlive() const;
    bool alarmOn(unsigned outputs) const;
    bool pause(Ms time);
    // Waits until the station is there, no alarm stands and `interlock` (-1: none) is off; while
    // the alarm stands the setter looks after the machine (`handEjected`: may empty the mould).
    Wait waitUntilAllowed(int interlock, const char *what, bool *handEjected);
    void lookAfterStandingMachine(bool *handEjected);
    void pulseDoor();
    void showFault(scenegen::Fault fault);
    void emit(Event::Kind kind, unsigned outputs, scenegen::Fault fault = scenegen::Fault::None,
              bool unguarded = false);
    static bool chance(uint64_t &stream, double p);

    MachineConfig m_config;
    MachineLink &m_link;
    std::vector<scenegen::MouldView> m_views;
    std::function<void(const Event &)> m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<scenegen::Fault> m_faultInMould{scenegen::Fault::None};

    // State of the run, on the run() thread only.
    Summary m_summary;
    uint64_t m_faultRng = 1;   // which cycles get which fault
    uint64_t m_setterRng = 1;  // whether the setter clears a fault at the door
    uint64_t m_shot = 0;
    int m_cycle = 0;
    Phase m_phase = Phase::Closed;
    bool m_faultCaught = false;
    bool m_alarmEpisode = false;
    bool m_alarmOffLevelKnown = false;
    bool m_alarmOffLevel = false;  // board level of the alarm output while there is no alarm
    uint64_t m_lastPolls = 0;
    Clock::time_point m_lastPollSeen{};
    int m_clampsSincePoll = 0;     // done since the last poll seen
    int m_ejectionsSincePoll = 0;
    Clock::time_point m_aliveSince{};
    bool m_cycleHadAlarm = false;
    Clock::time_point m_openedAt{};
    bool m_sawEjectorHeld = false;
    bool m_sawClampHeld = false;
    bool m_productDecided = false;
    bool m_mouldDecided = false;
    Clock::time_point m_lastCare{};
    std::future<Frames> m_pending;
};

}  // namespace machinesim
