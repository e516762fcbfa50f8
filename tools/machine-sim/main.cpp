// machine-sim: a moulding machine on a simulated IO board, with simulated cameras looking into its mould.
#include "tools/ioboard-sim/ioboardsim.h"
#include "tools/machine-sim/machinesim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

machinesim::MachineSim *gRunning = nullptr;

void onSignal(int)
{
    if (gRunning)
        gRunning->stop();
}

void usage()
{
    std::cerr <<
        "usage: machine-sim [options]\n"
        "  --cameras N            cameras 1-8 (default 2)\n"
        "  --cavities N           cavities 1-16 (default 4)\n"
        "  --cycles N             stop after N cycles (default 100 when no --duration)\n"
        "  --duration S           start no cycle after S seconds\n"
        "  --fault-rate R         chance of a fault per cycle, 0-1 (default 0.1)\n"
        "  --faults LIST          kinds, comma separated (default all): part-left, short-shot,\n"
        "                         sprue, foreign-object, wrong-way\n"
        "  --seed S               seed of the mould pictures and of the faults (default 1)\n"
        "  --drift KIND           a camera going off slowly: focus, shift or light (default none)\n"
        "  --drift-cycles N       cycles until the drift is fully developed (default 300)\n"
        "  --times O,P,M,C        ms: mould opening, product check, mould check, mould closed\n"
        "                         (default 300,800,1000,1000)\n"
        "  --door-clear-chance P  chance that a safety-door opening clears the fault (default 0.8)\n"
        "  --operator-delay MS    a standing machine is looked after this often (default 1500)\n"
        "  --door-pulse MS        the safety door stays open this long (default 400)\n"
        "  --wait-timeout S       longest wait for the station's interlocks (default 30)\n"
        "  --start-up S           first cycle this long after the station first polls the board,\n"
        "                         while it gets ready to detect (default 3)\n"
        "  --alarm-output L       auto, direct or inverted (default auto: the level the station\n"
        "                         shows once it is up means no alarm)\n"
        "  --dir DIR              camera folders DIR/cam1.. (default: a new folder under /tmp)\n"
        "  --size WxH             image size (default 1280x1024)\n"
        "  --colour               colour cameras (default gray)\n"
        "  --format png|bmp       frame file format (default png)\n"
        "  --link PATH            also make PATH a symbolic link to the board's pseudo-terminal\n"
        "  --json FILE            write the summary as JSON\n"
        "  --verbose              print every machine event\n"
        "Start the station with MOULD_SERIAL_DEVICE=<board> MOULD_SIM_CAMERAS=<dir>.\n"
        "Exit code: 0 done, 1 time-out, 2 usage, 3 the mould closed on a part or object.\n";
}

double number(const std::string &option, const std::string &text)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        std::cerr << option << ": not a number: " << text << "\n";
        std::exit(2);
    }
    return v;
}

}  // namespace

