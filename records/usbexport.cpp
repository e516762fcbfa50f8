#include "records/usbexport.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "core/systemgateway.h"
#include "records/detectcycle.h"
#include "records/resstatistics.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtDebug>

#include <xlsxwriter.h>

#include <unistd.h>

namespace {

constexpr int kRowAskExport = 324;
constexpr int kRowNoStick = 320;

QString g_mountPoint = QStringLiteral("/mnt");
bool g_mountSeam = false;

QString ReadProcMounts()
{
    QFile file(QStringLiteral("/proc/mounts"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QByteArray FileHash(const QString &path, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    *size = file.size();
    return hash.result();
}

// Copies one file and pushes it to the device; no verification yet.
bool CopyFile(const QString &from, const QString &to, QString *why)
{
    QFile source(from);
    QFile target(to);
    QFile::remove(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot copy %1 to %2: %3").arg(from, to, source.isOpen() ? target.errorString() : source.errorString());
        return false;
    }
    QByteArray chunk;
    while (!(chunk = source.read(1 << 20)).isEmpty()) {
        if (target.write(chunk) != chunk.size()) {
            *why = QStringLiteral("writing %1 failed: %2").arg(to, target.errorString());
            return false;
        }
    }
    if (!target.flush() || ::fsync(target.handle()) != 0) {
        *why = QStringLiteral("writing %1 failed: %2").arg(to, target.errorString());
        return false;
    }
    return true;
}

bool SameBytes(const QString &a, const QString &b, QString *why)
{
    qint64 sizeA = -1, sizeB = -2;
    const QByteArray hashA = FileHash(a, &sizeA);
    const QByteArray hashB = FileHash(b, &sizeB);
    if (!hashA.isEmpty() && hashA == hashB && sizeA == sizeB)
        return true;
    *why = QStringLiteral("%1 on the stick differs from %2").arg(b, a);
    return false;
}

bool SyncDevices(QString *why)
{
    const int code = SystemGateway::run({QStringLiteral("sync")});
    if (code == 0)
        return true;
    *why = QStringLiteral("sync returned %1").arg(code);
    return false;
}

}  // namespace

namespace UsbStick {

QStringList Candidates(const QString &blkidOutput)
{
    static const QRegularExpression type(QStringLiteral("(?<![A-Z_])TYPE=\"([^\"]*)\""));
    QString systemDisk;
    QStringList sticks;
    for (const QString &line : blkidOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString device = line.left(colon).trimmed();
        const QString kind = type.match(line).captured(1);
        if (kind == QLatin1String("ext4")) {
            QString disk = device;
            while (!disk.isEmpty() && disk.back().isDigit())
                disk.chop(1);
            systemDisk = disk;
        } else if (kind == QLatin1String("vfat") || kind == QLatin1String("ntfs") || kind == QLatin1String("exfat")) {
            sticks << device;
        }
    }
    QStringList candidates;
    if (systemDisk.isEmpty())
        return candidates;
    for (const QString &device : std::as_const(sticks))
        if (!device.contains(systemDisk))
            candidates << device;
    return candidates;
}

bool MountedAt(const QString &procMounts, const QString &device, const QString &mountPoint)
{
    for (const QString &line : procMounts.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() >= 2 && fields[1] == mountPoint && (device.isEmpty() || fields[0] == device))
            return true;
    }
    return false;
}

QString MountPoint() { return g_mountPoint; }

void SetMountPoint(const QString &folder)
{
    g_mountSeam = !folder.isEmpty();
    g_mountPoint = g_mountSeam ? folder : QStringLiteral("/mnt");
}

QString FindAU()
{
    if (g_mountSeam)
        return QFileInfo(g_mountPoint).isDir() ? g_mountPoint : QString();
    QByteArray output;
    SystemGateway::run({QStringLiteral("blkid")}, &output);
    const QStringList candidates = Candidates(QString::fromLocal8Bit(output));
    if (candidates.isEmpty())
        return {};
    if (MountedAt(ReadProcMounts(), QString(), g_mountPoint))
        SystemGateway::run({QStringLiteral("umount"), g_mountPoint});
    SystemGateway::run({QStringLiteral("mount"), candidates.first(), g_mountPoint});
    return MountedAt(ReadProcMounts(), candidates.first(), g_mountPoint) ? g_mountPoint : QString();
}

bool Release()
{
    const bool synced = SystemGateway::run({QStringLiteral("sync")}) == 0;
    SystemGateway::run({QStringLiteral("umount"), g_mountPoint});
    return synced;
}

QString FindForExport(bool confirmFirst)
{
    if (confirmFirst && !Operator::Ask(LanStr(kRowAskExport)))
        return {};
    for (;;) {
        const QString stick = FindAU();
        if (!stick.isEmpty())
            return stick;
        if (!Operator::Ask(LanStr(kRowNoStick)))
            return {};
    }
}

bool CopyVerified(const QString &from, const QString &to, QString *why)
{
    QString reason;
    const bool ok = CopyFile(from, to, &reason) && SyncDevices(&reason) && SameBytes(from, to, &reason);
    if (!ok) {
        QFile::remove(to);
        qWarning().noquote() << "export:" << reason;
        if (why)
            *why = reason;
    }
    return ok;
}

bool CopyTreeVerified(const QString &from, const QString &to, QString *why)
{
    QString reason;
    QStringList copied;
    const QDir source(from);
    bool ok = QDir().mkpath(to);
    if (!ok)
        reason = QStringLiteral("cannot create %1").arg(to);
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (ok && it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(file));
        ok = QDir().mkpath(QFileInfo(target).absolutePath()) && CopyFile(file, target, &reason);
        copied << source.relativeFilePath(file);
    }
    ok = ok && SyncDevices(&reason);
    for (const QString &file : std::as_const(copied)) {
        if (!ok)
            break;
        ok = SameBytes(source.filePath(file), QDir(to).filePath(file), &reason);
    }
    if (!ok) {
        qWarning().noquote() << "export:" << reason;
        if (why)
            *why = reason;
    }
    return ok;
}

}  // namespace UsbStick

// ---- the statistics workbook -------------------------------------------------------------------

namespace StatisticsExport {

QStringList Header()
{
    QStringList header{QStringLiteral("日期")};
    for (int column = 1; column <= 24; ++column)
        header << QStringLiteral("%1:00").arg((ResStatistics::kDayStartHour + column - 1) % 24);
    return header;
}

DayRows ReadDay(const QString &dbFile, int camera)
{
    DayRows rows;
    const QString connection = QStringLiteral("dbXls");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT value1, value2 FROM resstatistics WHERE name = ?"));
            for (int d = 0; d < 8; ++d) {
                query.bindValue(0, ResStatistics::RowName(camera, d));
                if (!query.exec() || !query.next())
                    continue;
                QList<int> ok(24, 0), ng(24, 0);
                ResStatistics::ReadHours(query.value(0).toString(), ok);
                ResStatistics::ReadHours(query.value(1).toString(), ng);
                // Column k of the sheet is hour (8 + k) mod 24.
                for (int k = 0; k < 24; ++k) {
                    rows.ok[k] += ok[(ResStatistics::kDayStartHour + k) % 24];
                    rows.ng[k] += ng[(ResStatistics::kDayStartHour + k) % 24];
                }
            }
            query.finish();
            db.close();
        } else {
            qWarning().noquote() << "statistics export: cannot open" << dbFile;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

bool Write(const QString &file, const QString &runningDay, int cameras)
{
    QList<QPair<QString, QString>> days{{runningDay, QDir::current().absoluteFilePath(QLatin1String(ResStatisticsParam::kFile))}};
    const QStringList archived = QDir(QLatin1String(ResStatisticsParam::kArchiveDir))
                                     .entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (const QString &name : archived)
        days.append({name.chopped(3), ResStatisticsParam::ArchivePath(name.chopped(3))});

    lxw_workbook *workbook = workbook_new(QFile::encodeName(file).constData());
    if (!workbook)
        return false;
    const QStringList header = Header();
    for (int camera = 0; camera < std::clamp(cameras, 1, 8); ++camera) {
        const QByteArray sheetName = QStringLiteral("Camera%1").arg(camera).toUtf8();
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, sheetName.constData());
        worksheet_set_column(sheet, 0, 0, 16, nullptr);
        for (int column = 0; column < header.size(); ++column)
            worksheet_write_string(sheet, 0, lxw_col_t(column), header[column].toUtf8().constData(), nullptr);
        lxw_row_t row = 1;
        for (const auto &[day, path] : std::as_const(days)) {
            const DayRows values = ReadDay(path, camera);
            worksheet_write_string(sheet, row, 0, (day + QStringLiteral("-ok")).toUtf8().constData(), nullptr);
            worksheet_write_string(sheet, row + 1, 0, (day + QStringLiteral("-ng")).toUtf8().constData(), nullptr);
            for (int k = 0; k < 24; ++k) {
                worksheet_write_number(sheet, row, lxw_col_t(k + 1), values.ok[k], nullptr);
                worksheet_write_number(sheet, row + 1, lxw_col_t(k + 1), values.ng[k], nullptr);
            }
            row += 2;
        }
    }
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        qWarning().noquote() << "statistics export: cannot write" << file << lxw_strerror(error);
    return error == LXW_NO_ERROR;
}

}  // namespace StatisticsExport

// ---- program data ------------------------------------------------------------------------------

namespace ProgramDataExport {

bool Run(const QString &stick, const QString &folder, int cameras, int steps, QString *why)
{
    const QDir station = QDir::current();
    const QString target = QDir(stick).filePath(folder + QLatin1Char('/') + station.dirName());
    if (!UsbStick::CopyTreeVerified(station.absolutePath(), target, why))
        return false;
    // The raw images are on the stick: the station's copies go.
    for (int i = 0; i < std::clamp(cameras, 0, 8); ++i)
        for (int j = 0; j < std::clamp(steps, 0, 8); ++j) {
            QDir images(QStringLiteral("originalimage/cammer%1%2").arg(i + 1).arg(j + 1));
            if (!images.exists())
                continue;
            for (const QFileInfo &entry : images.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
                if (entry.isDir() && !entry.isSymLink())
                    QDir(entry.absoluteFilePath()).removeRecursively();
                else
                    QFile::remove(entry.absoluteFilePath());
            }
        }
    return true;
}

}  // namespace ProgramDataExport

// ---- the cycle-record converter ----------------------------------------------------------------

CycleExportJob::CycleExportJob(QObject *parent)
    : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyRead, this, &CycleExportJob::receive);
    connect(&m_process, &QProcess::finished, this, &CycleExportJob::done);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done();
    });
}

