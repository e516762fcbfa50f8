#include "tests/support/stationdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

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

TempStation::TempStation(bool copyFactoryFiles)
    : m_previous(QDir::currentPath())
{
    if (copyFactoryFiles)
        copyTree(builtStationDir(), m_dir.path());
    QDir::setCurrent(m_dir.path());
}

TempStation::~TempStation() { QDir::setCurrent(m_previous); }
