// demo-teach: teaches a station directory the demo mould that the machine simulator draws.
#include "tools/demo-teach/demoteach.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void usage()
{
    std::cerr <<
        "usage: demo-teach --station DIR [options]\n"
        "  --station DIR      station directory to teach (a copy of build/station; it is changed)\n"
        "  --cameras N        cameras 1-8 (default 2)\n"
        "  --cavities N       cavities 1-16 (default 4)\n"
        "  --seed S           seed of the mould pictures (default 1)\n"
        "  --size WxH         image size (default 1280x1024)\n"
        "  --delays P,M       delays of the product check after the mould opens and of the mould\n"
        "                     check after the ejector is back, 0.1 s (default: keep)\n"
        "  --input-hold T     input hold time, 0.1 s (default: keep)\n"
        "  --good-shots N     good shots taught as templates beside the reference (default 9)\n"
        "  --check N          afterwards judge N good shots per stage and every fault in every\n"
        "                     cavity; exit 1 when a good shot fails or a fault passes\n"
        "Use the same cameras, cavities, seed and size as machine-sim.\n";
}

int number(const std::string &option, const char *text)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0') {
        std::cerr << option << ": not a number: " << text << "\n";
        std::exit(2);
    }
    return int(v);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    demoteach::DemoOptions options;
    QString station;
    int checkShots = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--station")
            station = QString::fromLocal8Bit(value());
        else if (arg == "--cameras")
            options.cameras = number(arg, value());
        else if (arg == "--cavities")
            options.mould.cavities = number(arg, value());
        else if (arg == "--seed")
            options.mould.seed = std::strtoull(value(), nullptr, 10);
        else if (arg == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(value(), "%dx%d", &w, &h) != 2 || w < 64 || h < 64 || w > 8192 || h > 8192) {
                std::cerr << "--size wants WxH, 64 to 8192 each\n";
                return 2;
            }
            options.mould.size = {w, h};
        } else if (arg == "--good-shots") {
            options.goodShots = number(arg, value());
        } else if (arg == "--delays") {
            if (std::sscanf(value(), "%d,%d", &options.productDelay, &options.mouldDelay) != 2 ||
                options.productDelay < 0 || options.mouldDelay < 0) {
                std::cerr << "--delays wants two delays in 0.1 s: product,mould\n";
                return 2;
            }
        } else if (arg == "--input-hold")
            options.inputHold = number(arg, value());
        else if (arg == "--check")
            checkShots = number(arg, value());
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    if (station.isEmpty() || options.cameras < 1 || options.cameras > 8 || options.mould.cavities < 1 ||
        options.mould.cavities > 16 || checkShots < 0 || options.goodShots < 0) {
        usage();
        return 2;
    }

    demoteach::DemoStation demo(station, options);
    QString error;
    if (!demo.teach(&error)) {
        std::cerr << "demo-teach: " << error.toStdString() << "\n";
        return 1;
    }
    std::cout << "taught " << options.cameras << " cameras, " << options.mould.cavities << " cavities in "
              << station.toStdString() << std::endl;
    bool roomy = true;
    for (int camera = 0; camera < options.cameras; ++camera) {
        int lowest = 255, highest = 0, tight = 0, regions = 0;
        std::string filters;
        for (const demoteach::RegionTeaching &r : demo.taught()) {
            if (r.camera != camera)
                continue;
            lowest = std::min(lowest, r.sensitivity);
            highest = std::max(highest, r.sensitivity);
            ++regions;
            filters += (filters.empty() ? "" : ",") + std::to_string(r.filter);
            if (r.least > r.most) {
                ++tight;
                std::printf("  %s check, cavity %d: good shots need sensitivity %.0f, faults allow %.0f\n",
                            r.detection == 0 ? "product" : "mould", r.cavity + 1, r.least, r.most);
            }
        }
        std::printf("camera %d: sensitivity %d-%d, filters %s; %d of %d regions without room on both sides\n",
                    camera + 1, lowest, highest, filters.c_str(), tight, regions);
        roomy = roomy && tight == 0;
    }
    if (!roomy)
        std::cout << "warning: some regions cannot keep good shots and faults well apart" << std::endl;
    if (checkShots == 0)
        return 0;

    bool sound = true;
    for (int camera = 0; camera < options.cameras; ++camera) {
        const demoteach::CheckResult r = demo.check(camera, checkShots, 1);
        std::printf("camera %d: %d good images, %d failed (largest NG area %d, area limits %d-%d); "
                    "band use: good shots %.2f, faults %.2f\n",
                    camera + 1, r.goodImages, r.goodFailed, r.worstGoodArea, r.smallestLimit, r.largestLimit,
                    r.worstGoodUse, r.leastFaultUse);
        for (scenegen::Fault fault : scenegen::kFaultKinds) {
            const size_t k = size_t(fault);
            std::printf("  %-15s %d images, %d passed (smallest NG area %d)\n", scenegen::faultName(fault),
                        r.faultImages[k], r.faultsPassed[k], r.smallestFaultArea[k]);
            sound = sound && r.faultsPassed[k] == 0;
        }
        sound = sound && r.goodFailed == 0;
    }
    return sound ? 0 : 1;
}
