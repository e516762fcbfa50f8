// ioboard-sim: an IO board on a pseudo-terminal, driven by hand or by a script on stdin.
#include "tools/ioboard-sim/ioboardsim.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::mutex printMutex;

const char *kHelp =
    "commands (inputs and outputs numbered from 1):\n"
    "  set N | clear N | toggle N   switch input N (1-10)\n"
    "  inputs HEX                   set the whole input word, e.g. inputs 0x5\n"
    "  show                         inputs, outputs, counters\n"
    "  silent on|off                stop or resume answering\n"
    "  garbage [N]                  send N random bytes (default 16)\n"
    "  raw HEX HEX ...              send bytes as given, e.g. raw 5f 02 05 00 00 00 66 f5\n"
    "  split on|off                 send each answer in two pieces\n"
    "  reading SLOT VALUE           reading 0-15 sent with commands 3 and 4\n"
    "  watch on|off                 print output changes (on by default)\n"
    "  help | quit\n";

std::string bits(unsigned word, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i) {
        s += (word >> i) & 1u ? std::to_string(i + 1) : std::string(".");
        s += ' ';
    }
    return s;
}

void say(const std::string &line)
{
    std::lock_guard lock(printMutex);
    std::cout << line << std::endl;
}

bool parseOnOff(std::istringstream &in, bool &value)
{
    std::string word;
    in >> word;
    if (word == "on" || word == "1")
        value = true;
    else if (word == "off" || word == "0")
        value = false;
    else
        return false;
    return true;
}

void usage()
{
    std::cerr << "usage: ioboard-sim [--link PATH] [--keep]\n"
                 "  --link PATH  also make PATH a symbolic link to the pseudo-terminal\n"
                 "  --keep       keep answering after the end of stdin (until a signal)\n";
}

}  // namespace

int main(int argc, char **argv)
{
    std::string linkPath;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--link" && i + 1 < argc) {
            linkPath = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            usage();
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);

    IoBoardSim board;
    std::string error;
    if (!board.open(&error)) {
        std::cerr << "ioboard-sim: " << error << "\n";
        return 1;
    }
    if (!linkPath.empty()) {
        ::unlink(linkPath.c_str());
        if (::symlink(board.slavePath().c_str(), linkPath.c_str()) != 0) {
            std::perror("ioboard-sim: symlink");
            return 1;
        }
    }
    const auto start = IoBoardSim::Clock::now();
    bool watch = true;
    board.setOutputListener([&](const IoBoardSim::OutputChange &c) {
        if (!watch)
            return;
        const double t = std::chrono::duration<double>(c.when - start).count();
        char line[128];
        std::snprintf(line, sizeof line, "out 0x%03x  [ %s]  at %.3f s", c.after, bits(c.after, 9).c_str(), t);
        say(line);
    });

    say("ioboard-sim: board on " + board.slavePath()
        + (linkPath.empty() ? std::string() : " (link " + linkPath + ")"));
    say("type help for commands");

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        if (!(in >> cmd) || cmd[0] == '#')
            continue;
        if (cmd == "set" || cmd == "clear" || cmd == "toggle") {
            int n = 0;
            if (!(in >> n) || n < 1 || n > IoBoardSim::kInputs) {
                say("input number 1-10 expected");
                continue;
            }
            const bool on = cmd == "set" || (cmd == "toggle" && !((board.inputs() >> (n - 1)) & 1u));
            board.setInput(n - 1, on);
            say("in  [ " + bits(board.inputs(), IoBoardSim::kInputs) + "]");
        } else if (cmd == "inputs") {
            std::string hex;
            in >> hex;
            try {
                board.setInputs(static_cast<unsigned>(std::stoul(hex, nullptr, 0)));
            } catch (...) {
                say("a number expected, e.g. inputs 0x5");
                continue;
            }
            say("in  [ " + bits(board.inputs(), IoBoardSim::kInputs) + "]");
        } else if (cmd == "show") {
            const auto c = board.counters();
            say("in  [ " + bits(board.inputs(), IoBoardSim::kInputs) + "]");
            say("out [ " + bits(board.outputs(), 9) + "]");
            say("polls " + std::to_string(c.polls) + ", output commands " + std::to_string(c.setOutputs)
                + ", reading requests " + std::to_string(c.readingRequests) + ", skipped bytes "
                + std::to_string(c.skippedBytes) + (board.silent() ? ", SILENT" : "")
                + (board.splitFrames() ? ", SPLIT" : ""));
        } else if (cmd == "silent" || cmd == "split" || cmd == "watch") {
            bool on = false;
            if (!parseOnOff(in, on)) {
                say("on or off expected");
                continue;
            }
            if (cmd == "silent")
                board.setSilent(on);
            else if (cmd == "split")
                board.setSplitFrames(on);
            else
                watch = on;
            say(cmd + (on ? " on" : " off"));
        } else if (cmd == "garbage") {
            size_t n = 16;
            in >> n;
            static uint32_t seed = 1;
            say(board.sendGarbage(n, seed++) ? "sent" : "send failed");
        } else if (cmd == "raw") {
            std::vector<uint8_t> bytes;
            std::string hex;
            bool ok = true;
            while (in >> hex) {
                try {
                    bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
                } catch (...) {
                    ok = false;
                }
            }
            say(ok && board.sendRaw(bytes) ? "sent" : "hex bytes expected");
        } else if (cmd == "reading") {
            int slot = -1;
            long value = 0;
            if (!(in >> slot >> value) || slot < 0 || slot >= IoBoardSim::kReadings) {
                say("reading SLOT(0-15) VALUE");
                continue;
            }
            board.setReading(slot, static_cast<int32_t>(value));
        } else if (cmd == "help") {
            say(kHelp);
        } else if (cmd == "quit" || cmd == "exit") {
            break;
        } else {
            say("unknown command '" + cmd + "'; type help");
        }
    }
    if (keep && std::cin.eof()) {
        // Scripted use: stdin ended but the board stays on the line until a signal ends us.
        for (;;)
            pause();
    }
    if (!linkPath.empty())
        ::unlink(linkPath.c_str());
    return 0;
}
