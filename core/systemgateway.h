// The system gateway: the only place that runs host commands (reboot, mount, date -s, ...).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace SystemGateway {

// True in a panel build, where host commands are really executed.
bool isPanelBuild();

// Runs a host command given as an argument vector (never through a shell). In a panel build it is
// executed and its exit code returned, its standard output in *output. In the default build the
// command is only recorded and written to the message log, and 0 is returned.
int run(const QStringList &argv, QByteArray *output = nullptr);

// "reboot": a panel build reboots the machine; the default build restarts the station process in
// place (same executable, same working directory).
void reboot();

// "init 0": a panel build powers the machine off; the default build ends the station process.
void powerOff();

// Every command seen since start (or since clearRecorded), one line each, arguments joined by blanks.
// When MOULD_GATEWAY_RECORD names a file, each line is also appended to it, so a test can follow a
// station process that restarts itself.
QStringList recorded();
void clearRecorded();

// Tests replace the process-level actions of reboot() and powerOff() so nothing restarts or exits.
void setRestartHandler(std::function<void()> handler);
void setPowerOffHandler(std::function<void()> handler);

}  // namespace SystemGateway
