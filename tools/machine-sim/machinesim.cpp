#include "tools/machine-sim/machinesim.h"

#include "tools/ioboard-sim/ioboardsim.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <thread>

namespace machinesim {

namespace {

constexpr Ms kAliveWindow{300};  // a station polls every few ms; this long without a poll is absence
constexpr Ms kStep{2};

bool bit(unsigned word, int k)
{
    return (word >> k) & 1u;
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

uint64_t nextRandom(uint64_t &state)
{
    // xorshift64*
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "hh:mm:ss.zzz" of the local time now.
std::string localTimeNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, ms);
    return text;
}

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

}  // namespace

void BoardLink::setInput(int input, bool on)
{
    m_board.setInput(input, on);
}

unsigned BoardLink::outputs()
{
    return m_board.outputs();
}

uint64_t BoardLink::stationPolls()
{
    return m_board.counters().polls;
}

void TimeStats::add(double ms)
{
    ++count;
    meanMs += (ms - meanMs) / count;
    worstMs = std::max(worstMs, ms);
}

const char *eventName(Event::Kind kind)
{
    switch (kind) {
    case Event::MouldOpen: return "mould open";
    case Event::Eject: return "eject";
    case Event::HandEject: return "mould emptied by hand";
    case Event::Clamp: return "clamp";
    case Event::DoorOpen: return "safety door open";
    case Event::DoorClosed: return "safety door closed";
    case Event::FaultShown: return "fault in the mould";
    case Event::FaultCleared: return "fault cleared at the door";
    case Event::Alarm: return "alarm";
    case Event::TimedOut: return "time-out";
    }
    return "?";
}

std::string Summary::text() const
{
    std::ostringstream s;
    s << "cycles                " << cycles << "\n"
      << "faults injected       " << faultsInjected << "\n"
      << "faults caught         " << faultsCaught << "\n"
      << "faults missed         " << faultsMissed << "\n"
      << "mould closed on part  " << closedOnPart << "\n"
      << "false stops           " << falseStops;
    if (firstFalseStopCycle > 0)
        s << " (first in cycle " << firstFalseStopCycle << " at " << firstFalseStopTime << ")";
    s << "\n"
      << "door openings         " << doorOpenings << " (faults cleared " << clearedByDoor << ", mould emptied by hand "
      << handEjections << ")\n";
    for (const auto &[kind, n] : injectedByKind) {
        const auto caught = caughtByKind.find(kind);
        s << "  " << kind << ": " << n << " injected, " << (caught == caughtByKind.end() ? 0 : caught->second)
          << " caught\n";
    }
    if (unguardedEjections || unguardedClamps)
        s << "unguarded             " << unguardedEjections << " ejections, " << unguardedClamps
          << " clamps without the interlock ever on\n";
    s << "clamps after last poll " << clampsAfterLastPoll << " (and " << ejectionsAfterLastPoll
      << " ejections) on the outputs a silent station left\n";
    auto times = [&](const char *name, const TimeStats &t) {
        s << name << (t.count ? fixed(t.meanMs, 1) + " ms mean, " + fixed(t.worstMs, 1) + " ms worst (" +
                                    std::to_string(t.count) + ")"
                              : std::string("-"))
          << "\n";
    };
    times("product decision      ", productDecision);
    times("mould decision        ", mouldDecision);
    times("machine waited        ", machineWait);
    s << "elapsed               " << fixed(elapsedS, 1) << " s\n";
    if (timedOut)
        s << "TIME-OUT: " << timeoutReason << "\n";
    if (stopped)
        s << "stopped before the end\n";
    return s.str();
}

std::string Summary::json() const
{
    auto times = [](const TimeStats &t) {
        return "{\"count\": " + std::to_string(t.count) + ", \"meanMs\": " + fixed(t.meanMs, 2) +
               ", \"worstMs\": " + fixed(t.worstMs, 2) + "}";
    };
    auto kinds = [](const std::map<std::string, int> &m) {
        std::string out = "{";
        for (const auto &[kind, n] : m)
            out += (out.size() > 1 ? ", " : "") + jsonString(kind) + ": " + std::to_string(n);
        return out + "}";
    };
    std::ostringstream s;
    s << "{\n"
      << "  \"cycles\": " << cycles << ",\n"
      << "  \"faultsInjected\": " << faultsInjected << ",\n"
      << "  \"faultsCaught\": " << faultsCaught << ",\n"
      << "  \"faultsMissed\": " << faultsMissed << ",\n"
      << "  \"mouldClosedOnPart\": " << closedOnPart << ",\n"
      << "  \"falseStops\": " << falseStops << ",\n"
      << "  \"firstFalseStopCycle\": " << firstFalseStopCycle << ",\n"
      << "  \"firstFalseStopTime\": " << jsonString(firstFalseStopTime) << ",\n"
      << "  \"doorOpenings\": " << doorOpenings << ",\n"
      << "  \"clearedByDoor\": " << clearedByDoor << ",\n"
      << "  \"handEjections\": " << handEjections << ",\n"
      << "  \"unguardedEjections\": " << unguardedEjections << ",\n"
      << "  \"unguardedClamps\": " << unguardedClamps << ",\n"
      << "  \"clampsAfterLastPoll\": " << clampsAfterLastPoll << ",\n"
      << "  \"ejectionsAfterLastPoll\": " << ejectionsAfterLastPoll << ",\n"
      << "  \"injectedByKind\": " << kinds(injectedByKind) << ",\n"
      << "  \"caughtByKind\": " << kinds(caughtByKind) << ",\n"
      << "  \"productDecision\": " << times(productDecision) << ",\n"
      << "  \"mouldDecision\": " << times(mouldDecision) << ",\n"
      << "  \"machineWait\": " << times(machineWait) << ",\n"
      << "  \"elapsedS\": " << fixed(elapsedS, 3) << ",\n"
      << "  \"timedOut\": " << (timedOut ? "true" : "false") << ",\n"
      << "  \"timeoutReason\": " << jsonString(timeoutReason) << ",\n"
      << "  \"stopped\": " << (stopped ? "true" : "false") << "\n"
      << "}\n";
    return s.str();
}

MachineSim::MachineSim(const MachineConfig &config, MachineLink &link) : m_config(config), m_link(link)
{
    m_config.cameras = std::clamp(m_config.cameras, 1, 8);
    m_config.cavities = std::clamp(m_config.cavities, 1, 16);
    scenegen::MouldOptions options;
    options.size = m_config.imageSize;
    options.cavities = m_config.cavities;
    options.colour = m_config.colour;
    options.seed = m_config.seed;
    if (!m_config.dir.empty()) {
        for (int camera = 0; camera < m_config.cameras; ++camera)
            m_views.emplace_back(options, camera);
    }
    m_faultRng = config.seed * 0x9E3779B97F4A7C15ull + 0x1234567ull;
    m_setterRng = m_faultRng ^ 0xD1B54A32D192ED03ull;
    for (uint64_t *stream : {&m_faultRng, &m_setterRng}) {
        if (*stream == 0)
            *stream = 1;
    }
    if (m_config.alarmLevel != AlarmLevel::Auto) {
        m_alarmOffLevelKnown = true;
        m_alarmOffLevel = m_config.alarmLevel == AlarmLevel::Inverted;
    }
}

MachineSim::~MachineSim()
{
    if (m_pending.valid())
        m_pending.wait();
}

std::string MachineSim::cameraFolder(int camera) const
{
    return (std::filesystem::path(m_config.dir) / ("cam" + std::to_string(camera + 1))).string();
}

bool MachineSim::prepareCameras(std::string *error)
{
    if (m_config.dir.empty())
        return true;
    for (int camera = 0; camera < m_config.cameras; ++camera) {
        std::error_code ec;
        std::filesystem::create_directories(cameraFolder(camera), ec);
        FILE *serial = std::fopen((cameraFolder(camera) + "/serial").c_str(), "w");
        if (ec || !serial) {
            if (error)
                *error = "cannot write the camera folder " + cameraFolder(camera);
            if (serial)
                std::fclose(serial);
            return false;
        }
        std::fprintf(serial, "SIM-MOULD-%d\n", camera + 1);
        std::fclose(serial);
        // a frame of the other format left from an earlier run would hide ours from the camera
        std::filesystem::remove(cameraFolder(camera) + (m_config.format == "png" ? "/frame.bmp" : "/frame.png"), ec);
    }
    if (!publish(renderFrames(scenegen::Stage::Mould, scenegen::Fault::None, 0, 0))) {
        if (error)
            *error = "cannot write the first frames under " + m_config.dir;
        return false;
    }
    return true;
}

MachineSim::Frames MachineSim::renderFrames(scenegen::Stage stage, scenegen::Fault fault, int cavity,
                                            uint64_t shot) const
{
    Frames frames;
    scenegen::Shot s;
    s.stage = stage;
    s.fault = fault != scenegen::Fault::None && scenegen::faultStage(fault) == stage ? fault : scenegen::Fault::None;
    s.faultCavity = cavity;
    s.number = shot;
    if (m_config.drift != scenegen::Drift::None && m_config.driftCycles > 0)
        scenegen::applyDrift(m_config.drift, double(m_cycle) / m_config.driftCycles, &s);
    // Fast rather than small: Huffman coding only, and one thread per camera.
    const std::vector<int> params =
        m_config.format == "bmp"
            ? std::vector<int>{}
            : std::vector<int>{cv::IMWRITE_PNG_COMPRESSION, 1, cv::IMWRITE_PNG_STRATEGY, cv::IMWRITE_PNG_STRATEGY_HUFFMAN_ONLY};
    std::vector<std::future<std::vector<uint8_t>>> work;
    for (const scenegen::MouldView &view : m_views) {
        work.push_back(std::async(std::launch::async, [&view, &s, &params, this] {
            std::vector<uint8_t> bytes;
            cv::imencode("." + m_config.format, view.render(s), bytes, params);
            return bytes;
        }));
    }
    for (auto &w : work)
        frames.push_back(w.get());
    return frames;
}

bool MachineSim::publish(const Frames &frames)
{
    // Each frame is written beside the camera's frame file and renamed over it, so a camera never
    // reads half a picture.
    bool ok = true;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string folder = cameraFolder(static_cast<int>(i));
        const std::string temp = folder + "/.frame-next." + m_config.format;
        const std::string target = folder + "/frame." + m_config.format;
        FILE *file = std::fopen(temp.c_str(), "wb");
        if (!file) {
            ok = false;
            continue;
        }
        const bool written = std::fwrite(frames[i].data(), 1, frames[i].size(), file) == frames[i].size();
        if (std::fclose(file) != 0 || !written || std::rename(temp.c_str(), target.c_str()) != 0) {
            std::remove(temp.c_str());
            ok = false;
        }
    }
    return ok;
}

