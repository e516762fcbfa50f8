// The diagnostic log: glog set up in ./cnt_net/cnt_log_app/ with crash dumps, and its file pruning.
#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <string>

class GLog : public QObject
{
    Q_OBJECT
public:
    // Files kept in the log directory before glog opens its own: fewer than this many.
    static constexpr int kMaxFiles = 50;

    // Sets glog up to write into `dir` (created when missing), prunes the directory and installs the
    // crash-dump writer. argv[0] names the program in glog's file names. One instance per process.
    GLog(const std::string &dir, char **argv, QObject *parent = nullptr);
    ~GLog() override;

    // Deletes the oldest files of `dir` (by modification time) until fewer than `limit` remain.
    // Returns the number of files deleted.
    static int PruneDirectory(const QString &dir, int limit = kMaxFiles);

    // The start of this run's file names in `dir`: program, start time to the millisecond and a
    // count when files of that name exist already. The severity, glog's time and the process id
    // follow it.
    static QString RunBaseName(const QString &dir, const QString &program);

    // Receives each piece of the failure dump on a fatal signal and writes it as one INFO line.
    static void SignalHandle(const char *data, std::size_t size);
};

// The one diagnostic log of the process, created first thing in main().
extern GLog *gGlog;