int main(int argc, char **argv)
{
    using machinesim::Ms;
    machinesim::MachineConfig config;
    config.dir.clear();
    config.stationStartUp = Ms(3000);
    std::string jsonFile, linkPath;
    bool verbose = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--cameras")
            config.cameras = static_cast<int>(number(arg, value()));
        else if (arg == "--cavities")
            config.cavities = static_cast<int>(number(arg, value()));
        else if (arg == "--cycles")
            config.cycles = static_cast<int>(number(arg, value()));
        else if (arg == "--duration")
            config.durationS = number(arg, value());
        else if (arg == "--fault-rate")
            config.faultRate = number(arg, value());
        else if (arg == "--faults") {
            config.faultKinds.clear();
            std::istringstream list(value());
            std::string name;
            while (std::getline(list, name, ',')) {
                scenegen::Fault f;
                if (!scenegen::parseFault(name, &f) || f == scenegen::Fault::None) {
                    std::cerr << "unknown fault kind: " << name << "\n";
                    return 2;
                }
                config.faultKinds.push_back(f);
            }
        } else if (arg == "--drift") {
            if (!scenegen::parseDrift(value(), &config.drift)) {
                std::cerr << "--drift wants focus, shift, light or none\n";
                return 2;
            }
        } else if (arg == "--drift-cycles")
            config.driftCycles = static_cast<int>(number(arg, value()));
        else if (arg == "--seed")
            config.seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (arg == "--times") {
            int o, p, m, c;
            const std::string v = value();
            if (std::sscanf(v.c_str(), "%d,%d,%d,%d", &o, &p, &m, &c) != 4 || o < 0 || p < 0 || m < 0 || c < 0) {
                std::cerr << "--times wants four durations in ms: open,product,mould,clamp\n";
                return 2;
            }
            config.openTime = Ms(o);
            config.productTime = Ms(p);
            config.mouldTime = Ms(m);
            config.clampTime = Ms(c);
        } else if (arg == "--door-clear-chance")
            config.doorClearChance = number(arg, value());
        else if (arg == "--operator-delay")
            config.operatorDelay = Ms(static_cast<int>(number(arg, value())));
        else if (arg == "--door-pulse")
            config.doorPulse = Ms(static_cast<int>(number(arg, value())));
        else if (arg == "--start-up")
            config.stationStartUp = Ms(static_cast<int>(number(arg, value()) * 1000));
        else if (arg == "--wait-timeout")
            config.waitTimeout = Ms(static_cast<int>(number(arg, value()) * 1000));
        else if (arg == "--alarm-output") {
            const std::string v = value();
            if (v == "auto")
                config.alarmLevel = machinesim::AlarmLevel::Auto;
            else if (v == "direct")
                config.alarmLevel = machinesim::AlarmLevel::Direct;
            else if (v == "inverted")
                config.alarmLevel = machinesim::AlarmLevel::Inverted;
            else {
                std::cerr << "--alarm-output wants auto, direct or inverted\n";
                return 2;
            }
        } else if (arg == "--dir")
            config.dir = value();
        else if (arg == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(value().c_str(), "%dx%d", &w, &h) != 2 || w < 64 || h < 64 || w > 8192 || h > 8192) {
                std::cerr << "--size wants WxH, 64 to 8192 each\n";
                return 2;
            }
            config.imageSize = {w, h};
        } else if (arg == "--colour" || arg == "--color")
            config.colour = true;
        else if (arg == "--format") {
            config.format = value();
            if (config.format != "png" && config.format != "bmp") {
                std::cerr << "--format wants png or bmp\n";
                return 2;
            }
        } else if (arg == "--link")
            linkPath = value();
        else if (arg == "--json")
            jsonFile = value();
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    if (config.cameras < 1 || config.cameras > 8 || config.cavities < 1 || config.cavities > 16 ||
        config.cycles < 0 || config.durationS < 0 || config.faultRate < 0 || config.faultRate > 1 ||
        config.doorClearChance < 0 || config.doorClearChance > 1 || config.waitTimeout.count() <= 0 ||
        config.stationStartUp.count() < 0) {
        usage();
        return 2;
    }
    if (config.cycles == 0 && config.durationS == 0)
        config.cycles = 100;
    if (config.dir.empty()) {
        char pattern[] = "/tmp/machine-sim-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 1;
        }
        config.dir = pattern;
    }

    IoBoardSim board;
    std::string error;
    if (!board.open(&error)) {
        std::cerr << "no pseudo-terminal for the board: " << error << "\n";
        return 1;
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
        std::filesystem::create_symlink(board.slavePath(), linkPath, ec);
        if (ec)
            std::cerr << "cannot link " << linkPath << ": " << ec.message() << "\n";
    }
    machinesim::BoardLink link(board);
    machinesim::MachineSim sim(config, link);
    if (!sim.prepareCameras(&error)) {
        std::cerr << error << "\n";
        return 1;
    }
    std::cout << "board:   " << board.slavePath() << "\n"
              << "cameras: " << std::filesystem::absolute(config.dir).string() << "\n"
              << "start the station with: MOULD_SERIAL_DEVICE=" << (linkPath.empty() ? board.slavePath() : linkPath)
              << " MOULD_SIM_CAMERAS=" << std::filesystem::absolute(config.dir).string() << " ./mould-station"
              << std::endl;

    if (verbose) {
        const auto t0 = machinesim::Clock::now();
        sim.setEventListener([t0](const machinesim::Event &e) {
            const double s = std::chrono::duration<double>(e.when - t0).count();
            char line[160];
            std::snprintf(line, sizeof line, "%9.3f  cycle %-5d %-26s outputs %03x%s%s%s", s, e.cycle,
                          machinesim::eventName(e.kind), e.outputs, e.fault == scenegen::Fault::None ? "" : "  ",
                          e.fault == scenegen::Fault::None ? "" : scenegen::faultName(e.fault),
                          e.unguarded ? "  UNGUARDED" : "");
            std::cout << line << std::endl;
        });
    }
    gRunning = &sim;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const machinesim::Summary summary = sim.run();
    gRunning = nullptr;

    std::cout << summary.text() << std::flush;
    if (!jsonFile.empty()) {
        std::ofstream json(jsonFile);
        json << summary.json();
        if (!json) {
            std::cerr << "cannot write " << jsonFile << "\n";
            return 1;
        }
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
    }
    if (summary.closedOnPart > 0)
        return 3;
    return summary.timedOut ? 1 : 0;
}