bool MachineSim::chance(uint64_t &stream, double p)
{
    return static_cast<double>(nextRandom(stream) >> 11) * (1.0 / 9007199254740992.0) < p;
}

bool MachineSim::stationAlive() const
{
    return m_lastPollSeen != Clock::time_point{} && Clock::now() - m_lastPollSeen < kAliveWindow;
}

void MachineSim::emit(Event::Kind kind, unsigned outputs, scenegen::Fault fault, bool unguarded)
{
    if (m_listener)
        m_listener(Event{kind, Clock::now(), outputs, m_cycle, fault, unguarded});
}

unsigned MachineSim::watch()
{
    const unsigned out = m_link.outputs();
    const uint64_t polls = m_link.stationPolls();
    const auto now = Clock::now();
    if (polls != m_lastPolls) {
        m_lastPolls = polls;
        if (!stationAlive())
            m_aliveSince = now;
        m_lastPollSeen = now;
        m_clampsSincePoll = m_ejectionsSincePoll = 0;  // the station was still there after them
    }
    if (!stationAlive()) {
        // Silent for the whole alive window: what the machine did since the last poll it did on
        // an output word nobody was keeping any more.
        m_summary.clampsAfterLastPoll += m_clampsSincePoll;
        m_summary.ejectionsAfterLastPoll += m_ejectionsSincePoll;
        m_clampsSincePoll = m_ejectionsSincePoll = 0;
        return out;
    }
    if (!m_alarmOffLevelKnown && now - m_aliveSince >= kAliveWindow) {
        // the station is up and has published its outputs: what it shows now is "no alarm"
        m_alarmOffLevelKnown = true;
        m_alarmOffLevel = bit(out, kAlarmOutput);
    }
    const bool alarm = alarmOn(out);
    const scenegen::Fault fault = m_faultInMould.load();
    if (alarm) {
        m_cycleHadAlarm = true;
        if (!m_alarmEpisode) {
            m_alarmEpisode = true;
            m_lastCare = now;
            emit(Event::Alarm, out, fault);
            if (fault == scenegen::Fault::None && ++m_summary.falseStops == 1) {
                m_summary.firstFalseStopCycle = m_cycle;
                m_summary.firstFalseStopTime = localTimeNow();
            }
        }
        if (fault != scenegen::Fault::None && !m_faultCaught) {
            m_faultCaught = true;
            ++m_summary.faultsCaught;
            ++m_summary.caughtByKind[scenegen::faultName(fault)];
        }
    }
    if (m_phase != Phase::Closed) {
        if (bit(out, kEjectorInterlock))
            m_sawEjectorHeld = true;
        else if (m_sawEjectorHeld && !m_productDecided) {
            m_productDecided = true;
            if (!m_cycleHadAlarm)
                m_summary.productDecision.add(msBetween(m_openedAt, now));
        }
        if (bit(out, kClampInterlock))
            m_sawClampHeld = true;
        else if (m_sawClampHeld && !m_mouldDecided) {
            m_mouldDecided = true;
            if (!m_cycleHadAlarm)
                m_summary.mouldDecision.add(msBetween(m_openedAt, now));
        }
    }
    return out;
}

