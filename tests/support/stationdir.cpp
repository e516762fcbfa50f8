#include "tests/support/stationdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

QString builtStationDir() { return QStringLiteral(MOULD_STATION_DIR); }

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    bool ok = true;
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(info.filePath());
        if (info.isDir())
            ok = QDir().mkpath(target) && ok;
        else
            ok = QFile::copy(info.filePath(), target) && ok;
    }
    return ok;
}

namespace {

// What a station writes while it runs. A station started by hand in the build's directory leaves
// these behind; a test starts from the factory state instead.
const QStringList kRuntimeEntries = {
    QStringLiteral("count.txt"), QStringLiteral("saveImageCount.txt"), QStringLiteral("time.txt"),
    QStringLiteral("sysadd.txt"), QStringLiteral("alarmimage"), QStringLiteral("originalimage"),
    QStringLiteral("RECORD"), QStringLiteral("paraGroup/lastgood"), QStringLiteral("paraGroup/restored.txt"),
    QStringLiteral("alarmstate.json"), QStringLiteral("alarmstate.json.new"),
    QStringLiteral("ResStatistics.db"), QStringLiteral("ResStatistics"), QStringLiteral("restime.txt"),
    QStringLiteral("DetectCycle.db"), QStringLiteral("DetectCycle"), QStringLiteral("sql.txt"),
};

void resetToFactory(const QString &dir)
{
    for (const QString &entry : kRuntimeEntries) {
        const QString path = dir + QLatin1Char('/') + entry;
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    for (const QString &name : QDir(dir).entryList({QStringLiteral("cammer*")}, QDir::Dirs))
        QDir(dir + QLatin1Char('/') + name).removeRecursively();
    // The databases a run changes come back from their factory copies.
    const auto restore = [&](const QString &from, const QString &to) {
        if (!QFile::exists(dir + QLatin1Char('/') + from))
            return;
        QFile::remove(dir + QLatin1Char('/') + to);
        QFile::copy(dir + QLatin1Char('/') + from, dir + QLatin1Char('/') + to);
    };
    restore(QStringLiteral("paraGroup/default/PARAM.db"), QStringLiteral("PARAM.db"));
    restore(QStringLiteral("paraGroup/default/SN.db"), QStringLiteral("SN.db"));
    restore(QStringLiteral("RECORDNULL.db"), QStringLiteral("RECORD.db"));
}

}  // namespace

TempStation::TempStation(bool copyFactoryFiles)
    : m_previous(QDir::currentPath())
{
    if (copyFactoryFiles) {
        copyTree(builtStationDir(), m_dir.path());
        resetToFactory(m_dir.path());
    }
    QDir::setCurrent(m_dir.path());
}

TempStation::~TempStation() { QDir::setCurrent(m_previous); }
