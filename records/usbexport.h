// Exports to a USB stick: finding and mounting the stick, copies that are verified on the stick,
// the statistics workbook, the cycle-record converter run and the program-data copy.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace UsbStick {

// The stick candidates of blkid's output: vfat, ntfs or exfat devices that are not partitions of
// the ext4 system disk. None while no system disk is known.
QStringList Candidates(const QString &blkidOutput);
// True when /proc/mounts (its text) lists `device` mounted at `mountPoint`.
bool MountedAt(const QString &procMounts, const QString &device, const QString &mountPoint);

// "/mnt" normally. Tests set a folder that stands for a mounted stick: the finder then returns it
// while it exists and runs no blkid or mount.
QString MountPoint();
void SetMountPoint(const QString &folder);

// Finds a stick and mounts it at the mount point; the mount point, or empty when none was found.
// Host commands run as argument vectors through the system gateway (executed on the panel only).
QString FindAU();
// sync, then umount of the mount point. True when sync returned 0.
bool Release();

// The operator's side of every export: `confirmFirst` asks "Whether to export data?"; while no
// stick is found, asks whether to insert one and try again. The mount point, or empty.
QString FindForExport(bool confirmFirst);

// Copies `from` to the file `to` on the stick, syncs, and reads it back: true only when the copy
// has the original's bytes and sync returned 0. A failed copy is removed from the stick.
bool CopyVerified(const QString &from, const QString &to, QString *why = nullptr);
// The same for a folder tree; `to` is created.
bool CopyTreeVerified(const QString &from, const QString &to, QString *why = nullptr);

}  // namespace UsbStick

namespace StatisticsExport {

// The header of every camera sheet: "日期", then "8:00" .. "23:00", "0:00" .. "7:00".
QStringList Header();
// One day's row pair of a camera, read from a statistics file: OK and NG per header column
// (hour 8 first), summed over every detection step 0..7 (the "all" rows are not used).
struct DayRows
{
    QList<int> ok = QList<int>(24, 0);
    QList<int> ng = QList<int>(24, 0);
};
DayRows ReadDay(const QString &dbFile, int camera);
// Writes the workbook `file` (.xlsx): one sheet "Camera<i>" per camera in use, the running day
// (ResStatistics.db, labelled `runningDay`) and then every archived day, oldest first.
bool Write(const QString &file, const QString &runningDay, int cameras);

}  // namespace StatisticsExport

namespace ProgramDataExport {

// Copies the station directory into <stick>/<folder>/<directory name>, verified, and only then
// empties ./originalimage/cammer<i><j> for the cameras and steps in use. False, with nothing
// deleted, when the copy is not whole.
bool Run(const QString &stick, const QString &folder, int cameras, int steps, QString *why = nullptr);

}  // namespace ProgramDataExport

// Runs the converter ./cnt_net/xls on sql.txt without blocking and moves its file to the stick.
class CycleExportJob : public QObject
{
    Q_OBJECT
public:
    explicit CycleExportJob(QObject *parent = nullptr);
    // Writes sql.txt for the range and starts the converter; `stick` is where the file goes.
    bool start(const QDateTime &from, const QDateTime &to, const QString &stick);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    static QString converter();

signals:
    // The file is on the stick (verified) or the export failed, with the reason.
    void finished(bool ok, const QString &fileOrReason);

private:
    void receive();
    void done();

    QProcess m_process;
    QString m_output;
    QString m_stick;
    bool m_reported = false;
};