void MachineSim::settleActionsSincePoll()
{
    const auto end = Clock::now() + kAliveWindow + kStep;
    while ((m_clampsSincePoll || m_ejectionsSincePoll) && Clock::now() < end) {
        std::this_thread::sleep_for(kStep);
        watch();
    }
}

bool MachineSim::alarmOn(unsigned outputs) const
{
    return m_alarmOffLevelKnown && bit(outputs, kAlarmOutput) != m_alarmOffLevel;
}

bool MachineSim::pause(Ms time)
{
    const auto end = Clock::now() + time;
    for (;;) {
        watch();
        if (m_stop)
            return false;
        const auto now = Clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kStep, end - now));
    }
}

void MachineSim::showFault(scenegen::Fault fault)
{
    m_faultInMould = fault;
    if (fault == scenegen::Fault::None)
        return;
    m_faultCaught = false;
    ++m_summary.faultsInjected;
    ++m_summary.injectedByKind[scenegen::faultName(fault)];
    emit(Event::FaultShown, m_link.outputs(), fault);
}

void MachineSim::pulseDoor()
{
    ++m_summary.doorOpenings;
    m_link.setInput(kSafetyDoorInput, true);
    emit(Event::DoorOpen, m_link.outputs());
    pause(m_config.doorPulse);
    m_link.setInput(kSafetyDoorInput, false);
    emit(Event::DoorClosed, m_link.outputs());
}

