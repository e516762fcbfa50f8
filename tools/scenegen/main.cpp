// scenegen: writes synthetic mould images for 1-8 cameras, as single files or as camera folders.
#include "tools/scenegen/mouldscene.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

void usage()
{
    std::cerr <<
        "usage: scenegen --out DIR [options]\n"
        "  --cameras N         cameras 1-8 (default 1)\n"
        "  --cavities N        cavities 1-16 (default 4)\n"
        "  --size WxH          image size (default 1280x1024)\n"
        "  --colour            colour images (default 8-bit gray)\n"
        "  --seed S            mould and run seed (default 1)\n"
        "  --stage S           product, mould or both (default both)\n"
        "  --fault KIND        none, part-left, short-shot, sprue, foreign-object, wrong-way\n"
        "  --fault-cavity K    cavity of the fault, from 1 (default 1)\n"
        "  --shots N           shots per stage, numbered from 0 (default 1)\n"
        "  --reference         the reference view: no shift, light drift or noise\n"
        "  --format F          png or bmp (default png)\n"
        "  --camera-folders    write DIR/camK/serial and DIR/camK/frame.F of the first image instead,\n"
        "                      the folder layout of MOULD_SIM_CAMERAS\n"
        "Files: DIR/camK/<stage>-<fault>-<shot>.F\n";
}

bool parseSize(const std::string &text, cv::Size *size)
{
    int w = 0, h = 0;
    if (std::sscanf(text.c_str(), "%dx%d", &w, &h) != 2 || w < 64 || h < 64 || w > 8192 || h > 8192)
        return false;
    *size = {w, h};
    return true;
}

bool writeAtomically(const std::filesystem::path &path, const cv::Mat &image)
{
    const std::filesystem::path temp = path.parent_path() / (".next" + path.extension().string());
    if (!cv::imwrite(temp.string(), image))
        return false;
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

}  // namespace

int main(int argc, char **argv)
{
    scenegen::MouldOptions options;
    std::string out, format = "png", stages = "both";
    scenegen::Fault fault = scenegen::Fault::None;
    int cameras = 1, faultCavity = 1, shots = 1;
    bool reference = false, cameraFolders = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--out")
            out = value();
        else if (arg == "--cameras")
            cameras = std::atoi(value().c_str());
        else if (arg == "--cavities")
            options.cavities = std::atoi(value().c_str());
        else if (arg == "--size") {
            if (!parseSize(value(), &options.size)) {
                std::cerr << "--size wants WxH, 64 to 8192 each\n";
                return 2;
            }
        } else if (arg == "--colour" || arg == "--color")
            options.colour = true;
        else if (arg == "--seed")
            options.seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (arg == "--stage")
            stages = value();
        else if (arg == "--fault") {
            if (!scenegen::parseFault(value(), &fault)) {
                std::cerr << "unknown fault kind\n";
                return 2;
            }
        } else if (arg == "--fault-cavity")
            faultCavity = std::atoi(value().c_str());
        else if (arg == "--shots")
            shots = std::atoi(value().c_str());
        else if (arg == "--reference")
            reference = true;
        else if (arg == "--format")
            format = value();
        else if (arg == "--camera-folders")
            cameraFolders = true;
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    if (out.empty() || cameras < 1 || cameras > 8 || options.cavities < 1 || options.cavities > 16 || shots < 1 ||
        (format != "png" && format != "bmp") || (stages != "product" && stages != "mould" && stages != "both") ||
        faultCavity < 1 || faultCavity > options.cavities) {
        usage();
        return 2;
    }

    std::vector<scenegen::Stage> stageList;
    if (stages != "mould")
        stageList.push_back(scenegen::Stage::Product);
    if (stages != "product")
        stageList.push_back(scenegen::Stage::Mould);

    int written = 0;
    for (int camera = 0; camera < cameras; ++camera) {
        const scenegen::MouldView view(options, camera);
        const std::filesystem::path folder = std::filesystem::path(out) / ("cam" + std::to_string(camera + 1));
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::cerr << "cannot make " << folder << ": " << ec.message() << "\n";
            return 1;
        }
        for (scenegen::Stage stage : stageList) {
            for (int shot = 0; shot < shots; ++shot) {
                scenegen::Shot s;
                s.stage = stage;
                s.fault = fault;
                s.faultCavity = faultCavity - 1;
                s.number = static_cast<uint64_t>(shot);
                s.vary = !reference;
                const cv::Mat image = view.render(s);
                if (cameraFolders) {
                    std::ofstream(folder / "serial") << "SIM-MOULD-" << (camera + 1) << "\n";
                    if (!writeAtomically(folder / ("frame." + format), image)) {
                        std::cerr << "cannot write the frame of camera " << camera + 1 << "\n";
                        return 1;
                    }
                    ++written;
                    goto nextCamera;
                }
                char name[96];
                std::snprintf(name, sizeof name, "%s-%s-%04d.%s", scenegen::stageName(stage),
                              scenegen::faultName(fault), shot, format.c_str());
                if (!cv::imwrite((folder / name).string(), image)) {
                    std::cerr << "cannot write " << (folder / name) << "\n";
                    return 1;
                }
                ++written;
            }
        }
    nextCamera:;
    }
    std::cout << written << " images in " << out << "\n";
    return 0;
}