QString CycleExportJob::converter() { return QDir::current().absoluteFilePath(QStringLiteral("cnt_net/xls")); }

bool CycleExportJob::start(const QDateTime &from, const QDateTime &to, const QString &stick)
{
    if (running())
        return false;
    const QStringList lines = CycleExport::QueryLines(from, to);
    if (lines.isEmpty() || !CycleExport::WriteQueries(lines))
        return false;
    m_output.clear();
    m_stick = stick;
    m_reported = false;
    m_process.setWorkingDirectory(QDir::currentPath());
    m_process.start(converter(), {});
    return true;
}

void CycleExportJob::receive()
{
    m_output += QString::fromUtf8(m_process.readAll());
    const QString file = CycleExport::FinishedFile(m_output);
    if (file.isEmpty() || m_reported)
        return;
    m_reported = true;
    QString why;
    const QString produced = QDir::current().absoluteFilePath(file);
    const QString onStick = QDir(m_stick).filePath(QFileInfo(produced).fileName());
    if (!UsbStick::CopyVerified(produced, onStick, &why)) {
        UsbStick::Release();
        emit finished(false, why);
        return;
    }
    QFile::remove(produced);
    const bool released = UsbStick::Release();
    emit finished(released, released ? onStick : QStringLiteral("sync failed"));
}

void CycleExportJob::done()
{
    if (m_reported)
        return;
    m_output += QString::fromUtf8(m_process.readAll());
    if (!CycleExport::FinishedFile(m_output).isEmpty()) {
        receive();
        return;
    }
    m_reported = true;
    emit finished(false, m_output.trimmed().isEmpty() ? m_process.errorString() : m_output.trimmed());
}