void MachineSim::lookAfterStandingMachine(bool *handEjected)
{
    // The setter comes to the standing machine: takes out what should not be there, or, when the
    // station already let the ejector go but holds the machine on the alarm, empties the mould by
    // hand (the machine, held before its ejection, still makes its stroke once allowed); then
    // opens and closes the safety door, on which the station looks again.
    const unsigned out = m_link.outputs();
    const scenegen::Fault fault = m_faultInMould.load();
    if (fault != scenegen::Fault::None) {
        if (chance(m_setterRng, m_config.doorClearChance)) {
            const auto stage = m_phase == Phase::Product ? scenegen::Stage::Product : scenegen::Stage::Mould;
            publish(renderFrames(stage, scenegen::Fault::None, 0, m_shot));
            m_faultInMould = scenegen::Fault::None;
            ++m_summary.clearedByDoor;
            emit(Event::FaultCleared, out, fault);
            pause(m_config.frameSettle);
        }
    } else if (m_phase == Phase::Product && handEjected && !*handEjected && !bit(out, kEjectorInterlock)) {
        publish(renderFrames(scenegen::Stage::Mould, scenegen::Fault::None, 0, m_shot));
        *handEjected = true;
        m_phase = Phase::Mould;
        ++m_summary.handEjections;
        emit(Event::HandEject, out);
        pause(m_config.frameSettle);
    }
    pulseDoor();
}

MachineSim::Wait MachineSim::waitUntilAllowed(int interlock, const char *what, bool *handEjected)
{
    const auto start = Clock::now();
    for (;;) {
        const unsigned out = watch();
        if (m_stop)
            return Wait::Stopped;
        const bool alive = stationAlive();
        const bool alarm = alarmOn(out);
        const auto now = Clock::now();
        if (alive && m_alarmOffLevelKnown && !alarm && (interlock < 0 || !bit(out, interlock))) {
            if (interlock >= 0)
                m_summary.machineWait.add(msBetween(start, now));
            return Wait::Done;
        }
        if (now - start >= m_config.waitTimeout) {
            m_summary.timedOut = true;
            const std::string seconds = fixed(m_config.waitTimeout.count() / 1000.0, 1) + " s";
            if (!alive)
                m_summary.timeoutReason = "no station polled the board for " + seconds + " (waiting for the " +
                                          what + ")";
            else if (alarm || !m_alarmOffLevelKnown)
                m_summary.timeoutReason = std::string("the alarm stayed on for ") + seconds;
            else
                m_summary.timeoutReason = std::string("the ") + what + " stayed on for " + seconds;
            emit(Event::TimedOut, out);
            return Wait::TimedOut;
        }
        if (m_alarmEpisode && alive && now - m_lastCare >= m_config.operatorDelay) {
            lookAfterStandingMachine(handEjected);
            m_lastCare = Clock::now();
            continue;
        }
        std::this_thread::sleep_for(kStep);
    }
}

Summary MachineSim::run()
{
    const auto start = Clock::now();
    m_summary = Summary{};
    m_clampsSincePoll = m_ejectionsSincePoll = 0;
    auto finish = [&] {
        settleActionsSincePoll();
        m_summary.elapsedS = std::chrono::duration<double>(Clock::now() - start).count();
        m_summary.stopped = m_stop && !m_summary.timedOut;
        return m_summary;
    };

    if (m_config.waitForStation) {
        while (!(stationAlive() && m_alarmOffLevelKnown)) {
            watch();
            if (m_stop)
                return finish();
            if (Clock::now() - start >= m_config.waitTimeout) {
                m_summary.timedOut = true;
                m_summary.timeoutReason = "no station polled the board within " +
                                          fixed(m_config.waitTimeout.count() / 1000.0, 1) + " s";
                emit(Event::TimedOut, m_link.outputs());
                return finish();
            }
            std::this_thread::sleep_for(kStep);
        }
        if (!pause(m_config.stationStartUp))
            return finish();
    }

    using scenegen::Fault;
    using scenegen::Stage;
    for (;;) {
        if (m_stop)
            break;
        if (m_config.cycles > 0 && m_summary.cycles >= m_config.cycles)
            break;
        if (m_config.durationS > 0 && std::chrono::duration<double>(Clock::now() - start).count() >= m_config.durationS)
            break;
        m_cycle = m_summary.cycles + 1;

        // Three draws per cycle whatever happens, so the faults of a seed come in the same cycles
        // however the station answers.
        const bool faulty = chance(m_faultRng, m_config.faultRate);
        const uint64_t kindDraw = nextRandom(m_faultRng);
        const int cavity = static_cast<int>(nextRandom(m_faultRng) % static_cast<uint64_t>(m_config.cavities));
        Fault fault = Fault::None;
        if (faulty && !m_config.faultKinds.empty())
            fault = m_config.faultKinds[kindDraw % m_config.faultKinds.size()];
        const Fault productFault = scenegen::faultStage(fault) == Stage::Product ? fault : Fault::None;
        const Fault mouldFault = scenegen::faultStage(fault) == Stage::Mould ? fault : Fault::None;
        ++m_shot;
        const uint64_t shot = m_shot;

        // Closed: injection and cooling, while the picture of the coming product is prepared.
        m_pending = std::async(std::launch::async,
                               [this, productFault, cavity, shot] { return renderFrames(Stage::Product, productFault, cavity, shot); });
        if (!pause(m_config.clampTime))
            break;
        // no new cycle while the alarm stands or the station is away
        if (waitUntilAllowed(-1, "station before opening the mould", nullptr) != Wait::Done)
            break;
        if (!pause(m_config.openTime))
            break;
        publish(m_pending.get());

        m_phase = Phase::Product;
        m_sawEjectorHeld = m_sawClampHeld = m_productDecided = m_mouldDecided = m_cycleHadAlarm = false;
        showFault(productFault);
        m_openedAt = Clock::now();
        m_link.setInput(kMouldOpenInput, true);
        emit(Event::MouldOpen, m_link.outputs(), productFault);
        m_pending = std::async(std::launch::async,
                               [this, mouldFault, cavity, shot] { return renderFrames(Stage::Mould, mouldFault, cavity, shot); });
        if (!pause(m_config.productTime))
            break;

        bool handEjected = false;
        if (waitUntilAllowed(kEjectorInterlock, "ejector interlock (output 2)", &handEjected) != Wait::Done)
            break;
        Frames mouldFrames = m_pending.get();
        {
            const unsigned out = m_link.outputs();
            if (!m_sawEjectorHeld)
                ++m_summary.unguardedEjections;
            ++m_ejectionsSincePoll;
            if (handEjected) {
                // The setter emptied the mould: the stroke pushes nothing out and leaves nothing.
                emit(Event::Eject, out, scenegen::Fault::None, !m_sawEjectorHeld);
            } else {
                if (m_faultInMould.load() != Fault::None)
                    ++m_summary.faultsMissed;  // the bad part went out with the good ones
                publish(mouldFrames);
                m_faultInMould = Fault::None;
                emit(Event::Eject, out, scenegen::Fault::None, !m_sawEjectorHeld);
                showFault(mouldFault);
            }
        }
        m_phase = Phase::Mould;
        m_link.setInput(kEjectorBackInput, true);
        if (!alarmOn(m_link.outputs()))
            m_alarmEpisode = false;  // a stop that still stands goes on as the same stop
        if (!pause(m_config.mouldTime))
            break;

        if (waitUntilAllowed(kClampInterlock, "clamp interlock (output 1)", nullptr) != Wait::Done)
            break;
        const unsigned out = m_link.outputs();
        if (m_faultInMould.load() != Fault::None) {
            ++m_summary.closedOnPart;
            ++m_summary.faultsMissed;
        }
        if (!m_sawClampHeld)
            ++m_summary.unguardedClamps;
        ++m_clampsSincePoll;
        emit(Event::Clamp, out, m_faultInMould.load(), !m_sawClampHeld);
        m_link.setInput(kMouldOpenInput, false);
        m_link.setInput(kEjectorBackInput, false);
        m_faultInMould = Fault::None;
        m_alarmEpisode = false;
        m_phase = Phase::Closed;
        ++m_summary.cycles;
    }
    if (m_pending.valid())
        m_pending.wait();
    return finish();
}

}  // namespace machinesim
